#pragma once

// Conversions for message values and the small text helpers that every
// message of the tool rests on. None of them raises to its caller.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

class Utf8LineReader;

// Return `text` decoded from UTF-8. On failure write
// "[ERROR] string to wstring conversion error: <context> (<reason>)" to `log`
// and return empty text.
std::wstring stringToWString(const std::string& text, std::wostream& log,
                             const std::string& context);

// Return the UTF-8 bytes of `text`. On failure write
// "[ERROR] UTF-8 変換エラー: <context> (<reason>)" to `log` and return empty
// text.
std::string wstringToUtf8(const std::wstring& text, std::wostream& log,
                          const std::string& context);

// Return `text` when it has at most `maxLength` bytes; otherwise its longest
// start of at most `maxLength` bytes that does not end inside a UTF-8
// character, followed by "...".
std::string truncateString(const std::string& text, std::size_t maxLength);

// Return the part of `text` that truncateString keeps, without "...": all
// of it when it has at most `maxLength` bytes.
std::string_view truncatedPart(std::string_view text, std::size_t maxLength);

// Return `path` unchanged: the first step of a path key, after which callers
// replace every backslash by "/".
std::wstring normalizePath(const std::wstring& path);

// Take one U+FEFF from the start of the unread text of `in` if it stands
// there, and log whether it did. A file that cannot deliver a character
// counts as having none.
void skipBOM(Utf8LineReader& in, const std::string& fileName, std::wostream& log);
