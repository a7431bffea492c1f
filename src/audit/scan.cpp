#include "audit/scan.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include "audit/tag_matcher.h"
#include "audit/tag_rules.h"
#include "inputs/config_file.h"
#include "text/log_values.h"
#include "text/path_text.h"
#include "text/utf8.h"
#include "text/utf8_stream.h"

namespace {

// The lines written for every line and every tag are most of what a run
// writes, so they are composed as UTF-8 bytes and written whole, without the
// wide-stream machinery. The file name, the tags and the storage values in
// them are shown as their own bytes: the name has been decoded once without
// failure and the reader checks every line, so decoding and encoding them
// again would give the same bytes.
constexpr std::string_view lineConverted = "[DEBUG] 行変換成功: ";
constexpr std::string_view tagConverted = "[DEBUG] タグ変換成功: ";
constexpr std::string_view noStorage = "[DEBUG] storage 属性が見つかりませんでした: ";
constexpr std::string_view normalTag = "[DEBUG] 正常タグ: ";

constexpr std::size_t keptBufferBytes = 1 << 16;

const std::string illegalMark = encodeUtf8(illegalTagMark);
const std::string missingMark = encodeUtf8(missingFileMark);
const std::string arrayMark = encodeUtf8(arrayAccessMark);

// The words and sets of one side of the storage check.
struct StorageGroup {
  std::string_view usedLine;
  std::string_view missingWarning;
  std::string_view missingError;
  const wchar_t* failureLine;
  std::set<std::wstring>& used;
  std::unordered_set<std::string> usedKeys;  // `used` in UTF-8, to skip repeats
  std::unordered_set<std::string> inventory;  // the inventory in UTF-8
};

// Return the UTF-8 forms of `keys`. A key that has none (a lone surrogate
// from a Windows file name) is left out: no storage value can equal it.
std::unordered_set<std::string> utf8Keys(const std::vector<ListedFile>& files) {
  std::unordered_set<std::string> index;
  for (const ListedFile& file : files) {
    try {
      index.insert(encodeUtf8(file.key));
    } catch (const std::range_error&) {
    }
  }
  return index;
}

class Scanner {
 public:
  Scanner(AuditState& state, Utf8FileWriter& report, Utf8FileWriter& log)
      : state_(state),
        report_(report),
        log_(log),
        sound_{"[DEBUG] 使用済み効果音ファイル: ",
               "[WARNING] 効果音ファイルが見つかりません: ",
               "[ERROR] 効果音ファイルが見つかりません: ",
               L"[ERROR] 正規表現検索エラー (playse/se): ",
               state.usedSoundFiles, {}, utf8Keys(state.soundFiles)},
        bgm_{"[DEBUG] 使用済みBGMファイル: ",
             "[WARNING] BGMファイルが見つかりません: ",
             "[ERROR] BGMファイルが見つかりません: ",
             L"[ERROR] 正規表現検索エラー (playbgm/bgm): ",
             state.usedBgmFiles, {}, utf8Keys(state.bgmFiles)},
        names_(state.scriptNames.hasKeys() ? &state.scriptNames : nullptr) {}

  void scanFile(const std::string& fileName, const std::filesystem::path& filePath,
                std::size_t total);

 private:
  void scanLine(const std::string& utf8line);
  void scanTag(const std::string& utf8line, const TagMatch& match);
  bool checkStorage(StorageGroup& group, std::string_view inner, std::string_view tag,
                    bool& storageMissing);
  void classify(const std::string& utf8line, const TagMatch& match,
                std::string_view tagName, std::string_view tag, bool storageMissing);
  void recordIssue(std::string_view tag, const wchar_t* mark, std::string_view collected);
  // Compose `prefix`, the file name, " 行 ", the line number, " (", `value`,
  // `more` and ")\n" in text_ and return it.
  const std::string& located(std::string_view prefix, std::string_view value,
                             std::string_view more = {});
  void reportUnreadBytes(const std::wstring& wFileName, std::int64_t lineNumber);
  void reportLineFailure(const std::wstring& wFileName, std::int64_t lineNumber,
                         const std::wstring& reason);

  AuditState& state_;
  Utf8FileWriter& report_;
  Utf8FileWriter& log_;
  StorageGroup sound_;
  StorageGroup bgm_;
  ScriptNames* names_;  // null while no deletion depends on the names
  std::int32_t processedCount_ = 0;

