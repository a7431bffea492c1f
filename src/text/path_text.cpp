#include "text/path_text.h"

#include "text/utf8.h"

// Narrow text is UTF-8 on every platform. POSIX paths hold bytes, which are
// UTF-8 when they are valid; Windows paths hold UTF-16, which the standard
// library would convert through the ANSI code page (or byte for byte), so
// both directions go through our own codec there.

#ifdef _WIN32

std::wstring pathToWide(const std::filesystem::path& path) {
  return path.native();
}

std::string pathToNarrow(const std::filesystem::path& path) {
  return encodeUtf8Lossy(path.native());
}

std::filesystem::path pathFromNarrow(const std::string& narrow) {
  return std::filesystem::path(decodeUtf8Lossy(narrow));
}

std::filesystem::path pathFromWide(const std::wstring& wide) {
  return std::filesystem::path(wide);
}

#else

std::wstring pathToWide(const std::filesystem::path& path) {
  // libstdc++'s path::wstring() throws for any non-ASCII name under the C
  // locale, so the native bytes are decoded here instead.
  return decodeUtf8Lossy(path.native());
}

std::string pathToNarrow(const std::filesystem::path& path) {
  return path.native();
}

std::filesystem::path pathFromNarrow(const std::string& narrow) {
  return std::filesystem::path(narrow);
}

std::filesystem::path pathFromWide(const std::wstring& wide) {
  // libstdc++ converts wide text to a path through the C locale, which
  // rejects every non-ASCII character.
  return std::filesystem::path(encodeUtf8Lossy(wide));
}

#endif
