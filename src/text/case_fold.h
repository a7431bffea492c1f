#pragma once

// Letter case as Windows compares file names: every character of the Basic
// Multilingual Plane stands for its simple upper-case mapping, and nothing
// else is changed (no normalisation, no locale). One table serves both
// builds, so they fold alike.

#include <string>
#include <string_view>

// Return the simple upper-case mapping of `c` when `c` lies in the Basic
// Multilingual Plane and has one; otherwise `c` itself.
char32_t foldCase(char32_t c);

// Return `text` with each character folded by foldCase. Where wchar_t has 16
// bits, the halves of a surrogate pair are left as they are.
std::wstring foldCase(std::wstring_view text);

// Append `utf8` to `out` with each character folded by foldCase. Bytes that
// are not UTF-8 are copied unchanged.
void appendFolded(std::string_view utf8, std::string& out);
