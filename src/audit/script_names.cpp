#include "audit/script_names.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "text/case_fold.h"
#include "text/path_form.h"
#include "text/utf8.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

bool isSoundTag(std::string_view name) {
  return name == "playse" || name == "se" || name == "fadeinse";
}

bool isBgmTag(std::string_view name) {
  return name == "playbgm" || name == "bgm" || name == "fadeinbgm";
}

// A storage value that the game evaluates ("&f.bgm") names no file here.
bool isComputedStorage(const TagAttribute& attribute) {
  if (attribute.name != "storage") return false;
  const std::size_t first = skipBlanks(attribute.value, 0);
  return first < attribute.value.size() && attribute.value[first] == '&';
}

// `ext` is folded, so an audio extension is upper case.
bool isFoldedAudioExtension(std::string_view ext) {
  return ext == ".OGG" || ext == ".MP3" || ext == ".M4A" || ext == ".WAV";
}

// The engine adds the extension it can play to a name without one, and
// plays the .m4a twin where Ogg cannot play: a name stands for every audio
// extension of its stem.
std::string_view withoutAudioExtension(std::string_view form) {
  if (form.size() > 4 && isFoldedAudioExtension(form.substr(form.size() - 4))) {
    form.remove_suffix(4);
  }
  return form;
}

}  // namespace

TagAttributeReader::TagAttributeReader(std::string_view inner) : inner_(inner), pos_(0) {
  while (pos_ < inner_.size() && !isBlank(inner_[pos_])) ++pos_;  // the tag name
}

bool TagAttributeReader::next(TagAttribute& attribute) {
  for (;;) {
    pos_ = skipBlanks(inner_, pos_);
    if (pos_ >= inner_.size()) return false;
    const std::size_t nameStart = pos_;
    while (pos_ < inner_.size() && !isBlank(inner_[pos_]) && inner_[pos_] != '=') ++pos_;
    attribute.name = inner_.substr(nameStart, pos_ - nameStart);
    const std::size_t equals = skipBlanks(inner_, pos_);
    if (equals >= inner_.size() || inner_[equals] != '=') continue;  // a bare name
    const std::size_t valueStart = skipBlanks(inner_, equals + 1);
    if (valueStart < inner_.size() && (inner_[valueStart] == '"' || inner_[valueStart] == '\'')) {
      const std::size_t close = inner_.find(inner_[valueStart], valueStart + 1);
      const std::size_t end = close == std::string_view::npos ? inner_.size() : close;
      attribute.value = inner_.substr(valueStart + 1, end - valueStart - 1);
      attribute.quoted = true;
      pos_ = close == std::string_view::npos ? end : close + 1;
      return true;
    }
    std::size_t end = valueStart;
    while (end < inner_.size() && !isBlank(inner_[end]) && inner_[end] != ']') ++end;
    attribute.value = inner_.substr(valueStart, end - valueStart);
    attribute.quoted = false;
    pos_ = end < inner_.size() && inner_[end] == ']' ? end + 1 : end;
    return true;
  }
}

ScriptNames::ScriptNames(const std::vector<ListedFile>& soundFiles,
                         const std::vector<ListedFile>& bgmFiles)
    : named_(soundFiles.size() + bgmFiles.size(), false), soundCount_(soundFiles.size()) {
  std::uint32_t index = 0;
  for (const std::vector<ListedFile>* side : {&soundFiles, &bgmFiles}) {
    for (const ListedFile& file : *side) {
      // A key that is not Unicode (a lone surrogate from a Windows name)
      // stands as U+FFFD: the lookup may then keep more, never less.
      formOf(encodeUtf8Lossy(file.key));
      if (!form_.empty()) {
        keys_[form_].push_back(index);
        formLengths_.set(std::min<std::size_t>(form_.size(), 255));
      }
      ++index;
    }
  }
}

