#pragma once

// The project's strict UTF-8 codec. Invalid bytes, truncated sequences,
// overlong forms, encoded surrogates and values above U+10FFFF are rejected;
// characters above U+FFFF are one 4-byte sequence (a surrogate pair where
// wchar_t has 16 bits).

#include <cstddef>
#include <string>
#include <string_view>

// The failure text of every rejected conversion.
inline constexpr const char* badConversionText = "bad conversion";

// Return the wide text decoded from `bytes`. Throw std::range_error with
// badConversionText when `bytes` is not valid UTF-8.
std::wstring decodeUtf8(std::string_view bytes);

// Return the UTF-8 bytes of `text`. Throw std::range_error with
// badConversionText for a surrogate that is not part of a pair or a value
// above U+10FFFF.
std::string encodeUtf8(std::wstring_view text);

// Return the UTF-8 bytes of `text` with every surrogate that is not part of
// a pair, and every value above U+10FFFF, written as U+FFFD. Never throws
// for bad input.
std::string encodeUtf8Lossy(std::wstring_view text);

// Decode as much of `bytes` as forms valid UTF-8 from the start, appending it
// to `out`. Return the number of bytes decoded: bytes.size() when all of it
// is valid.
std::size_t decodeUtf8Prefix(std::string_view bytes, std::wstring& out);

// Return the length of the longest start of `bytes` that is valid UTF-8 made
// of whole sequences: bytes.size() when all of it is valid.
std::size_t validUtf8Prefix(std::string_view bytes);

// Return the wide text of `bytes` with every byte that does not belong to a
// valid UTF-8 sequence shown as U+FFFD. Never throws for bad input.
std::wstring decodeUtf8Lossy(std::string_view bytes);

// Append the UTF-8 bytes of one code point to `out`; a value that is no
// scalar value (a surrogate, above U+10FFFF) is written as U+FFFD.
void appendUtf8(char32_t codePoint, std::string& out);

// Write the UTF-8 bytes of one code point (at most four) at `out` and return
// the end of what was written; a value that is no scalar value is written as
// U+FFFD.
char* putUtf8(char32_t codePoint, char* out);

// Length of the valid UTF-8 sequence that starts `bytes`: 1 to 4, 0 when
// the bytes there are invalid, or -1 when they are a valid but incomplete
// start of a sequence (more bytes are needed to decide). `codePoint`
// receives the value when the result is positive.
int scanUtf8Sequence(std::string_view bytes, char32_t& codePoint);
