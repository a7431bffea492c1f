#include "text/log_values.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/temp_project.h"
#include "text/utf8_stream.h"

TEST(LogValues, StringToWStringDecodesWithoutLogging) {
  std::wostringstream log;
  EXPECT_EQ(stringToWString("", log, "fileName"), L"");
  EXPECT_EQ(stringToWString("\xE3\x82\xB7\xE3\x83\x8A\xE3\x83\xAA\xE3\x82\xAA.ks", log,
                            "fileName"),
            L"\u30B7\u30CA\u30EA\u30AA.ks");
  EXPECT_EQ(log.str(), L"");
}

TEST(LogValues, StringToWStringLogsFailureAndGivesEmptyText) {
  std::wostringstream log;
  EXPECT_EQ(stringToWString("\x82\xA0", log, "fileName"), L"");
  // Nothing of a value cut off inside its last character is returned.
  EXPECT_EQ(stringToWString("abc\xE3\x81", log, "utf8line"), L"");
  EXPECT_EQ(log.str(),
            L"[ERROR] string to wstring conversion error: fileName (bad conversion)\n"
            L"[ERROR] string to wstring conversion error: utf8line (bad conversion)\n");
}

TEST(LogValues, FailureLineStandsBeforeTheLineCarryingTheValue) {
  std::wostringstream log;
  const std::wstring value = stringToWString("\xFF", log, "line");
  log << L"[DEBUG] 読み込んだ項目: " << value << L"\n";
  EXPECT_EQ(log.str(),
            L"[ERROR] string to wstring conversion error: line (bad conversion)\n"
            L"[DEBUG] 読み込んだ項目: \n");
}

TEST(LogValues, WStringToUtf8EncodesOrLogsFailure) {
  std::wostringstream log;
  EXPECT_EQ(wstringToUtf8(L"\u3042a", log, "tag"), "\xE3\x81\x82" "a");
  EXPECT_EQ(log.str(), L"");
  const std::wstring lone = L"a" + std::wstring(1, static_cast<wchar_t>(0xD800));
  EXPECT_EQ(wstringToUtf8(lone, log, "tag"), "");
  EXPECT_EQ(log.str(), L"[ERROR] UTF-8 変換エラー: tag (bad conversion)\n");
}

TEST(TruncateString, KeepsTextAtLimit) {
  const std::string twenty(20, 'a');
  EXPECT_EQ(truncateString(twenty, 20), twenty);
  EXPECT_EQ(truncateString("", 0), "");
  EXPECT_EQ(truncateString(twenty + "b", 20), twenty + "...");
  EXPECT_EQ(truncateString("ab", 0), "...");
}

TEST(TruncateString, NeverCutsInsideCharacter) {
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "\xE3\x81\x82";
  const std::string cut = truncateString(ten, 20);
  EXPECT_EQ(cut, ten.substr(0, 18) + "...");
  std::wostringstream log;
  EXPECT_EQ(stringToWString(cut, log, "line"), L"\u3042\u3042\u3042\u3042\u3042\u3042...");
  // A cut that falls on a character boundary takes nothing more off.
  EXPECT_EQ(truncateString(ten.substr(0, 18) + "x", 18), ten.substr(0, 18) + "...");
  EXPECT_EQ(truncateString("a\xF0\x9F\x98\x80", 4), "a...");
  EXPECT_EQ(truncateString("a\xF0\x9F\x98\x80", 1), "a...");
  // Continuation bytes alone are dropped to nothing.
  EXPECT_EQ(truncateString("\x80\x80\x80", 2), "...");
}

TEST(LogValues, NormalizePathKeepsBackslashes) {
  EXPECT_EQ(normalizePath(L"se\\\u52B9\u679C\u97F3.ogg"), L"se\\\u52B9\u679C\u97F3.ogg");
  EXPECT_EQ(normalizePath(L""), L"");
}

TEST(SkipBom, TakesOneLeadingMarkAndLogsWhetherItDid) {
  TempProject project(false);
  writeBytes("a.ks", "\xEF\xBB\xBF\xEF\xBB\xBF[se]\n");
  writeBytes("b.ks", "x\xEF\xBB\xBF");
  writeBytes("empty.ks", "");
  std::wostringstream log;
  Utf8LineReader reader;
  std::string line;
  ASSERT_TRUE(reader.open("a.ks"));
  skipBOM(reader, "a.ks", log);
  ASSERT_TRUE(reader.readLine(line));
  EXPECT_EQ(line, "\xEF\xBB\xBF[se]");
  ASSERT_TRUE(reader.open("b.ks"));
  skipBOM(reader, "b.ks", log);
  ASSERT_TRUE(reader.readLine(line));
  EXPECT_EQ(line, "x\xEF\xBB\xBF");
  ASSERT_TRUE(reader.open("empty.ks"));
  skipBOM(reader, "empty.ks", log);
  EXPECT_FALSE(reader.open("missing.ks"));
  skipBOM(reader, "missing.ks", log);
  EXPECT_EQ(log.str(),
            L"[DEBUG] BOMをスキップしました: a.ks\n"
            L"[DEBUG] BOMが見つかりませんでした: b.ks\n"
            L"[DEBUG] BOMが見つかりませんでした: empty.ks\n"
            L"[DEBUG] BOMが見つかりませんでした: missing.ks\n");
}

TEST(SkipBom, LogsBadNameFirst) {
  TempProject project(false);
  writeBytes("s.ks", "\xEF\xBB\xBF[se]\n");
  Utf8LineReader reader;
  ASSERT_TRUE(reader.open("s.ks"));
  std::wostringstream log;
  skipBOM(reader, "\x82\xA0.ks", log);
  std::string line;
  ASSERT_TRUE(reader.readLine(line));
  EXPECT_EQ(line, "[se]");
  EXPECT_EQ(log.str(),
            L"[ERROR] string to wstring conversion error: fileName (bad conversion)\n"
            L"[DEBUG] BOMをスキップしました: \n");
}