void ScriptNames::noteLine(std::string_view line) {
  line_ = line.data();
  lineSize_ = line.size();
  runStarts_.clear();
  noteQuotedRuns(line, '"');
  noteQuotedRuns(line, '\'');
  std::sort(runStarts_.begin(), runStarts_.end());
  const std::size_t first = skipBlanks(line, 0);
  if (first < line.size() && line[first] == '@') {
    const std::string_view inner = line.substr(first + 1);
    noteTag(inner, inner.substr(0, inner.find_first_of(" \t")));
  }
}

void ScriptNames::noteTag(std::string_view inner, std::string_view tagName) {
  // Most tags ([l], [p], [cm]) have no attribute at all.
  if (inner.size() == tagName.size() || inner.find('=') == std::string_view::npos) return;
  TagAttributeReader reader(inner);
  TagAttribute attribute;
  while (reader.next(attribute)) {
    // A quoted value is most often a quoted run of its line as well.
    if (!attribute.quoted || !isTakenRun(attribute.value)) noteName(attribute.value);
    // A macro parameter "%name|default" falls back to its default.
    if (!attribute.value.empty() && attribute.value.front() == '%') {
      const std::size_t bar = attribute.value.find('|');
      if (bar != std::string_view::npos) noteName(attribute.value.substr(bar + 1));
    }
    if (isComputedStorage(attribute)) {
      if (isSoundTag(tagName)) computedSound_ = true;
      if (isBgmTag(tagName)) computedBgm_ = true;
    }
  }
}

bool ScriptNames::isNamed(bool soundSide, std::size_t index) const {
  const std::size_t at = soundSide ? index : soundCount_ + index;
  return at < named_.size() && named_[at];
}

void ScriptNames::noteQuotedRuns(std::string_view line, char quote) {
  for (std::size_t open = line.find(quote); open != std::string_view::npos;) {
    const std::size_t close = line.find(quote, open + 1);
    if (close == std::string_view::npos) return;
    noteName(line.substr(open + 1, close - open - 1));
    runStarts_.push_back(open + 1);
    open = line.find(quote, close + 1);
  }
}

bool ScriptNames::isTakenRun(std::string_view value) const {
  // A run and a quoted value that start at one place end at the same quote.
  const std::less<const char*> before;
  if (before(value.data(), line_) || !before(value.data(), line_ + lineSize_)) return false;
  const auto offset = static_cast<std::size_t>(value.data() - line_);
  return std::binary_search(runStarts_.begin(), runStarts_.end(), offset);
}

void ScriptNames::noteName(std::string_view name) {
  if (name.empty() || keys_.empty()) return;
  // Most values are plain ASCII words (numbers, flags, names without a
  // folder), whose form is their upper case: a form of a length that no key
  // has is passed over before it is made.
  bool plain = name.back() != '.' && name.back() != ' ';
  for (std::size_t i = 0; plain && i < name.size(); ++i) {
    const char c = name[i];
    plain = static_cast<unsigned char>(c) < 0x80 && c != '/' && c != '\\';
  }
  if (plain) {
    std::size_t length = name.size();
    if (length > 4 && name[length - 4] == '.') {
      char ext[4] = {'.'};
      for (std::size_t i = 1; i < 4; ++i) {
        const char c = name[length - 4 + i];
        ext[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
      }
      if (isFoldedAudioExtension(std::string_view(ext, 4))) length -= 4;
    }
    if (!formLengths_.test(std::min<std::size_t>(length, 255))) return;
    form_.assign(name.substr(0, length));
    for (char& c : form_) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  } else {
    formOf(name);
  }
  if (!form_.empty() && formLengths_.test(std::min<std::size_t>(form_.size(), 255))) {
    const auto found = keys_.find(form_);
    if (found != keys_.end()) {
      for (const std::uint32_t index : found->second) named_[index] = true;
    }
  }
  // A huge name ("x/../" many times over) may still name a file, but its
  // buffer is not kept for the rest of the run.
  if (form_.capacity() > (1 << 16)) form_ = std::string();
}

void ScriptNames::formOf(std::string_view name) {
  form_.clear();
  appendPathForm(name, form_);
  form_.resize(withoutAudioExtension(form_).size());
}
