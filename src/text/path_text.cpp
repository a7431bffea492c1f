#include "text/path_text.h"

#include <type_traits>

#include "text/utf8.h"

namespace {
constexpr bool nativeIsNarrow =
    std::is_same_v<std::filesystem::path::value_type, char>;
}  // namespace

std::wstring pathToWide(const std::filesystem::path& path) {
  // libstdc++'s path::wstring() throws for any non-ASCII name under the C
  // locale, so the native bytes are decoded here instead.
  if constexpr (nativeIsNarrow) {
    return decodeUtf8Lossy(path.native());
  } else {
    return path.wstring();
  }
}

std::string pathToNarrow(const std::filesystem::path& path) {
  return path.string();
}

std::filesystem::path pathFromNarrow(const std::string& narrow) {
  return std::filesystem::path(narrow);
}

std::filesystem::path pathFromWide(const std::wstring& wide) {
  // libstdc++ converts wide text to a path through the C locale, which
  // rejects every non-ASCII character.
  if constexpr (nativeIsNarrow) {
    return std::filesystem::path(encodeUtf8(wide));
  } else {
    return std::filesystem::path(wide);
  }
}
