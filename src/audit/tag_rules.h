#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>

// The fixed vocabulary of tag names that the audit accepts (byte-exact,
// case-sensitive). Looked up with string views as well as strings.
extern const std::set<std::string, std::less<>> knownTags;

// Return true when the bracket pair at `openPos`..`closePos` of `line` reads
// as an array access: neither at the start nor at the end of the line, its
// name not a known tag, and glued to the text on one side (an ASCII letter
// or digit, ".", "_", or "]" before its "[" / "[" after its "]").
bool isArrayAccess(std::string_view line, std::size_t openPos,
                   std::size_t closePos, std::string_view tagName);

// Return true when the bracket pair is neither at the start nor at the end
// of `line` and glued to the text on one side: isArrayAccess without its
// known-tag test, for a caller that has looked the name up already.
bool isGluedToText(std::string_view line, std::size_t openPos, std::size_t closePos);
