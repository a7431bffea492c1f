#include "text/case_fold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "text/utf8.h"

namespace {

struct CaseMapping {
  std::uint16_t from;
  std::uint16_t to;
};

constexpr CaseMapping caseMappings[] = {
#include "text/case_fold_table.inc"
};

}  // namespace

char32_t foldCase(char32_t c) {
  if (c < 0x80) return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
  if (c > 0xFFFF) return c;
  const auto found = std::lower_bound(
      std::begin(caseMappings), std::end(caseMappings), c,
      [](const CaseMapping& mapping, char32_t value) { return mapping.from < value; });
  return found != std::end(caseMappings) && found->from == c ? found->to : c;
}

std::wstring foldCase(std::wstring_view text) {
  std::wstring folded;
  folded.reserve(text.size());
  for (const wchar_t c : text) {
    // A surrogate half has no mapping, so each half stays as it is.
    folded.push_back(static_cast<wchar_t>(foldCase(static_cast<char32_t>(c))));
  }
  return folded;
}

void appendFolded(std::string_view utf8, std::string& out) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const char byte = utf8[i];
    if (static_cast<unsigned char>(byte) < 0x80) {
      out.push_back(byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte);
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const int length = scanUtf8Sequence(utf8.substr(i), codePoint);
    if (length <= 0) {
      out.push_back(byte);
      ++i;
      continue;
    }
    char encoded[4];
    out.append(encoded, putUtf8(foldCase(codePoint), encoded));
    i += static_cast<std::size_t>(length);
  }
}
