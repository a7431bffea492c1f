#include "text/log_finalise.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "testing/temp_project.h"

namespace {

namespace fs = std::filesystem;

const std::string bom = "\xEF\xBB\xBF";
const std::string tempLog = "temp_error_log.txt";
const std::string finalLog = "Orvandel_error_log.txt";
const std::string earlierFinal = bom + "[DEBUG] 前回の実行\n";
// In the encoding of the narrow error stream.
const std::string userLine = platform::toNarrowConsole(
    "ログファイルの変換中にエラーが発生しました。一時ファイルを確認してください: "
    "temp_error_log.txt\n");

class LogFinaliseTest : public testing::Test {
 protected:
  LogFinaliseTest() : oldCerr_(std::cerr.rdbuf(cerr_.rdbuf())) {}
  ~LogFinaliseTest() override { std::cerr.rdbuf(oldCerr_); }

  void finalise(const std::string& output = finalLog) {
    convertLogToUtf8(tempLog, output, log);
  }
  std::string cerrText() const { return cerr_.str(); }

  TempProject project{false};
  std::wostringstream log;

 private:
  std::ostringstream cerr_;
  std::streambuf* oldCerr_;
};

}  // namespace

TEST_F(LogFinaliseTest, CarriesLogOverAndRemovesTemporaryLog) {
  const std::string text = bom + "[DEBUG] 処理開始: a.ks\n[ERROR] 失敗\n";
  writeBytes(tempLog, text);
  writeBytes(finalLog, earlierFinal + "and a longer tail that must go\n");
  finalise();
  EXPECT_EQ(readBytes(finalLog), text);
  EXPECT_FALSE(fs::exists(tempLog));
  EXPECT_EQ(cerrText(), "");
  EXPECT_EQ(log.str(),
            L"[DEBUG] 一時ログを UTF-8 に変換し、一時ファイルを削除しました: "
            L"temp_error_log.txt -> Orvandel_error_log.txt\n");
}

TEST_F(LogFinaliseTest, GivesExactlyOneByteOrderMark) {
  struct Case {
    std::string temp;
    std::string final;
  };
  const std::string nul("a\0b\n\0", 5);
  const Case cases[] = {
      {"", bom},                                     // zero bytes
      {"[DEBUG] x\n", bom + "[DEBUG] x\n"},          // no mark of its own
      {bom, bom},
      {bom + bom + "x", bom + bom + "x"},            // only the first is the mark
      {bom + nul, bom + nul},                        // NUL bytes are characters
  };
  for (const Case& c : cases) {
    writeBytes(tempLog, c.temp);
    finalise();
    EXPECT_EQ(readBytes(finalLog), c.final) << testing::PrintToString(c.temp);
    EXPECT_FALSE(fs::exists(tempLog));
  }
}

TEST_F(LogFinaliseTest, StreamsLogLargerThanItsChunks) {
  // The log is read in chunks of 1 MiB: one character stands across the
  // first boundary, and the log runs on over several chunks.
  std::string text = bom + std::string((1u << 20) - 5, 'a') + "\xF0\x9F\x98\x80\n";
  while (text.size() < (3u << 20)) text += "[DEBUG] 使用済み効果音ファイル: se/音.ogg\n";
  writeBytes(tempLog, text);
  finalise();
  EXPECT_TRUE(readBytes(finalLog) == text);
  EXPECT_FALSE(fs::exists(tempLog));
}

TEST_F(LogFinaliseTest, BadUtf8KeepsBothLogsAsTheyWere) {
  std::string late = bom;
  while (late.size() < (1u << 20) + 10) late += "\xE3\x81\x82";
  const std::string bad[] = {
      bom + "[DEBUG] \x82\xA0\n",          // code page 932
      bom + "cut off at the end \xE3\x81",  // sequence cut off by the end of file
      late + "\xFF",                        // bad bytes after the first chunk
      "\xEF\xBB",                           // a mark cut off
  };
  for (const std::string& temp : bad) {
    writeBytes(tempLog, temp);
    writeBytes(finalLog, earlierFinal);
    log.str(L"");
    finalise();
    EXPECT_EQ(readBytes(tempLog), temp);
    EXPECT_EQ(readBytes(finalLog), earlierFinal);
    EXPECT_EQ(log.str(), L"[ERROR] ログファイル変換エラー: bad conversion\n");
  }
  EXPECT_EQ(cerrText(), userLine + userLine + userLine + userLine);
}

TEST_F(LogFinaliseTest, MissingTemporaryLogChangesNothing) {
  writeBytes(finalLog, earlierFinal);
  finalise();
  EXPECT_EQ(readBytes(finalLog), earlierFinal);
  EXPECT_FALSE(fs::exists(tempLog));
  EXPECT_EQ(cerrText(), userLine);
  EXPECT_EQ(log.str(),
            L"[ERROR] 一時ログファイルを開けませんでした: temp_error_log.txt\n"
            L"[ERROR] ログファイル変換エラー: 一時ログファイルを開けませんでした。\n");
}

TEST_F(LogFinaliseTest, FolderAsTemporaryLogDoesNotOpen) {
  fs::create_directory(tempLog);
  finalise();
  EXPECT_TRUE(fs::is_directory(tempLog));
  EXPECT_FALSE(fs::exists(finalLog));
  EXPECT_EQ(cerrText(), userLine);
}

TEST_F(LogFinaliseTest, FinalLogThatDoesNotOpenKeepsTemporaryLog) {
  writeBytes(tempLog, bom + "x\n");
  finalise("no/such/folder/final.txt");
  EXPECT_EQ(readBytes(tempLog), bom + "x\n");
  EXPECT_EQ(cerrText(), userLine);
  EXPECT_EQ(log.str(),
            L"[ERROR] UTF-8 ログファイルを開けませんでした: no/such/folder/final.txt\n"
            L"[ERROR] ログファイル変換エラー: UTF-8 ログファイルを開けませんでした。\n");
}

TEST_F(LogFinaliseTest, FullDiskKeepsTemporaryLog) {
  if (onWindows) GTEST_SKIP() << "a file-size limit is POSIX only";
  writeBytes(tempLog, bom + "[DEBUG] x\n");
  {
    FileSizeLimit full(4);
    finalise();
  }
  EXPECT_EQ(readBytes(tempLog), bom + "[DEBUG] x\n");
  EXPECT_EQ(cerrText(), userLine);
  EXPECT_EQ(log.str(),
            L"[ERROR] ログファイル変換エラー: UTF-8 ログファイルを書き込めませんでした。\n");
}

TEST_F(LogFinaliseTest, FailedRemovalLeavesCompleteFinalLog) {
  fs::create_directory("locked");
  writeBytes("locked/temp_error_log.txt", bom + "x\n");
  fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
  const bool enforced = !std::ofstream("locked/probe");
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced (root)";
  convertLogToUtf8("locked/temp_error_log.txt", finalLog, log);
  EXPECT_EQ(readBytes(finalLog), bom + "x\n");
  EXPECT_TRUE(fs::exists("locked/temp_error_log.txt"));
  EXPECT_NE(cerrText().find("locked/temp_error_log.txt\n"), std::string::npos);
}
