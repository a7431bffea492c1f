#pragma once

// The wide and narrow forms of file-system paths used in messages and keys.
// Narrow text is UTF-8 on every platform.

#include <filesystem>
#include <string>

// Return the wide form of `path` for messages and path keys: on POSIX the
// native bytes decoded as UTF-8, every byte that does not belong to a valid
// sequence shown as U+FFFD; on Windows the native UTF-16 form. Never throws
// for such names.
std::wstring pathToWide(const std::filesystem::path& path);

// Return the narrow form of `path`: its native bytes on POSIX; on Windows its
// UTF-16 form as UTF-8, a lone surrogate written as U+FFFD. Never throws for
// such names.
std::string pathToNarrow(const std::filesystem::path& path);

// Return the path whose narrow form is `narrow`: its bytes on POSIX; on
// Windows the UTF-8 text decoded, bytes that are not UTF-8 as U+FFFD.
std::filesystem::path pathFromNarrow(const std::string& narrow);

// Return the path named by the wide text `wide` (a path key, say): its UTF-8
// bytes on POSIX, the text itself on Windows. U+FFFD stands for itself, so a
// key made from bytes that were not UTF-8 names no existing file.
std::filesystem::path pathFromWide(const std::wstring& wide);
