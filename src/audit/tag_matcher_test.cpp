#include "audit/tag_matcher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

using Matches = std::vector<std::pair<std::size_t, std::size_t>>;

// The two regular expressions that the matchers stand in for; std::regex is
// the reference on short texts, where its recursion depth does no harm.
const std::regex tagRegex("\\[([^\\[\\]]+)\\]");
const std::regex storageRegex("storage\\s*=\\s*\"([^\"]*)\"");

Matches regexTags(const std::string& line) {
  Matches out;
  for (auto it = std::sregex_iterator(line.begin(), line.end(), tagRegex);
       it != std::sregex_iterator(); ++it) {
    out.emplace_back(static_cast<std::size_t>(it->position(0)),
                     static_cast<std::size_t>(it->length(0)));
  }
  return out;
}

Matches matcherTags(std::string_view line) {
  Matches out;
  TagMatch match;
  for (std::size_t from = 0; findNextTag(line, from, match); from = match.pos + match.length) {
    out.emplace_back(match.pos, match.length);
  }
  return out;
}

// A text of up to `maxPieces` pieces drawn from `alphabet`, from a fixed-seed
// generator so that a failure can be reproduced.
std::string randomText(std::mt19937& rng, const std::vector<std::string>& alphabet,
                       std::uint32_t maxPieces) {
  std::string text;
  const std::uint32_t pieces = rng() % (maxPieces + 1);
  for (std::uint32_t i = 0; i < pieces; ++i) {
    text += alphabet[rng() % alphabet.size()];
  }
  return text;
}

}  // namespace

