#pragma once

#include <cstddef>
#include <set>
#include <string>

// The fixed vocabulary of tag names that the audit accepts (byte-exact,
// case-sensitive).
extern const std::set<std::string> knownTags;

// Return true when the bracket pair at `openPos`..`closePos` of `line` reads
// as an array access: neither at the start nor at the end of the line, its
// name not a known tag, and glued to the text on one side (an ASCII letter
// or digit, ".", "_", or "]" before its "[" / "[" after its "]").
bool isArrayAccess(const std::string& line, std::size_t openPos,
                   std::size_t closePos, const std::string& tagName);
