#include "text/utf8.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A reference decoder written the other way round from the codec: take the
// sequence apart by its bit pattern first, then reject the value by range
// (overlong, surrogate, above U+10FFFF). It exists only for these tests.
// Return the offset of the first bad sequence, or bytes.size().
std::size_t referenceDecode(const std::string& bytes, std::u32string& out) {
  static const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;
    char32_t v = 0;
    if (b < 0x80) {
      n = 1;
      v = b;
    } else if ((b & 0xE0) == 0xC0) {
      n = 2;
      v = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3;
      v = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4;
      v = b & 0x07;
    } else {
      return i;
    }
    if (i + n > bytes.size()) return i;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return i;
      v = (v << 6) | (c & 0x3F);
    }
    if (v < minimum[n] || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) return i;
    out.push_back(v);
    i += n;
  }
  return i;
}

std::string referenceEncode(char32_t v) {
  std::string s;
  if (v < 0x80) {
    s += static_cast<char>(v);
  } else if (v < 0x800) {
    s += static_cast<char>(0xC0 | (v >> 6));
    s += static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    s += static_cast<char>(0xE0 | (v >> 12));
    s += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (v & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (v >> 18));
    s += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (v & 0x3F));
  }
  return s;
}

// The wide form of code points: one wchar_t each, or a surrogate pair where
// wchar_t has 16 bits.
std::wstring toWide(const std::u32string& text) {
  std::wstring out;
  for (const char32_t v : text) {
    if (sizeof(wchar_t) == 2 && v >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((v - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((v - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(v);
    }
  }
  return out;
}

bool decodes(const std::string& bytes) {
  try {
    decodeUtf8(bytes);
    return true;
  } catch (const std::range_error& e) {
    EXPECT_STREQ(e.what(), "bad conversion");
    return false;
  }
}

}  // namespace

TEST(Utf8Decode, AcceptsWellFormedText) {
  EXPECT_EQ(decodeUtf8(""), L"");
  EXPECT_EQ(decodeUtf8("abc"), L"abc");
  EXPECT_EQ(decodeUtf8("\xC3\xA9"), L"\u00E9");
  EXPECT_EQ(decodeUtf8("\xE3\x81\x82\xE3\x80\x80"), L"\u3042\u3000");
  EXPECT_EQ(decodeUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(decodeUtf8("\xF0\x9F\x98\x80"), toWide(U"\U0001F600"));
  EXPECT_EQ(decodeUtf8("\xF4\x8F\xBF\xBF"), toWide(U"\U0010FFFF"));
}

TEST(Utf8Decode, RejectsMalformedText) {
  const char* rejected[] = {
      "\x80",                      // lone continuation byte
      "\x82\xA0",                  // code page 932, not UTF-8
      "\xE3\x81",                  // three-byte character cut off
      "a\xE3\x81",                 // ... after valid text
      ("\xE3\x81" "a"),            // ... followed by ASCII
      "\xC0\x80", "\xC1\xBF",      // overlong two-byte forms
      "\xE0\x80\x80", "\xE0\x9F\xBF",  // overlong three-byte forms
      "\xF0\x8F\xBF\xBF",          // overlong four-byte form
      "\xED\xA0\x80", "\xED\xBF\xBF",  // encoded surrogates
      "\xF4\x90\x80\x80",          // above U+10FFFF
      "\xF5\x80\x80\x80", "\xF8", "\xFE", "\xFF",
  };
  for (const char* bytes : rejected) {
    EXPECT_FALSE(decodes(bytes)) << "bytes: " << testing::PrintToString(bytes);
  }
}

// Every sequence of up to four bytes drawn from the bytes at the edges of the
// encoding's ranges, compared with the reference decoder.
TEST(Utf8Decode, AgreesWithReferenceOnBoundaryBytes) {
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x81, 0x8F, 0x90,
                                 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF1,
                                 0xF4, 0xF5, 0xF8, 0xFE, 0xFF};
  const std::size_t count = sizeof edges;
  std::size_t total = 1;
  for (int length = 1; length <= 4; ++length) {
    total *= count;
    for (std::size_t n = 0; n < total; ++n) {
      std::string bytes;
      for (std::size_t rest = n, k = 0; k < static_cast<std::size_t>(length); ++k) {
        bytes += static_cast<char>(edges[rest % count]);
        rest /= count;
      }
      std::u32string expected;
      const std::size_t good = referenceDecode(bytes, expected);
      std::wstring prefix;
      ASSERT_EQ(decodeUtf8Prefix(bytes, prefix), good) << testing::PrintToString(bytes);
      ASSERT_EQ(prefix, toWide(expected));
      ASSERT_EQ(decodes(bytes), good == bytes.size());
      // The checker that skips ASCII eight bytes at a time, around the edges.
      for (const std::string& padded : {bytes, "12345678" + bytes, bytes + "12345678"}) {
        ASSERT_EQ(validUtf8Prefix(padded), referenceDecode(padded, expected))
            << testing::PrintToString(padded);
      }
    }
  }
}

TEST(Utf8Encode, RoundTripsEveryScalarValue) {
  for (char32_t v = 0; v <= 0x10FFFF; ++v) {
    if (v >= 0xD800 && v <= 0xDFFF) continue;
    const std::wstring wide = toWide(std::u32string(1, v));
    const std::string bytes = referenceEncode(v);
    ASSERT_EQ(encodeUtf8(wide), bytes) << "U+" << std::hex << static_cast<unsigned>(v);
    ASSERT_EQ(decodeUtf8(bytes), wide);
  }
}

TEST(Utf8Encode, RejectsValuesThatAreNoCharacters) {
  std::vector<std::wstring> rejected = {
      std::wstring(1, static_cast<wchar_t>(0xD800)),
      std::wstring(1, static_cast<wchar_t>(0xDFFF)),
      std::wstring(L"a") + static_cast<wchar_t>(0xDC00) + L"b",
  };
  if constexpr (sizeof(wchar_t) == 4) {
    rejected.push_back(std::wstring(1, static_cast<wchar_t>(0x110000)));
    rejected.push_back(std::wstring(1, static_cast<wchar_t>(-1)));
    // A pair is no pair where wchar_t holds whole code points.
    rejected.push_back(std::wstring{static_cast<wchar_t>(0xD83D),
                                    static_cast<wchar_t>(0xDE00)});
  } else {
    rejected.push_back(std::wstring{static_cast<wchar_t>(0xD83D), L'a'});
  }
  for (const std::wstring& text : rejected) {
    EXPECT_THROW(encodeUtf8(text), std::range_error);
  }
}

TEST(Utf8Lossy, ShowsEveryBadByteAsReplacement) {
  EXPECT_EQ(decodeUtf8Lossy("abc"), L"abc");
  EXPECT_EQ(decodeUtf8Lossy("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(decodeUtf8Lossy("\x82\xA0.ks"), L"\uFFFD\uFFFD.ks");
  EXPECT_EQ(decodeUtf8Lossy("\xE3\x81" "a"), L"\uFFFD\uFFFDa");
  EXPECT_EQ(decodeUtf8Lossy("\xE3\x81\xE3\x81\x82"), L"\uFFFD\uFFFD\u3042");
  EXPECT_EQ(decodeUtf8Lossy("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(decodeUtf8Lossy("\xE3\x81"), L"\uFFFD\uFFFD");
}

TEST(Utf8Scan, TellsIncompleteFromInvalid) {
  char32_t v = 0;
  EXPECT_EQ(scanUtf8Sequence("", v), -1);
  EXPECT_EQ(scanUtf8Sequence("\xE3\x81", v), -1);
  EXPECT_EQ(scanUtf8Sequence("\xF0\x9F\x98", v), -1);
  // Decided by the second byte already, without waiting for the third.
  EXPECT_EQ(scanUtf8Sequence("\xE0\x80", v), 0);
  EXPECT_EQ(scanUtf8Sequence("\xED\xA0", v), 0);
  EXPECT_EQ(scanUtf8Sequence("\xF4\x90", v), 0);
  EXPECT_EQ(scanUtf8Sequence("\xE3" "a", v), 0);
  EXPECT_EQ(scanUtf8Sequence("\x80", v), 0);
  EXPECT_EQ(scanUtf8Sequence("\xE3\x81\x82zz", v), 3);
  EXPECT_EQ(v, U'\u3042');
  // Every proper start of a valid sequence waits for more bytes.
  for (const char32_t c : {U'\u00E9', U'\u3042', U'\U0001F600', U'\U0010FFFF'}) {
    const std::string bytes = referenceEncode(c);
    for (std::size_t n = 1; n < bytes.size(); ++n) {
      EXPECT_EQ(scanUtf8Sequence(bytes.substr(0, n), v), -1);
    }
  }
}

TEST(Utf8Append, WritesReplacementForNoCharacter) {
  std::string out;
  appendUtf8(U'\u3042', out);
  appendUtf8(0xD800, out);
  appendUtf8(0x110000, out);
  EXPECT_EQ(out, "\xE3\x81\x82\xEF\xBF\xBD\xEF\xBF\xBD");
}