TEST(TagMatcher, FindsTagsOfTheScan) {
  struct Case {
    const char* line;
    Matches tags;
  };
  const Case cases[] = {
      {"", {}},
      {"[]", {}},                         // empty pair
      {"[jump", {}},                      // no closing bracket
      {"a]b", {}},
      {"[a]", {{0, 3}}},
      {"a[b]c[d]", {{1, 3}, {5, 3}}},     // side by side with text
      {"[a][b]", {{0, 3}, {3, 3}}},
      {"[a[b]c]", {{2, 3}}},              // only the inner pair of two nested
      {"[[]a]", {}},
      {"[ ]", {{0, 3}}},
      {"\xE3\x81\x82[se storage=\"\xE9\x9F\xB3.ogg\"]", {{3, 22}}},
      {"[a\nb]", {{0, 5}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matcherTags(c.line), c.tags) << testing::PrintToString(c.line);
  }
  TagMatch match;
  EXPECT_FALSE(findNextTag("[ab]", 1, match));  // a search from inside a tag
  ASSERT_TRUE(findNextTag("[ab] [c]", 1, match));
  EXPECT_EQ(match.pos, 5u);
}

TEST(TagMatcher, AgreesWithRegexOnGeneratedLines) {
  const std::vector<std::string> alphabet = {
      "[", "]", "[", "]", "a", "se", " ", "\t", "\"", "=", "storage",
      "\xE3\x81\x82", "\xE3\x80\x80", "\n", "\r", std::string(1, '\0')};
  std::mt19937 rng(20240304);
  for (int n = 0; n < 20000; ++n) {
    const std::string line = randomText(rng, alphabet, 12);
    ASSERT_EQ(matcherTags(line), regexTags(line)) << testing::PrintToString(line);
    // A search from any offset finds what the regex finds in the rest.
    for (std::size_t from = 0; from <= line.size(); ++from) {
      std::smatch m;
      const std::string rest = line.substr(from);
      TagMatch match;
      const bool found = findNextTag(line, from, match);
      ASSERT_EQ(found, std::regex_search(rest, m, tagRegex));
      if (found) {
        ASSERT_EQ(match.pos - from, static_cast<std::size_t>(m.position(0)));
      }
    }
  }
}

TEST(StorageMatcher, FindsFirstQuotedValue) {
  struct Case {
    const char* inner;
    const char* value;  // nullptr: no match
  };
  const Case cases[] = {
      {"se storage=\"a.ogg\"", "a.ogg"},
      {"se storage \t= \v\f\r\n\"se/b c.ogg\" loop", "se/b c.ogg"},
      {"se storage=\"\"", ""},
      {"se storage=\" a\"", " a"},                          // blanks inside count
      {"se storage=a.ogg", nullptr},
      {"se storage='a.ogg'", nullptr},
      {"se Storage=\"a.ogg\"", nullptr},
      {"se storage=\"a.ogg", nullptr},
      {"se storage\xE3\x80\x80=\"a\"", nullptr},           // U+3000 is no blank
      {"se xstorage=\"a\" storage=\"b\"", "a"},             // not delimited on the left
      {"se storage=x storage=\"b\"", "b"},
      {"se storage=\"a storage=\"b\"", "a storage="},
      {"se storagestorage=\"c\"", "c"},
      {"se storage=\"\xE5\x8A\xB9\xE6\x9E\x9C\"", "\xE5\x8A\xB9\xE6\x9E\x9C"},
  };
  for (const Case& c : cases) {
    std::string_view value;
    const bool found = findStorageValue(c.inner, value);
    EXPECT_EQ(found, c.value != nullptr) << c.inner;
    if (found && c.value != nullptr) {
      EXPECT_EQ(value, c.value) << c.inner;
    }
  }
}

TEST(StorageMatcher, AgreesWithRegexOnGeneratedTags) {
  const std::vector<std::string> alphabet = {
      "storage", "stor", "age", "s", "S", "=", "=", "\"", "\"", " ", "\t",
      "\n", "\v", "\f", "\r", "\xE3\x80\x80", "\xC2\xA0", "x", "\xE3\x81\x82"};
  std::mt19937 rng(7);
  for (int n = 0; n < 50000; ++n) {
    const std::string inner = randomText(rng, alphabet, 9);
    std::smatch m;
    const bool expected = std::regex_search(inner, m, storageRegex);
    std::string_view value;
    const std::string_view view(inner);
    ASSERT_EQ(findStorageValue(view, value), expected) << testing::PrintToString(inner);
    if (!expected) continue;
    ASSERT_EQ(static_cast<std::size_t>(value.data() - view.data()),
              static_cast<std::size_t>(m.position(1)))
        << testing::PrintToString(inner);
    ASSERT_EQ(value, m.str(1));
  }
}

// Each of these lines crashes a recursive regex engine.
TEST(TagMatcher, HandlesLinesOfSeveralMegabytes) {
  const std::size_t big = 5u << 20;
  TagMatch match;
  std::string open(big + 1, 'x');
  open[0] = '[';
  EXPECT_FALSE(findNextTag(open, 0, match));
  std::string tag(big + 3, 'x');
  tag[1] = '[';
  tag.back() = ']';
  tag[0] = 'a';
  ASSERT_TRUE(findNextTag(tag, 0, match));
  EXPECT_EQ(match.pos, 1u);
  EXPECT_EQ(match.length, big + 2);
  EXPECT_FALSE(findNextTag(std::string(big, '['), 0, match));

  std::string unclosed;
  std::string many;
  for (std::size_t i = 0; i < big / 4; ++i) {
    unclosed += "[a[]";
    many += "x[y]";
  }
  EXPECT_TRUE(matcherTags(unclosed).empty());
  EXPECT_EQ(matcherTags(many).size(), big / 4);
}

TEST(StorageMatcher, HandlesTagsOfSeveralMegabytes) {
  const std::size_t big = 5u << 20;
  std::string_view value;
  const std::string open = "storage=\"" + std::string(big, 'v');
  EXPECT_FALSE(findStorageValue(open, value));
  const std::string spaced = "storage" + std::string(big, ' ') + "=\t\"" +
                             std::string(big, 'v') + "\"";
  ASSERT_TRUE(findStorageValue(spaced, value));
  EXPECT_EQ(value.size(), big);
  std::string repeated;
  while (repeated.size() < big) repeated += "storage ";
  EXPECT_FALSE(findStorageValue(repeated, value));
  const std::string ended = repeated + "storage=\"end\"";
  ASSERT_TRUE(findStorageValue(ended, value));
  EXPECT_EQ(value, "end");
}
