#include "audit/tag_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Judge the `n`th bracket pair of `line` (from 0) the way the scan hands it
// over: the "[" and the next "]", the name up to the first blank or tab.
bool judge(const std::string& line, int n = 0) {
  std::size_t open = line.find('[');
  for (int i = 0; i < n; ++i) open = line.find('[', open + 1);
  const std::size_t close = line.find(']', open);
  const std::string inner = line.substr(open + 1, close - open - 1);
  const std::string name = inner.substr(0, inner.find_first_of(" \t"));
  return isArrayAccess(line, open, close, name);
}

}  // namespace

TEST(KnownTags, HoldsTheVocabularyByteExactly) {
  EXPECT_EQ(knownTags.size(), 182u);
  for (const char* name : {"playse", "se", "playbgm", "back", "chara", "jump", "text",
                           "endreplay", "r", "l", "config_record_label"}) {
    EXPECT_EQ(knownTags.count(name), 1u) << name;
  }
  for (const char* name : {"bgm", "Jump", "JUMP", "jump2", "jum", " jump", "jump ",
                           "", "playSE", "se\t"}) {
    EXPECT_EQ(knownTags.count(name), 0u) << name;
  }
  for (const std::string& name : knownTags) {
    EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos)
        << name;
  }
}

TEST(ArrayAccess, NeedsTextOnBothSidesOfThePair) {
  EXPECT_FALSE(judge("[jump]abc"));  // at the start of the line
  EXPECT_FALSE(judge("[x]a"));
  EXPECT_FALSE(judge("a[i]"));       // at the end of the line
  EXPECT_FALSE(judge("x = a[i]"));
  EXPECT_TRUE(judge("a[i];"));
  EXPECT_TRUE(judge("x = a[i] + 1"));
}

TEST(ArrayAccess, OneGluedSideIsEnough) {
  struct Case {
    const char* line;
    int pair;
    bool array;
  };
  const Case cases[] = {
      {"a[1][2];", 0, true},     // letter before
      {"a[1][2];", 1, true},     // "]" before
      {"x [a][b] y", 0, true},   // "[" after
      {"x [a][b] y", 1, true},   // "]" before
      {"(a [b].c)", 0, true},    // "." after
      {" [b]_ ", 0, true},       // "_" after
      {"._[b] ", 0, true},       // "_" before
      {"9[b] ", 0, true},        // digit before
      {" [b]Z", 0, true},        // letter after
      {"a [ b] c", 0, false},    // empty name, blanks around
      {"a[ b]c", 0, true},       // empty name is not known
      {"x [[b] y", 1, false},    // "[" does not count before
      {"x [b]] y", 0, false},    // "]" does not count after
  };
  for (const Case& c : cases) {
    EXPECT_EQ(judge(c.line, c.pair), c.array) << c.line << " pair " << c.pair;
  }
}

TEST(ArrayAccess, BlanksPunctuationAndNonAsciiDoNotGlue) {
  const std::vector<std::string> around = {" ", "\t", "(", ")", "=", "-", ",", ":",
                                           "\"", "'", "!", "+", "\xE3\x81\x82",
                                           "\xC3\xA9"};
  for (const std::string& before : around) {
    for (const std::string& after : around) {
      const std::string line = "x" + before + "[name]" + after + "x";
      EXPECT_FALSE(judge(line)) << line;
    }
  }
  // Japanese text around a pair is no array access, but a letter on one
  // side still is.
  EXPECT_FALSE(judge("\xE3\x81\x82[x]\xE3\x81\x84"));
  EXPECT_TRUE(judge("\xE3\x81\x82[x]a"));
  EXPECT_TRUE(judge("a[x]\xE3\x81\x84"));
}

TEST(ArrayAccess, KnownNameIsNeverArrayAccess) {
  EXPECT_FALSE(judge("abc[r]def"));
  EXPECT_FALSE(judge("a[jump target=*x]b"));
  EXPECT_FALSE(judge("a[playse\tstorage=\"a\"]b"));
  EXPECT_TRUE(judge("abc[Jump]def"));
  EXPECT_TRUE(judge("abc[jump2]def"));
  EXPECT_TRUE(judge("abc[bgm]def"));
}
