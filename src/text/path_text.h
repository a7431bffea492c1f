#pragma once

// The wide and narrow forms of file-system paths used in messages and keys.

#include <filesystem>
#include <string>

// Return the wide form of `path` for messages and path keys. On POSIX the
// native bytes are decoded as UTF-8 with every byte that does not belong to a
// valid sequence shown as U+FFFD; never throws for such bytes.
std::wstring pathToWide(const std::filesystem::path& path);

// Return the narrow form of `path`: its native bytes on POSIX.
std::string pathToNarrow(const std::filesystem::path& path);

// Return the path whose narrow form is `narrow` (its native bytes on POSIX).
std::filesystem::path pathFromNarrow(const std::string& narrow);

// Return the path named by the wide text `wide` (a path key, say): its UTF-8
// bytes on POSIX. U+FFFD stands for itself, so a key made from bytes that
// were not UTF-8 names no existing file.
std::filesystem::path pathFromWide(const std::wstring& wide);
