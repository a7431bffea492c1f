#include "audit/tag_matcher.h"

namespace {

bool isBracket(char c) { return c == '[' || c == ']'; }

// The white space of the pattern's "\s" in the unchanged C locale.
bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool findNextTag(std::string_view line, std::size_t from, TagMatch& match) {
  std::size_t open = line.find('[', from);
  while (open != std::string_view::npos) {
    std::size_t end = open + 1;
    while (end < line.size() && !isBracket(line[end])) ++end;
    if (end == line.size()) return false;
    if (line[end] == ']' && end > open + 1) {
      match.pos = open;
      match.length = end - open + 1;
      return true;
    }
    // No match starts at `open`, nor between it and `end` (no "[" there):
    // the next candidate is the next "[" from `end` on.
    open = line.find('[', end);
  }
  return false;
}

bool findStorageValue(std::string_view inner, std::string_view& value) {
  constexpr std::string_view word = "storage";
  for (std::size_t at = inner.find(word); at != std::string_view::npos;
       at = inner.find(word, at + 1)) {
    std::size_t pos = at + word.size();
    while (pos < inner.size() && isAsciiSpace(inner[pos])) ++pos;
    if (pos >= inner.size() || inner[pos] != '=') continue;
    ++pos;
    while (pos < inner.size() && isAsciiSpace(inner[pos])) ++pos;
    if (pos >= inner.size() || inner[pos] != '"') continue;
    const std::size_t close = inner.find('"', pos + 1);
    // Without a closing quote no later attribute can have one either.
    if (close == std::string_view::npos) return false;
    value = inner.substr(pos + 1, close - pos - 1);
    return true;
  }
  return false;
}
