#include "text/utf8.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

void appendWide(char32_t codePoint, std::wstring& out) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (codePoint >= 0x10000) {
      const char32_t v = codePoint - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(codePoint));
}

bool isScalarValue(char32_t v) {
  return v < 0xD800 || (v > 0xDFFF && v <= 0x10FFFF);
}

}  // namespace

int scanUtf8Sequence(std::string_view bytes, char32_t& codePoint) {
  if (bytes.empty()) return -1;
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  if (b0 < 0x80) {
    codePoint = b0;
    return 1;
  }
  int length = 0;
  char32_t value = 0;
  // The allowed range of the second byte rules out overlong forms,
  // surrogates and values above U+10FFFF in one test.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= bytes.size()) return -1;
    const auto b = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  codePoint = value;
  return length;
}

std::size_t decodeUtf8Prefix(std::string_view bytes, std::wstring& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    if (b < 0x80) {  // the common case, without the general decoder
      out.push_back(static_cast<wchar_t>(b));
      ++pos;
      continue;
    }
    char32_t codePoint = 0;
    const int length = scanUtf8Sequence(bytes.substr(pos), codePoint);
    if (length <= 0) break;
    appendWide(codePoint, out);
    pos += static_cast<std::size_t>(length);
  }
  return pos;
}

std::size_t validUtf8Prefix(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // Scenario text is mostly ASCII: skip it eight bytes at a time.
    while (pos + 8 <= bytes.size()) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes.data() + pos, 8);
      if ((word & 0x8080808080808080u) != 0) break;
      pos += 8;
    }
    if (pos == bytes.size()) break;
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    if (b0 < 0x80) {
      ++pos;
      continue;
    }
    // Japanese text is mostly three-byte sequences whose lead byte needs no
    // range test of its second byte.
    if (((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) &&
        pos + 2 < bytes.size() &&
        (static_cast<unsigned char>(bytes[pos + 1]) & 0xC0) == 0x80 &&
        (static_cast<unsigned char>(bytes[pos + 2]) & 0xC0) == 0x80) {
      pos += 3;
      continue;
    }
    char32_t ignored = 0;
    const int length = scanUtf8Sequence(bytes.substr(pos), ignored);
    if (length <= 0) break;
    pos += static_cast<std::size_t>(length);
  }
  return pos;
}

std::wstring decodeUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  if (decodeUtf8Prefix(bytes, out) != bytes.size()) {
    throw std::range_error(badConversionText);
  }
  return out;
}

std::wstring decodeUtf8Lossy(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    pos += decodeUtf8Prefix(bytes.substr(pos), out);
    if (pos < bytes.size()) {
      out.push_back(L'\xFFFD');
      ++pos;
    }
  }
  return out;
}

char* putUtf8(char32_t v, char* out) {
  if (!isScalarValue(v)) v = 0xFFFD;
  if (v < 0x80) {
    *out++ = static_cast<char>(v);
  } else if (v < 0x800) {
    *out++ = static_cast<char>(0xC0 | (v >> 6));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (v >> 12));
    *out++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (v >> 18));
    *out++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (v & 0x3F));
  }
  return out;
}

void appendUtf8(char32_t v, std::string& out) {
  char bytes[4];
  out.append(bytes, static_cast<std::size_t>(putUtf8(v, bytes) - bytes));
}

namespace {

std::string encode(std::wstring_view text, bool lossy) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t v = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (v >= 0xD800 && v <= 0xDBFF && i + 1 < text.size()) {
        const auto next = static_cast<char32_t>(text[i + 1]);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          v = 0x10000 + ((v - 0xD800) << 10) + (next - 0xDC00);
          ++i;
        }
      }
    }
    if (!lossy && !isScalarValue(v)) throw std::range_error(badConversionText);
    appendUtf8(v, out);  // writes U+FFFD for what is no scalar value
  }
  return out;
}

}  // namespace

std::string encodeUtf8(std::wstring_view text) { return encode(text, false); }

std::string encodeUtf8Lossy(std::wstring_view text) { return encode(text, true); }