  // The file and line being scanned, as every message shows them.
  std::string_view fileName_;
  const std::wstring* wFileName_ = nullptr;
  std::int64_t lineNumber_ = 0;
  std::string number_;  // lineNumber_ in decimal
  std::string text_;    // the line being composed
  std::string key_;     // the path key being formed, in UTF-8
};

void Scanner::scanFile(const std::string& fileName,
                       const std::filesystem::path& filePath, std::size_t total) {
  std::wstring wFileName;
  try {
    wFileName = decodeUtf8(fileName);
    log_ << L"[DEBUG] ファイル名変換成功: " << wFileName << L"\n";
  } catch (const std::exception& e) {
    // The strict decoding failed, so the name is shown in its readable form.
    const std::wstring shown = decodeUtf8Lossy(fileName);
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    std::wcout << L"[WARNING] ファイル名変換エラー: " << shown << L" (" << reason << L")\n";
    log_ << L"[ERROR] ファイル名変換エラー: " << shown << L" (" << reason << L")\n";
    state_.scanComplete = false;
    return;
  }

  const std::wstring wPath = pathToWide(filePath);
  if (!std::filesystem::exists(filePath)) {
    std::wcout << L"ファイルが見つかりません: " << wFileName << L" (パス: " << wPath << L")\n";
    report_ << L"[WARNING] ファイルが見つかりません: " << wFileName << L" (パス: " << wPath
            << L")\n";
    log_ << L"[ERROR] ファイルが見つかりません: " << wFileName << L" (パス: " << wPath
         << L")\n";
    state_.scanComplete = false;
    return;
  }
  std::wcout << L"ファイルを確認: " << wFileName << L" (パス: " << wPath << L")\n";
  log_ << L"[DEBUG] ファイルを確認: " << wFileName << L" (パス: " << wPath << L")\n";

  std::wcout << L"処理中: " << wFileName << L" ..." << std::endl;
  log_ << L"[DEBUG] 処理開始: " << wFileName << L"\n";

  Utf8LineReader reader;
  if (!reader.open(filePath)) {
    std::wcerr << L"ファイルを開けませんでした: " << wFileName << std::endl;
    report_ << L"[WARNING] ファイルを開けませんでした: " << wFileName << std::endl;
    log_ << L"[ERROR] ファイルを開けませんでした: " << wFileName << L"\n";
    state_.scanComplete = false;
    return;
  }
  skipBOM(reader, fileName, log_);

  // The line is held once, as the UTF-8 bytes of the file: the reader has
  // checked them, so the tags cut from it are whole UTF-8 too.
  fileName_ = fileName;
  wFileName_ = &wFileName;
  lineNumber_ = 0;
  std::string utf8line;
  while (reader.readLine(utf8line)) {
    ++lineNumber_;
    char digits[24];  // any 64-bit number
    number_.assign(digits, std::to_chars(digits, digits + sizeof digits, lineNumber_).ptr);
    scanLine(utf8line);
  }
  if (reader.stoppedAtBadBytes()) {
    reportUnreadBytes(wFileName, reader.badLine());
    state_.scanComplete = false;
  }
  reader.close();

  ++processedCount_;
  std::wcout << L"完了: " << wFileName << L" (" << processedCount_ << L"/" << total
             << L")\n";
  log_ << L"[DEBUG] 処理完了: " << wFileName << L" (" << processedCount_ << L"/" << total
       << L")\n";
}

// Reading stopped at bytes that are not UTF-8: say so, like a line that
// cannot be converted, instead of ending the file silently.
void Scanner::reportUnreadBytes(const std::wstring& wFileName, std::int64_t lineNumber) {
  reportLineFailure(wFileName, lineNumber,
                    stringToWString(badConversionText, log_, "exception"));
}

void Scanner::reportLineFailure(const std::wstring& wFileName, std::int64_t lineNumber,
                                const std::wstring& reason) {
  std::wcerr << L"[WARNING] UTF-8変換に失敗: " << wFileName << L" 行 " << lineNumber
             << L" (" << reason << L")\n";
  report_ << L"[WARNING] UTF-8変換に失敗: " << wFileName << L" 行 " << lineNumber << L" ("
          << reason << L")\n";
  log_ << L"[ERROR] UTF-8変換エラー: " << wFileName << L" 行 " << lineNumber << L" ("
       << reason << L")\n";
}

void Scanner::scanLine(const std::string& utf8line) {
  try {
    const std::string_view shown = truncatedPart(utf8line, 20);
    const bool cut = shown.size() < utf8line.size();
    log_.writeUtf8(located(lineConverted, shown, cut ? "..." : ""));
    if (names_ != nullptr) names_->noteLine(utf8line);
  } catch (const std::exception& e) {
    // The line is given up, and with it what its tags would have named.
    state_.scanComplete = false;
    reportLineFailure(*wFileName_, lineNumber_,
                      stringToWString(e.what(), log_, "exception"));
    return;
  }
  TagMatch match;
  for (std::size_t from = 0; findNextTag(utf8line, from, match);
       from = match.pos + match.length) {
    scanTag(utf8line, match);
  }
  // The buffers keep their size from line to line, but not that of a huge
  // tag for the rest of the run.
  if (text_.capacity() > keptBufferBytes) text_ = std::string();
  if (key_.capacity() > keptBufferBytes) key_ = std::string();
}

void Scanner::scanTag(const std::string& utf8line, const TagMatch& match) {
  const std::string_view tag = std::string_view(utf8line).substr(match.pos, match.length);
  const std::string_view inner = tag.substr(1, tag.size() - 2);
  const std::string_view tagName = inner.substr(0, inner.find_first_of(" \t"));

  // The tag is whole UTF-8 (see above), so its wide text is made only for a
  // problem record; what can still fail here is memory.
  try {
    log_.writeUtf8(located(tagConverted, tag));
    if (names_ != nullptr) names_->noteTag(inner, tagName);
  } catch (const std::exception& e) {
    state_.scanComplete = false;  // the tag's storage value is never seen
    const std::wstring& wFileName = *wFileName_;
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    std::wcerr << L"[WARNING] タグ変換エラー: " << wFileName << L" 行 " << lineNumber_
               << L" (" << reason << L")\n";
    report_ << L"[WARNING] タグ変換エラー: " << wFileName << L" 行 " << lineNumber_ << L" ("
            << reason << L")\n";
    const std::wstring shownTag = stringToWString(std::string(tag), log_, "tag");
    log_ << L"[ERROR] タグ変換エラー: " << wFileName << L" 行 " << lineNumber_ << L" ("
         << shownTag << L", " << reason << L")\n";
    return;
  }

  bool storageMissing = false;
  if (tagName == "playse" || tagName == "se") {
    if (!checkStorage(sound_, inner, tag, storageMissing)) return;
  } else if (tagName == "playbgm" || tagName == "bgm") {
    if (!checkStorage(bgm_, inner, tag, storageMissing)) return;
  }
  classify(utf8line, match, tagName, tag, storageMissing);
}

// Return false when a failure abandoned the tag (it is then not classified).
bool Scanner::checkStorage(StorageGroup& group, std::string_view inner,
                           std::string_view tag, bool& storageMissing) {
  try {
    std::string_view value;
    if (!findStorageValue(inner, value) || value.empty()) {
      log_.writeUtf8(located(noStorage, tag));
      return true;
    }
    key_.assign(value);
    std::replace(key_.begin(), key_.end(), '\\', '/');
    if (!group.usedKeys.contains(key_)) {
      std::wstring wKey = normalizePath(decodeUtf8(value));
      std::replace(wKey.begin(), wKey.end(), L'\\', L'/');
      group.used.insert(std::move(wKey));
      group.usedKeys.insert(key_);
    }
    text_.assign(group.usedLine).append(key_).append("\n");
    log_.writeUtf8(text_);
    if (group.inventory.contains(key_)) return true;

    storageMissing = true;
    const std::string& warning = located(group.missingWarning, key_);
    std::wcout << decodeUtf8(warning);
    report_.writeUtf8(warning);
    log_.writeUtf8(located(group.missingError, key_));
    recordIssue(tag, missingFileMark, "[DEBUG] 問題タグ収集 (□): ");
    return true;
  } catch (const std::exception& e) {
    state_.scanComplete = false;  // the file it names may be taken for unused
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    log_ << group.failureLine << *wFileName_ << L" 行 " << lineNumber_ << L" (" << reason
         << L")\n";
    return false;
  }
}

void Scanner::classify(const std::string& utf8line, const TagMatch& match,
                       std::string_view tagName, std::string_view tag,
                       bool storageMissing) {
  const wchar_t* mark = nullptr;
  const std::string* shownMark = nullptr;
  std::string_view detected = normalTag;
  std::string_view collected;
  if (!knownTags.contains(tagName)) {
    if (isGluedToText(utf8line, match.pos, match.pos + match.length - 1)) {
      mark = arrayAccessMark;
      shownMark = &arrayMark;
      detected = "[DEBUG] 配列アクセス検出: ";
      collected = "[DEBUG] 問題タグ収集 (◆): ";
    } else {
      mark = illegalTagMark;
      shownMark = &illegalMark;
      detected = "[DEBUG] 不正タグ検出: ";
      collected = "[DEBUG] 問題タグ収集 (■): ";
    }
  }

  text_.clear();
  if (storageMissing) text_.append(missingMark);
  if (shownMark != nullptr) text_.append(*shownMark);
  text_.append(fileName_).append(" (行 ").append(number_).append("): ").append(tag).append(
      "\n");
  report_.writeUtf8(text_);
  report_.flush();
  log_.writeUtf8(located(detected, tag));
  if (mark != nullptr) recordIssue(tag, mark, collected);
}

void Scanner::recordIssue(std::string_view tag, const wchar_t* mark,
                          std::string_view collected) {
  state_.issues.push_back(Issue{*wFileName_, lineNumber_, decodeUtf8(tag), mark});
  log_.writeUtf8(located(collected, tag));
}

const std::string& Scanner::located(std::string_view prefix, std::string_view value,
                                    std::string_view more) {
  text_.assign(prefix)
      .append(fileName_)
      .append(" 行 ")
      .append(number_)
      .append(" (")
      .append(value)
      .append(more)
      .append(")\n");
  return text_;
}

}  // namespace

void scanScenarioFiles(const std::vector<std::string>& targetFiles,
                       bool configured,
                       const std::filesystem::path& scenarioDir,
                       AuditState& state, Utf8FileWriter& report,
                       Utf8FileWriter& log) {
  Scanner scanner(state, report, log);
  for (const std::string& fileName : targetFiles) {
    // A listed name is a file name as the folder holds it, a backslash and all.
    const std::filesystem::path filePath =
        scenarioDir / (configured ? configuredNamePath(fileName) : pathFromNarrow(fileName));
    scanner.scanFile(fileName, filePath, targetFiles.size());
  }
}
