#pragma once

// Linear-time matchers with exactly the semantics of the two regular
// expressions of the scan, "\[([^\[\]]+)\]" and
// "storage\s*=\s*\"([^\"]*)\"" (ECMAScript, leftmost match first). The
// backtracking std::regex of libstdc++ recurses once per character and
// overflows the stack on long lines.

#include <cstddef>
#include <string_view>

// One bracket pair: `pos` is the index of its "[", `length` counts both
// brackets. The inner text is line.substr(pos + 1, length - 2).
struct TagMatch {
  std::size_t pos = 0;
  std::size_t length = 0;
};

// Find the leftmost tag in `line` that starts at or after `from`. Return
// false when there is none. Resume the next search at pos + length.
bool findNextTag(std::string_view line, std::size_t from, TagMatch& match);

// Find the leftmost storage attribute in `inner` and set `value` to its
// double-quoted value (possibly empty). Return false when there is none.
bool findStorageValue(std::string_view inner, std::string_view& value);
