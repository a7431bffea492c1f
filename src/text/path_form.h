#pragma once

// The one form of the many spellings under which Windows opens one relative
// path, for telling on paper whether two names lead to the same file.

#include <string>
#include <string_view>

// Append to `out` the form of the relative path `utf8`: every "\" read as
// "/"; each step without its trailing dots and blanks, except the steps "."
// and ".."; empty and "." steps dropped; ".." dropping the step before it,
// and kept where no step is left to drop; the steps joined by "/" and every
// character folded by foldCase. Touches no file.
void appendPathForm(std::string_view utf8, std::string& out);

// Return the form of appendPathForm for `utf8`.
std::string pathForm(std::string_view utf8);
