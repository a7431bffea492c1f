// The tool run as a process in a temporary project folder: its ends, the
// report and log of a complete run, the scan's edge cases and the deletion
// of unused files, checked on the console, in the files and on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_project.h"
#include "text/path_text.h"

namespace {

namespace fs = std::filesystem;

const std::string bom = "\xEF\xBB\xBF";
const std::string noFlags =
    "[INFO] 未使用ファイル削除フラグ: 無効\n[INFO] 全ファイルスキャンフラグ: 無効\n";
const std::string completionLegend =
    " に出力しました（■: 不正タグ, ◆: 配列アクセス, □: 効果音/BGMファイル不存在）\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The narrow form of `relative` under the working folder, as the tool
// writes it.
std::string inCwd(const fs::path& relative) {
  return pathToNarrow(fs::current_path() / relative);
}


// The text of `text` from the end of `start` up to `end`; empty (and a
// failure) when either is missing.
std::string between(const std::string& text, const std::string& start,
                    const std::string& end) {
  const std::size_t from = text.find(start);
  const std::size_t to =
      from == std::string::npos ? from : text.find(end, from + start.size());
  if (to == std::string::npos) {
    ADD_FAILURE() << "no text between \"" << start << "\" and \"" << end << "\" in\n"
                  << text;
    return {};
  }
  return text.substr(from + start.size(), to - from - start.size());
}

// The text of `text` from `start` (included) to its end.
std::string tailFrom(const std::string& text, const std::string& start) {
  const std::size_t from = text.find(start);
  if (from == std::string::npos) {
    ADD_FAILURE() << "no \"" << start << "\" in\n" << text;
    return {};
  }
  return text.substr(from);
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The diagnostic log opens with one byte-order mark, the start line with the
// 24-character time text, and the line after it.
void expectLogOpening(const std::string& log) {
  const std::string head = bom + "[DEBUG] プログラム開始: ";
  ASSERT_GT(log.size(), head.size() + 24);
  EXPECT_EQ(log.substr(0, head.size()), head);
  const std::regex timeText(
      "(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}");
  EXPECT_TRUE(std::regex_match(log.substr(head.size(), 24), timeText))
      << log.substr(head.size(), 24);
  const std::string next = "\n[DEBUG] wstring_convert の初期化完了\n";
  EXPECT_EQ(log.substr(head.size() + 24, next.size()), next);
  EXPECT_FALSE(contains(log.substr(3), bom));
}

// Every tag_report_* entry of the working folder.
std::vector<fs::path> reportEntries() {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(".")) {
    if (entry.path().filename().string().rfind("tag_report_", 0) == 0) {
      entries.push_back(entry.path());
    }
  }
  return entries;
}

// Make `link` a symbolic link to `target`, given relative to the link's
// folder as `ln -s` takes it. Raises where this platform cannot.
// Make a link as makeLink does; raise with the reason where it cannot.
void makeTestLink(const fs::path& target, const fs::path& link, bool folder) {
  std::string why;
  if (!makeLink(target, link, folder, why)) throw std::runtime_error(why);
}

// Relative paths of all files below `root`, links included.
std::set<std::string> filesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) {
      files.insert(pathToNarrow(fs::relative(entry.path(), root)));
    }
  }
  return files;
}

// The files of the working folder after a run, its report and final log left
// out.
std::set<std::string> filesBesideTheOutputs() {
  std::set<std::string> files = filesBelow(".");
  files.erase("Orvandel_error_log.txt");
  files.erase(pathToNarrow(findReport().filename()));
  return files;
}

// Return true on Windows for a row that only POSIX can make (`posixOnly`
// says why, or is null), and note the row and the reason in `skipped`.
bool leftOutOnWindows(const char* what, const char* posixOnly, std::string& skipped) {
  if (posixOnly == nullptr || !onWindows) return false;
  skipped += std::string(what) + ": " + posixOnly + "; ";
  return true;
}

}  // namespace

TEST(RunDriver, MissingScenarioFolderEndsAfterTheInventories) {
  {
    TempProject project(false);
    writeBytes("sound/a.ogg", "x");
    const RunResult run = runTool();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "音声ファイル検出: a.ogg\n"
              "bgm フォルダが見つかりません: " + inCwd("bgm") + "\n"
              "設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n"
              "scenario フォルダが見つかりません: " + inCwd("scenario") + "\n");
    EXPECT_EQ(run.err, "");
    // No configuration file: all-files mode, so the scan-all flag is on.
    EXPECT_EQ(readBytes(findReport()),
              bom + "[INFO] 未使用ファイル削除フラグ: 無効\n"
                    "[INFO] 全ファイルスキャンフラグ: 有効\n"
                    "[エラー] scenario フォルダが見つかりません: " + inCwd("scenario") + "\n");
    EXPECT_FALSE(fs::exists("temp_error_log.txt"));
    const std::string log = readBytes("Orvandel_error_log.txt");
    expectLogOpening(log);
    EXPECT_TRUE(contains(log, "[DEBUG] 取得した音声ファイル: a.ogg\n"));
    EXPECT_TRUE(contains(log, "[DEBUG] bgm フォルダが見つかりません: " + inCwd("bgm") + "\n"));
    EXPECT_TRUE(endsWith(log, "[ERROR] scenario フォルダが見つかりません: " + inCwd("scenario") +
                                  "\n"));
  }
  {
    TempProject project(false);
    writeBytes("Orvandel_config.csv", "#delete=true,#Allfiles=true\n");
    const RunResult run = runTool();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(readBytes(findReport()),
              bom + "[INFO] 未使用ファイル削除フラグ: 有効\n"
                    "[INFO] 全ファイルスキャンフラグ: 有効\n"
                    "[エラー] scenario フォルダが見つかりません: " + inCwd("scenario") + "\n");
  }
}

TEST(RunDriver, CompleteRunWritesReportConsoleAndLog) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "a.ks\n");
  writeBytes("scenario/a.ks",
             bom + "[cm]\r\n"
                   "[playse storage=\"se\\door.ogg\"] [playse storage=\"no.ogg\"]\n"
                   "v=x[bgm storage=\"gone.mp3\"]y\n"
                   "[bgm storage=\"Theme.mp3\"]\n"
                   "日本[x y]本\n"
                   "a[i];\n"
                   "no tags here\n"
                   "[s]");  // a last line without a line end
  writeBytes("sound/se/door.ogg", "x");
  writeBytes("bgm/theme.mp3", "x");
  writeBytes("Orvandel_error_log.txt", "an earlier run");
  writeBytes("temp_error_log.txt", "left over");

  const std::string earliest = reportNameAt(std::time(nullptr));
  const RunResult run = runTool();
  const std::string latest = reportNameAt(std::time(nullptr));
  ASSERT_EQ(run.exitCode, 0);

  const fs::path reportPath = findReport();
  const std::string name = reportPath.filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex("tag_report_[0-9]{8}_[0-9]{6}\\.txt")));
  EXPECT_LE(earliest, name);
  EXPECT_GE(latest, name);
  EXPECT_EQ(readBytes(reportPath),
            bom + noFlags +
                "a.ks (行 1): [cm]\n"
                "a.ks (行 2): [playse storage=\"se\\door.ogg\"]\n"
                "[WARNING] 効果音ファイルが見つかりません: a.ks 行 2 (no.ogg)\n"
                "□a.ks (行 2): [playse storage=\"no.ogg\"]\n"
                "[WARNING] BGMファイルが見つかりません: a.ks 行 3 (gone.mp3)\n"
                "□◆a.ks (行 3): [bgm storage=\"gone.mp3\"]\n"
                "[WARNING] BGMファイルが見つかりません: a.ks 行 4 (Theme.mp3)\n"
                "□■a.ks (行 4): [bgm storage=\"Theme.mp3\"]\n"
                "■a.ks (行 5): [x y]\n"
                "◆a.ks (行 6): [i]\n"
                "a.ks (行 8): [s]\n"
                "\n=== 問題のあるタグ一覧 ===\n"
                "\n[不正タグ (■)]\n"
                "■a.ks (行 4): [bgm storage=\"Theme.mp3\"]\n"
                "■a.ks (行 5): [x y]\n"
                "\n[効果音/BGMファイル不存在 (□)]\n"
                "□a.ks (行 2): [playse storage=\"no.ogg\"]\n"
                "□a.ks (行 3): [bgm storage=\"gone.mp3\"]\n"
                "□a.ks (行 4): [bgm storage=\"Theme.mp3\"]\n"
                "\n[配列アクセス (◆)]\n"
                "◆a.ks (行 3): [bgm storage=\"gone.mp3\"]\n"
                "◆a.ks (行 6): [i]\n"
                "\n=== 音声ファイル一覧 ===\nse/door.ogg\n"
                "\n=== 未使用の効果音ファイル一覧 ===\n"
                "未使用の効果音ファイルはありません。\n"
                "\n=== BGMファイル一覧 ===\ntheme.mp3\n"
                "\n=== 未使用のBGMファイル一覧 ===\n"
                "[INFO] #delete=true フラグが設定されていないため、BGMファイルの削除をスキップします。\n"
                "theme.mp3\n");

  // The whole console, Japanese text as UTF-8 bytes.
  EXPECT_EQ(run.out,
            "音声ファイル検出: se/door.ogg\n"
            "BGMファイル検出: theme.mp3\n"
            "設定ファイルを開きました: " + inCwd("Orvandel_config.csv") + "\n"
            "読み込んだ項目: a.ks\n"
            "追加したファイル: a.ks\n"
            "読み込んだファイル数: 1\n"
            "指定された *.ks ファイルを処理します: 1 ファイル\n"
            "ファイルを確認: a.ks (パス: " + inCwd(fs::path("scenario") / "a.ks") + ")\n"
            "処理中: a.ks ...\n"
            "[WARNING] 効果音ファイルが見つかりません: a.ks 行 2 (no.ogg)\n"
            "[WARNING] BGMファイルが見つかりません: a.ks 行 3 (gone.mp3)\n"
            "[WARNING] BGMファイルが見つかりません: a.ks 行 4 (Theme.mp3)\n"
            "完了: a.ks (1/1)\n"
            "全ての処理が完了しました: " + name + completionLegend);
  EXPECT_EQ(run.err, "");

  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  expectLogOpening(log);
  EXPECT_FALSE(contains(log, "an earlier run"));
  EXPECT_FALSE(contains(log, "left over"));
  EXPECT_TRUE(contains(log, "[DEBUG] ベースディレクトリ: " + pathToNarrow(fs::current_path()) + "\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] BOMをスキップしました: a.ks\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] 使用済み効果音ファイル: se/door.ogg\n"));
  // The missing file's record comes before the array access of the same tag.
  const std::string tail = " a.ks 行 3 ([bgm storage=\"gone.mp3\"])\n";
  EXPECT_TRUE(contains(log, "[DEBUG] 問題タグ収集 (□):" + tail + "[DEBUG] 配列アクセス検出:" +
                                tail + "[DEBUG] 問題タグ収集 (◆):" + tail));
  EXPECT_TRUE(contains(log, "[DEBUG] 未使用のBGMファイル（削除スキップ）: theme.mp3\n"));
  EXPECT_TRUE(endsWith(log, "[DEBUG] 全ての処理が完了しました: " + name + "\n"));
}

TEST(RunDriver, TemporaryLogThatCannotBeCreatedStopsBeforeAnythingElse) {
  TempProject project;
  fs::create_directory("temp_error_log.txt");
  writeBytes("scenario/a.ks", "[l]\n");
  writeBytes("sound/a.ogg", "x");
  writeBytes("Orvandel_error_log.txt", "an earlier run");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, narrowMessage("一時エラーログファイルを開けませんでした: temp_error_log.txt\n"));
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(reportEntries().empty());
  EXPECT_EQ(readBytes("Orvandel_error_log.txt"), "an earlier run");
  EXPECT_TRUE(fs::is_directory("temp_error_log.txt"));
  EXPECT_TRUE(fs::exists("sound/a.ogg"));
}

TEST(RunDriver, ReportThatCannotBeOpenedEndsThroughTheHandler) {
  TempProject project;
  writeBytes("scenario/a.ks", "[l]\n");
  // Folders with the report's name for the next seconds: root may open any
  // file for writing, but never a folder.
  std::set<std::string> blocked;
  const std::time_t now = std::time(nullptr);
  for (int i = 0; i < 6; ++i) {
    blocked.insert(reportNameAt(now + i));
    fs::create_directory(reportNameAt(now + i));
  }
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            narrowMessage("エラーが発生しました。詳細は Orvandel_error_log.txt をご確認ください。\n"));
  EXPECT_EQ(run.out, "");  // nothing scanned, no configuration read
  for (const fs::path& entry : reportEntries()) {
    EXPECT_TRUE(fs::is_directory(entry)) << entry;
  }
  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  expectLogOpening(log);
  const std::string opening = "[ERROR] ログファイルを開けませんでした: ";
  const std::string handler = "\n[ERROR] メインループで例外発生: ログファイルを開けませんでした。\n";
  const std::size_t at = log.find(opening);
  ASSERT_NE(at, std::string::npos) << log;
  ASSERT_TRUE(endsWith(log, handler)) << log;
  const std::size_t nameStart = at + opening.size();
  const std::string name = log.substr(nameStart, log.size() - handler.size() - nameStart);
  EXPECT_EQ(blocked.count(name), 1u) << name;
  EXPECT_FALSE(contains(log, "Orvandel_config.csv 読み込み開始"));
}

// Regression: a full disk once cut the report or the diagnostic log short in
// silence; deletion went on and the run ended with 0. A file-size limit
// stands for the full disk: the log, the biggest file, fails first, and the
// report fails only when the log fails too. Each row is sized so that the
// console output stays under the limit.
TEST(RunDriver, FilesThatCannotBeWrittenWholeHoldDeletionAndEndWithOne) {
  if (onWindows) GTEST_SKIP() << "a file-size limit is POSIX only";
  const std::string reportFailure = "[ERROR] レポートファイルの書き込みに失敗しました: ";
  const std::string logFailure =
      "[ERROR] 一時エラーログファイルの書き込みに失敗しました: temp_error_log.txt\n";
  const std::string reportHolds =
      "[WARNING] レポートファイルに書き込めなかったため、効果音ファイルの削除を中止しました。\n"
      "[WARNING] レポートファイルに書き込めなかったため、BGMファイルの削除を中止しました。\n";
  const std::string logHolds =
      "[WARNING] 一時エラーログファイルに書き込めなかったため、効果音ファイルの削除を中止しました。\n"
      "[WARNING] 一時エラーログファイルに書き込めなかったため、BGMファイルの削除を中止しました。\n";
  struct Case {
    const char* what;
    std::string script;
    int moreUnused;          // further unused sound files
    long long limit;         // 0: one byte short of the log where the lists begin
    const std::string* holds;  // nullptr: the files are deleted
    bool reportFails;
  };
  std::string tags, textLines;
  for (int i = 0; i < 600; ++i) tags += "[x]\n";
  for (int i = 0; i < 500; ++i) textLines += "just some text\n";
  const Case cases[] = {
      {"a tag line of the report fails", tags, 0, 12288, &reportHolds, true},
      {"only the report's flush before the lists fails", tags.substr(0, 4 * 300), 0,
       12288, &reportHolds, true},
      {"the log fails in the scan", textLines, 0, 12288, &logHolds, false},
      {"only the log's flush before the lists fails", "text\n", 0, 0, &logHolds, false},
      {"the log fails while files are deleted", "text\n", 60, 12288, nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks\n");
    writeBytes("scenario/main.ks", c.script);
    writeBytes("sound/old.ogg", "x");
    writeBytes("bgm/old.mp3", "x");
    for (int i = 0; i < c.moreUnused; ++i) {
      writeBytes("sound/unused_sound_" + std::to_string(i) + ".ogg", "x");
    }
    long long limit = c.limit;
    if (limit == 0) {
      // A run without the limit tells the size; the next run writes the
      // same log up to there.
      ASSERT_EQ(runTool().exitCode, 0);
      const std::size_t lists = readBytes("Orvandel_error_log.txt").find("[DEBUG] 未使用の");
      ASSERT_NE(lists, std::string::npos);
      limit = static_cast<long long>(lists) - 1;
      fs::remove(findReport());
      writeBytes("sound/old.ogg", "x");
      writeBytes("bgm/old.mp3", "x");
    }
    const RunResult run = runTool({.fileSizeLimitBytes = limit});
    EXPECT_EQ(run.exitCode, 1);
    const std::string report = readBytes(findReport());
    const std::string name = pathToNarrow(findReport().filename());
    EXPECT_EQ(run.err.rfind(reportFailure + name + "\n", 0) == 0, c.reportFails) << run.err;
    EXPECT_TRUE(endsWith(run.err, logFailure)) << run.err;
    EXPECT_EQ(contains(run.out, "全ての処理が完了しました"), !c.reportFails);
    EXPECT_EQ(fs::exists("sound/old.ogg"), c.holds != nullptr);
    EXPECT_EQ(fs::exists("bgm/old.mp3"), c.holds != nullptr);
    if (c.holds == nullptr) continue;
    EXPECT_TRUE(contains(run.out, *c.holds)) << run.out;
    if (!c.reportFails) {
      EXPECT_TRUE(contains(report, "\n=== 未使用の効果音ファイル一覧 ===\n" +
                                       c.holds->substr(0, c.holds->find('\n') + 1) +
                                       "old.ogg\n"))
          << report;
    }
  }
}

// Regression: with standard output closed, the diagnostic log took
// descriptor 1 and received the console lines. Closed standard streams are
// now held on the null device, and each file keeps only its own lines.
TEST(RunDriver, ClosedStandardStreamsKeepConsoleLinesOutOfTheFiles) {
  struct Case {
    const char* what;
    RunOptions options;
  };
  const Case cases[] = {
      {"standard output closed", {.closeStdout = true}},
      {"all three closed", {.closeStdin = true, .closeStdout = true, .closeStderr = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempProject project;
    writeBytes("Orvandel_config.csv", "a.ks,b.ks\n");
    writeBytes("scenario/a.ks", "[l]\n");
    fs::create_directory("scenario/b.ks");  // a standard error line
    const RunResult run = runTool(c.options);
    EXPECT_EQ(run.exitCode, 0);
    if (!c.options.closeStderr) {
      EXPECT_EQ(run.err, "ファイルを開けませんでした: b.ks\n");
    }
    const std::string head = bom + noFlags +
                             "a.ks (行 1): [l]\n"
                             "[WARNING] ファイルを開けませんでした: b.ks\n"
                             "\n=== 問題のあるタグ一覧 ===\n";
    EXPECT_EQ(readBytes(findReport()).substr(0, head.size()), head);
    const std::string log = readBytes("Orvandel_error_log.txt");
    expectLogOpening(log);
    std::string strayLines;
    std::istringstream lines(log.substr(bom.size()));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("[", 0) != 0) strayLines += line + "\n";
    }
    EXPECT_EQ(strayLines, "");
  }
}

// Regression: a narrow std::cerr message overtook the std::wcout lines
// written before it, which still sat in the wide console buffer.
TEST(RunDriver, NarrowErrorsFollowTheConsoleLinesWrittenBeforeThem) {
  {
    SCOPED_TRACE("the finalisation fails after the completion line");
    TempProject project;
    writeBytes("scenario/a.ks", "[l]\n");
    fs::create_directory("Orvandel_error_log.txt");
    const RunResult run = runTool({.errToOut = true});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(endsWith(run.out, completionLegend +
                                      narrowMessage("ログファイルの変換中にエラーが発生しました。"
                                                    "一時ファイルを確認してください: "
                                                    "temp_error_log.txt\n")))
        << run.out;
  }
  {
    SCOPED_TRACE("the handler after a missing folder's line");
    TempProject project(false);
    fs::create_directory("scenario");
    fs::create_directory("bgm");
    const std::time_t now = std::time(nullptr);
    for (int i = 0; i < 6; ++i) fs::create_directory(reportNameAt(now + i));
    const RunResult run = runTool({.errToOut = true});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "sound フォルダが見つかりません: " + inCwd("sound") + "\n" +
                  narrowMessage("エラーが発生しました。詳細は Orvandel_error_log.txt をご確認ください。\n"));
  }
}

// Regression: a FIFO named as a scenario file or as the configuration file
// hung the run in open(), and a scenario file linked to /dev/zero was read
// without end. What is not a regular file after following links takes the
// branch of a file that does not open, at once.
TEST(RunInputs, WhatIsNotARegularFileDoesNotOpenAndNothingBlocks) {
  if (onWindows) GTEST_SKIP() << "FIFOs and /dev/zero are POSIX only";
  struct Case {
    const char* path;    // made a FIFO, or a link to /dev/zero
    bool fifo;
    const char* config;  // the configuration file, unless `path` is it
    const char* err;     // the whole standard error
    const char* out;     // a part of standard output
    const char* report;  // a part of the report
  };
  const Case cases[] = {
      {"scenario/pipe.ks", true, "pipe.ks,a.ks\n", "ファイルを開けませんでした: pipe.ks\n",
       "完了: a.ks (1/2)\n", "[WARNING] ファイルを開けませんでした: pipe.ks\na.ks (行 1): [l]\n"},
      {"scenario/zero.ks", false, "zero.ks,a.ks\n", "ファイルを開けませんでした: zero.ks\n",
       "完了: a.ks (1/2)\n", "[WARNING] ファイルを開けませんでした: zero.ks\na.ks (行 1): [l]\n"},
      {"Orvandel_config.csv", true, nullptr, "",
       "設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n",
       "[INFO] 全ファイルスキャンフラグ: 有効\na.ks (行 1): [l]\n"},
      {"Orvandel_config.csv", false, nullptr, "",
       "設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n",
       "[INFO] 全ファイルスキャンフラグ: 有効\na.ks (行 1): [l]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.fifo ? " as a FIFO" : " linked to /dev/zero"));
    TempProject project;
    writeBytes("scenario/a.ks", "[l]\n");
    if (c.config != nullptr) writeBytes("Orvandel_config.csv", c.config);
    if (c.fifo) {
      makeFifo(c.path);
    } else {
      fs::create_symlink("/dev/zero", c.path);
    }
    const RunResult run = runTool({.timeLimitSeconds = 5});
    if (run.timedOut) {
      ADD_FAILURE() << "the run was stopped at the time limit";
      continue;
    }
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, c.err);
    EXPECT_TRUE(contains(run.out, c.out)) << run.out;
    EXPECT_TRUE(contains(readBytes(findReport()), c.report));
  }
}

// Regression: a FIFO at an output name hung the run in open(), and a device
// there took the report or a log away. Such a name fails the open at once,
// each with the failure of a file that does not open.
TEST(RunDriver, OutputNamesThatAreNotRegularFilesFailAtOnce) {
  if (onWindows) GTEST_SKIP() << "FIFOs and links to /dev/null are POSIX only";
  struct Case {
    const char* name;  // "": the report's name
    int exitCode;
    const char* err;
    const char* log;      // the log left, nullptr: none
    const char* logLine;  // a line in it
  };
  const Case cases[] = {
      {"temp_error_log.txt", 1, "一時エラーログファイルを開けませんでした: temp_error_log.txt\n",
       nullptr, nullptr},
      {"", 1, "エラーが発生しました。詳細は Orvandel_error_log.txt をご確認ください。\n",
       "Orvandel_error_log.txt", "[ERROR] ログファイルを開けませんでした: "},
      {"Orvandel_error_log.txt", 0,
       "ログファイルの変換中にエラーが発生しました。一時ファイルを確認してください: "
       "temp_error_log.txt\n",
       "temp_error_log.txt", "[DEBUG] 全ての処理が完了しました: "},
  };
  for (const Case& c : cases) {
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(std::string(*c.name ? c.name : "the report") +
                   (fifo ? " as a FIFO" : " linked to /dev/null"));
      TempProject project;
      writeBytes("scenario/a.ks", "[l]\n");
      std::vector<std::string> names{c.name};
      if (names[0].empty()) {
        names.clear();
        const std::time_t now = std::time(nullptr);
        for (int i = 0; i < 6; ++i) names.push_back(reportNameAt(now + i));
      }
      for (const std::string& name : names) {
        if (fifo) {
          makeFifo(name);
        } else {
          fs::create_symlink("/dev/null", name);
        }
      }
      const RunResult run = runTool({.timeLimitSeconds = 5});
      if (run.timedOut) {
        ADD_FAILURE() << "the run was stopped at the time limit";
        continue;
      }
      EXPECT_EQ(run.exitCode, c.exitCode);
      EXPECT_EQ(run.err, c.err);
      for (const std::string& name : names) {
        EXPECT_EQ(fs::symlink_status(name).type(),
                  fifo ? fs::file_type::fifo : fs::file_type::symlink);
      }
      for (const char* log : {"temp_error_log.txt", "Orvandel_error_log.txt"}) {
        if (log == std::string(c.name)) continue;
        const bool left = c.log != nullptr && log == std::string(c.log);
        EXPECT_EQ(fs::is_regular_file(log), left) << log;
        if (left) {
          EXPECT_TRUE(contains(readBytes(log), c.logLine)) << log;
        }
      }
    }
  }
}

TEST(RunScan, JudgesTagsByTheirBytesAndPlaces) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "edge.ks\n");
  writeBytes("scenario/edge.ks",
             "日本c[i]d\n"            // "[" at byte 7, glued to the letter before it
             "あ[q]い\r\n"            // Japanese on both sides does not glue
             "[[n]] [] [ [open\n"     // only the inner pair; no empty or open tag
             "x[a][b]y\n"             // side by side: both glued
             "[jump\tz] [jump\xE3\x80\x80z]\r\n"  // a tab ends the name, U+3000 not
             "[ r] x\n"               // empty name
             "abc[r]def\n"            // a known name is never an array access
             "end a[i]\r\n"           // the CR of CR LF is gone: "]" ends the line
             "a[j]\r\r\n"             // a lone CR stays and glues nothing, but "a" does
             "[s]");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const std::string report = readBytes(findReport());
  EXPECT_EQ(between(report, bom + noFlags, "\n=== 問題のあるタグ一覧 ===\n"),
            "◆edge.ks (行 1): [i]\n"
            "■edge.ks (行 2): [q]\n"
            "■edge.ks (行 3): [n]\n"
            "◆edge.ks (行 4): [a]\n"
            "◆edge.ks (行 4): [b]\n"
            "edge.ks (行 5): [jump\tz]\n"
            "■edge.ks (行 5): [jump\xE3\x80\x80z]\n"
            "■edge.ks (行 6): [ r]\n"
            "edge.ks (行 7): [r]\n"
            "■edge.ks (行 8): [i]\n"
            "◆edge.ks (行 9): [j]\n"
            "edge.ks (行 10): [s]\n");
  EXPECT_TRUE(contains(run.out, "完了: edge.ks (1/1)\n"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_TRUE(contains(log, "[DEBUG] BOMが見つかりませんでした: edge.ks\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] 行変換成功: edge.ks 行 2 (あ[q]い)\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] 行変換成功: edge.ks 行 9 (a[j]\r)\n"));
}

TEST(RunScan, CountsTheFilesReadAgainstTheNamesListed) {
  TempProject project;
  writeBytes("Orvandel_config.csv",
             "empty.ks,absent.ks,bom.ks\ntwice.ks,twice.ks,folder.ks\n");
  writeBytes("scenario/empty.ks", "");
  writeBytes("scenario/bom.ks", bom);
  writeBytes("scenario/twice.ks", "[l]\n");
  fs::create_directory("scenario/folder.ks");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const auto path = [](const char* name) { return inCwd(fs::path("scenario") / name); };
  EXPECT_EQ(readBytes(findReport()),
            bom + noFlags +
                "[WARNING] ファイルが見つかりません: absent.ks (パス: " + path("absent.ks") + ")\n"
                "twice.ks (行 1): [l]\n"
                "twice.ks (行 1): [l]\n"
                "[WARNING] ファイルを開けませんでした: folder.ks\n"
                "\n=== 問題のあるタグ一覧 ===\n"
                "問題のあるタグは見つかりませんでした。\n"
                "音声ファイルが見つかりませんでした。\n"
                "\n=== 未使用の効果音ファイル一覧 ===\n"
                "未使用の効果音ファイルはありません。\n"
                "BGMファイルが見つかりませんでした。\n"
                "\n=== 未使用のBGMファイル一覧 ===\n"
                "未使用のBGMファイルはありません。\n");
  const std::string scanned = between(run.out, "指定された *.ks ファイルを処理します: 6 ファイル\n",
                                      "全ての処理が完了しました: ");
  EXPECT_EQ(scanned,
            "ファイルを確認: empty.ks (パス: " + path("empty.ks") + ")\n"
            "処理中: empty.ks ...\n"
            "完了: empty.ks (1/6)\n"
            "ファイルが見つかりません: absent.ks (パス: " + path("absent.ks") + ")\n"
            "ファイルを確認: bom.ks (パス: " + path("bom.ks") + ")\n"
            "処理中: bom.ks ...\n"
            "完了: bom.ks (2/6)\n"
            "ファイルを確認: twice.ks (パス: " + path("twice.ks") + ")\n"
            "処理中: twice.ks ...\n"
            "完了: twice.ks (3/6)\n"
            "ファイルを確認: twice.ks (パス: " + path("twice.ks") + ")\n"
            "処理中: twice.ks ...\n"
            "完了: twice.ks (4/6)\n"
            "ファイルを確認: folder.ks (パス: " + path("folder.ks") + ")\n"
            "処理中: folder.ks ...\n");
  EXPECT_EQ(run.err, "ファイルを開けませんでした: folder.ks\n");
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_TRUE(contains(log, "[DEBUG] BOMをスキップしました: bom.ks\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] BOMが見つかりませんでした: empty.ks\n"));
  EXPECT_TRUE(contains(log, "[ERROR] ファイルが見つかりません: absent.ks (パス: " + path("absent.ks") +
                                ")\n"));
  EXPECT_TRUE(contains(log, "[ERROR] ファイルを開けませんでした: folder.ks\n"));
  EXPECT_FALSE(contains(log, "処理完了: folder.ks"));
  EXPECT_FALSE(contains(log, "行変換成功: bom.ks"));
}

TEST(RunScan, ReportsBytesThatAreNotUtf8AndGoesOnWithTheNextFile) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "bad.ks,start.ks,good.ks\n");
  writeBytes("scenario/bad.ks", "[l]\r\nok [p] \x82\xA0 [zz]\n[never]\n");
  writeBytes("scenario/start.ks", "[l]\n\n\xFF[x]\n");  // bad bytes open line 3
  writeBytes("scenario/good.ks", "[s]\n");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const std::string badWarning = "[WARNING] UTF-8変換に失敗: bad.ks 行 2 (bad conversion)\n";
  const std::string startWarning = "[WARNING] UTF-8変換に失敗: start.ks 行 3 (bad conversion)\n";
  EXPECT_EQ(between(readBytes(findReport()), bom + noFlags, "\n=== 問題のあるタグ一覧 ===\n"),
            "bad.ks (行 1): [l]\n"
            "bad.ks (行 2): [p]\n" + badWarning +
            "start.ks (行 1): [l]\n" + startWarning +
            "good.ks (行 1): [s]\n");
  EXPECT_EQ(run.err, badWarning + startWarning);
  EXPECT_TRUE(contains(run.out, "完了: bad.ks (1/3)\n"));
  EXPECT_TRUE(contains(run.out, "完了: start.ks (2/3)\n"));
  EXPECT_TRUE(contains(run.out, "完了: good.ks (3/3)\n"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_TRUE(contains(log, "[ERROR] UTF-8変換エラー: bad.ks 行 2 (bad conversion)\n"
                            "[DEBUG] 処理完了: bad.ks (1/3)\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] 行変換成功: bad.ks 行 2 (ok [p] )\n"));
  EXPECT_FALSE(contains(log, "行変換成功: start.ks 行 3"));
}

TEST(RunScan, ScansLinesOfSeveralMegabytes) {
  TempProject project;
  const std::string value(1u << 20, 'b');
  writeBytes("scenario/long.ks",
             std::string(4u << 20, '[') + "[k]\n" +
                 "[l]" + std::string(2u << 20, 'a') + "[playse storage=\"" + value +
                 "\"]z\n");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report, "■long.ks (行 1): [k]\nlong.ks (行 2): [l]\n"
                               "[WARNING] 効果音ファイルが見つかりません: long.ks 行 2 (" +
                                   value + ")\n□long.ks (行 2): [playse storage=\"" + value +
                                   "\"]\n"));
  EXPECT_TRUE(contains(run.out, "完了: long.ks (1/1)\n"));
}

TEST(RunDeletion, FlagOffListsUnusedFilesAndTouchesNothing) {
  TempProject project;
  writeBytes("scenario/main.ks", "[playse storage=\"used.ogg\"]\n");
  writeBytes("sound/sub/used.ogg", "x");  // named without its sub-folder: unused
  writeBytes("bgm/deep/er/theme.WAV", "x");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(tailFrom(readBytes(findReport()), "\n=== 音声ファイル一覧 ===\n"),
            "\n=== 音声ファイル一覧 ===\nsub/used.ogg\n"
            "\n=== 未使用の効果音ファイル一覧 ===\n"
            "[INFO] #delete=true フラグが設定されていないため、効果音ファイルの削除をスキップします。\n"
            "sub/used.ogg\n"
            "\n=== BGMファイル一覧 ===\ndeep/er/theme.WAV\n"
            "\n=== 未使用のBGMファイル一覧 ===\n"
            "[INFO] #delete=true フラグが設定されていないため、BGMファイルの削除をスキップします。\n"
            "deep/er/theme.WAV\n");
  EXPECT_FALSE(contains(run.out, "削除"));
  EXPECT_TRUE(fs::exists("sound/sub/used.ogg"));
  EXPECT_TRUE(fs::exists("bgm/deep/er/theme.WAV"));
}

TEST(RunDeletion, FlagOnRemovesOnlyUnusedAudioInsideTheFolder) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks\n");
  writeBytes("scenario/main.ks", "[playse storage=\"keep.ogg\"]\n");
  writeBytes("sound/keep.ogg", "x");
  writeBytes("sound/sub/deep/old.wav", "x");
  writeBytes("sound/notes.txt", "not audio");
  writeBytes("outside.ogg", "precious");
  writeBytes("bgm/old.m4a", "x");

  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_TRUE(fs::exists("sound/keep.ogg"));
  EXPECT_FALSE(fs::exists("sound/sub/deep/old.wav"));
  EXPECT_TRUE(fs::is_directory("sound/sub/deep"));  // left empty, stays
  EXPECT_EQ(readBytes("outside.ogg"), "precious");
  EXPECT_EQ(readBytes("sound/notes.txt"), "not audio");
  EXPECT_FALSE(fs::exists("bgm/old.m4a"));
  EXPECT_TRUE(fs::is_directory("bgm"));

  const std::string report = readBytes(findReport());
  EXPECT_TRUE(endsWith(report,
                       "\n=== 未使用の効果音ファイル一覧 ===\n"
                       "[削除対象の効果音ファイル]\n"
                       "[削除済] sub/deep/old.wav\n"
                       "\n=== BGMファイル一覧 ===\nold.m4a\n"
                       "\n=== 未使用のBGMファイル一覧 ===\n"
                       "[削除対象のBGMファイル]\n"
                       "[削除済] old.m4a\n"));
  for (const std::string line : {"[INFO] 効果音ファイルを削除しました: sub/deep/old.wav",
                                 "[INFO] BGMファイルを削除しました: old.m4a"}) {
    EXPECT_TRUE(contains(run.out, line + "\n")) << line;
    EXPECT_TRUE(contains(readBytes("Orvandel_error_log.txt"), line + "\n")) << line;
  }
}

TEST(RunDeletion, MissingFolderGivesOnlyItsTwoLines) {
  TempProject project(false);
  fs::create_directory("scenario");
  writeBytes("Orvandel_config.csv", "#delete=true\n");
  writeBytes("scenario/main.ks", "[l]\n");
  writeBytes("bgm/old.mp3", "x");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_EQ(tailFrom(readBytes(findReport()), "\n=== 問題のあるタグ一覧 ===\n"),
            "\n=== 問題のあるタグ一覧 ===\n"
            "問題のあるタグは見つかりませんでした。\n"
            "\n=== 音声ファイル一覧 ===\n"
            "sound フォルダが見つかりませんでした。\n"
            "\n=== BGMファイル一覧 ===\nold.mp3\n"
            "\n=== 未使用のBGMファイル一覧 ===\n"
            "[削除対象のBGMファイル]\n"
            "[削除済] old.mp3\n");
  EXPECT_TRUE(contains(run.out, "sound フォルダが見つかりません: " + inCwd("sound") + "\n"));
  EXPECT_FALSE(fs::exists("bgm/old.mp3"));
}

TEST(RunDeletion, KeepsEverythingWhenAListedScriptWasNotReadWhole) {
  struct Case {
    const char* what;
    void (*setUpSecondScript)();
  };
  const Case cases[] = {
      {"a listed file is missing", [] {}},
      {"reading stopped at bytes that are not UTF-8",
       [] { writeBytes("scenario/second.ks", "[l]\n\x80[playse storage=\"a.ogg\"]\n"); }},
      {"a listed name is a folder", [] { fs::create_directory("scenario/second.ks"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks,second.ks\n");
    writeBytes("scenario/main.ks", "[l]\n");
    c.setUpSecondScript();
    writeBytes("sound/a.ogg", "x");
    writeBytes("bgm/b.mp3", "x");
    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0);
    const std::string soundHold =
        "[WARNING] 読み込めなかったシナリオファイルがあるため、効果音ファイルの削除を中止しました。\n";
    const std::string bgmHold =
        "[WARNING] 読み込めなかったシナリオファイルがあるため、BGMファイルの削除を中止しました。\n";
    EXPECT_EQ(tailFrom(readBytes(findReport()), "\n=== 音声ファイル一覧 ===\n"),
              "\n=== 音声ファイル一覧 ===\na.ogg\n"
              "\n=== 未使用の効果音ファイル一覧 ===\n" + soundHold + "a.ogg\n"
              "\n=== BGMファイル一覧 ===\nb.mp3\n"
              "\n=== 未使用のBGMファイル一覧 ===\n" + bgmHold + "b.mp3\n");
    EXPECT_TRUE(contains(run.out, soundHold));
    EXPECT_TRUE(contains(run.out, bgmHold));
    const std::string log = readBytes("Orvandel_error_log.txt");
    EXPECT_TRUE(contains(log, soundHold + "[DEBUG] 未使用の効果音ファイル（削除スキップ）: a.ogg\n"));
    EXPECT_TRUE(contains(log, bgmHold + "[DEBUG] 未使用のBGMファイル（削除スキップ）: b.mp3\n"));
    EXPECT_TRUE(fs::exists("sound/a.ogg"));
    EXPECT_TRUE(fs::exists("bgm/b.mp3"));
  }
}

TEST(RunDeletion, AllFilesModeKeepsEverythingWhileSubfoldersHoldScripts) {
  const std::string hold =
      "[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks "
      "ファイルがあるため、効果音ファイルの削除を中止しました。\n";
  {
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true,#Allfiles=true\n");
    writeBytes("scenario/top.ks", "[l]\n");
    writeBytes("scenario/ch1/deeper/intro.ks", "[playse storage=\"a.ogg\"]\n");
    writeBytes("sound/a.ogg", "x");
    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(tailFrom(readBytes(findReport()), "\n=== 音声ファイル一覧 ===\n"),
              "\n=== 音声ファイル一覧 ===\na.ogg\n"
              "\n=== 未使用の効果音ファイル一覧 ===\n" + hold + "a.ogg\n"
              "BGMファイルが見つかりませんでした。\n"
              "\n=== 未使用のBGMファイル一覧 ===\n"
              "未使用のBGMファイルはありません。\n");
    EXPECT_TRUE(contains(run.out, hold));
    EXPECT_FALSE(contains(run.out, "intro.ks"));  // the scan itself stays flat
    EXPECT_TRUE(fs::exists("sound/a.ogg"));
  }
  {
    // Sub-folders without a file whose extension is ".ks" hold nothing back.
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true,#Allfiles=true\n");
    writeBytes("scenario/top.ks", "[l]\n");
    writeBytes("scenario/ch1/intro.ks.bak", "[playse storage=\"a.ogg\"]\n");
    writeBytes("scenario/ch1/.ks", "[playse storage=\"a.ogg\"]\n");
    writeBytes("scenario/ch1/notes.txt", "x");
    writeBytes("sound/a.ogg", "x");
    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(between(readBytes(findReport()), "\n=== 未使用の効果音ファイル一覧 ===\n",
                      "BGMファイルが見つかりませんでした。"),
              "[削除対象の効果音ファイル]\n[削除済] a.ogg\n");
    EXPECT_FALSE(fs::exists("sound/a.ogg"));
  }
}

TEST(RunDeletion, LinksAtOrBelowTheAudioFoldersHoldEveryDeletion) {
  // Each row once deleted files in use or outside the project, by a key
  // that a link made name another file.
  struct Case {
    const char* what;
    const char* posixOnly;  // why the row cannot be made on Windows, or null
    bool fileLink;          // a link to a file, which Wine shows as a plain file
    bool held;
    void (*setUp)();
  };
  const Case cases[] = {
      {"bgm is a link to sound", nullptr, false, true,
       [] {
         fs::remove_all("bgm");
         makeTestLink("sound", "bgm", true);
         writeBytes("sound/music.mp3", "x");
       }},
      {"a file a\\y.ogg beside a folder link a", "a backslash is a separator on Windows",
       false, true,
       [] {
         writeBytes(fs::path("sound") / "a\\y.ogg", "x");
         writeBytes(fs::path("outside") / "y.ogg", "precious");
         makeTestLink(fs::path("..") / "outside", fs::path("sound") / "a", true);
       }},
      {"bytes that are not UTF-8 beside a folder link named U+FFFD",
       "Windows names are UTF-16, so bytes that are not UTF-8 cannot be made", false,
       true,
       [] {
         writeBytes(fs::path("sound") / "\xFF" / "y.ogg", "x");
         writeBytes(fs::path("outside") / "y.ogg", "precious");
         makeTestLink(fs::path("..") / "outside", fs::path("sound") / "\xEF\xBF\xBD", true);
       }},
      {"a used link alias.ogg to real.ogg", nullptr, true, true,
       [] {
         writeBytes(fs::path("sound") / "real.ogg", "x");
         makeTestLink("real.ogg", fs::path("sound") / "alias.ogg", false);
       }},
      {"a dangling link", nullptr, true, true,
       [] { makeTestLink("nowhere.ogg", fs::path("sound") / "dead.ogg", false); }},
      {"a folder link inside bgm only", nullptr, false, true,
       [] {
         writeBytes(fs::path("outside") / "y.mp3", "precious");
         fs::create_directories(fs::path("bgm") / "sub");
         makeTestLink(fs::path("..") / ".." / "outside", fs::path("bgm") / "sub" / "in", true);
       }},
      {"no link at all", nullptr, false, false, [] {}},
  };
  const std::string soundHold =
      "[WARNING] sound フォルダまたは bgm フォルダにシンボリックリンクかジャンクションがあるため、"
      "効果音ファイルの削除を中止しました。\n";
  const std::string bgmHold =
      "[WARNING] sound フォルダまたは bgm フォルダにシンボリックリンクかジャンクションがあるため、"
      "BGMファイルの削除を中止しました。\n";
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (leftOutOnWindows(c.what, c.posixOnly, skipped)) continue;
    if (c.fileLink && underWine()) {
      skipped += std::string(c.what) + ": Wine shows a link to a file as a plain file; ";
      continue;
    }
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks\n");
    writeBytes("scenario/main.ks",
               "[playse storage=\"se.ogg\"]\n[playbgm storage=\"music.mp3\"]\n"
               "[playse storage=\"alias.ogg\"]\n");
    writeBytes("sound/se.ogg", "x");
    writeBytes("sound/old.ogg", "x");
    writeBytes("bgm/music.mp3", "x");
    writeBytes("bgm/old.mp3", "x");
    try {
      c.setUp();
    } catch (const std::exception& e) {
      skipped += std::string(c.what) + ": " + e.what() + "; ";
      continue;
    }
    const std::set<std::string> before = filesBelow(".");

    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string report = readBytes(findReport());
    // The link's key is its target's, so the name the scenario uses is missing.
    EXPECT_TRUE(contains(report, "□main.ks (行 3): [playse storage=\"alias.ogg\"]\n"));
    if (!c.held) {
      EXPECT_TRUE(contains(report, "[削除対象の効果音ファイル]\n[削除済] old.ogg\n"));
      EXPECT_FALSE(fs::exists("bgm/old.mp3"));
      continue;
    }
    EXPECT_EQ(filesBesideTheOutputs(), before);
    EXPECT_TRUE(contains(report, "\n=== 未使用の効果音ファイル一覧 ===\n" + soundHold));
    EXPECT_TRUE(contains(report, "\n=== 未使用のBGMファイル一覧 ===\n" + bgmHold));
    EXPECT_TRUE(contains(run.out, soundHold + bgmHold));
    const std::string log = readBytes("Orvandel_error_log.txt");
    EXPECT_TRUE(contains(log, soundHold + "[DEBUG] 未使用の効果音ファイル（削除スキップ）: "));
    EXPECT_TRUE(contains(log, bgmHold + "[DEBUG] 未使用のBGMファイル（削除スキップ）: "));
  }
  if (!skipped.empty()) GTEST_SKIP() << "rows left out: " << skipped;
}

TEST(RunDeletion, NeverRemovesAFileThatAScenarioMayUse) {
  // Each row once deleted a file that the game may load: b.ogg, named only
  // by a script that the scan did not read, or the row's own file. A hold
  // keeps every file; a refusal keeps the refused one, and old.ogg goes.
  const std::string incomplete =
      "[WARNING] 読み込めなかったシナリオファイルがあるため、効果音ファイルの削除を中止しました。\n";
  const std::string subfolders =
      "[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks "
      "ファイルがあるため、効果音ファイルの削除を中止しました。\n";
  const std::string soundFailure = "[ERROR] 効果音ファイルの削除に失敗: ";
  struct Case {
    const char* what;
    const char* posixOnly;  // why the row cannot be made on Windows, or null
    const char* config;
    const char* script;     // more lines of main.ks
    void (*setUp)();
    std::string line;       // what the report must say; empty: old.ogg alone goes
    bool held;
  };
  const std::string allFiles = "#delete=true,#Allfiles=true\n";
  const Case cases[] = {
      {"a tag in another letter case", nullptr, "#delete=true\nmain.ks\n",
       "[playse storage=\"se/door.ogg\"]\n", [] { writeBytes("sound/SE/Door.ogg", "x"); },
       soundFailure + "SE/Door.ogg (named in another letter case)\n", false},
      {"brackets in a name", nullptr, "#delete=true\nmain.ks\n", "",
       [] { writeBytes("sound/hit[1].ogg", "x"); },
       soundFailure + "hit[1].ogg (no tag can name this file)\n", false},
      {"a script B.KS beside the listed ones", nullptr, allFiles.c_str(), "",
       [] {
         writeBytes("scenario/B.KS", "[playse storage=\"b.ogg\"]\n");
         writeBytes("sound/b.ogg", "x");
       },
       incomplete, true},
      {"a dangling link chapter2.ks", "Wine leaves a link that names no file out of a listing",
       allFiles.c_str(), "", [] { makeTestLink("/nowhere/chapter2.ks", "scenario/chapter2.ks", false); },
       incomplete, true},
      {"a folder link in scenario", nullptr, allFiles.c_str(), "",
       [] {
         writeBytes("elsewhere/ch.ks", "[playse storage=\"b.ogg\"]\n");
         writeBytes("sound/b.ogg", "x");
         makeTestLink(fs::path("..") / "elsewhere", fs::path("scenario") / "more", true);
       },
       subfolders, true},
      {"a folder a. beside a", nullptr, "#delete=true\nmain.ks\n",
       "[playse storage=\"a/x.ogg\"]\n",
       [] {
         writeBytes("sound/a/x.ogg", "x");
         // Made by its verbatim name: Windows would drop the period here too.
         fs::create_directory(onWindows ? fs::path("\\\\?\\") += fs::absolute("sound") / "a."
                                        : fs::path("sound/a."));
       },
       // Windows drops the final period, so the walk lists a's files again.
       onWindows ? soundFailure + "a./x.ogg (named by a script in another form)\n" : "",
       false},
      {"a file named .\\y.ogg beside y.ogg", "a backslash is a separator on Windows",
       "#delete=true\nmain.ks\n", "[playse storage=\"y.ogg\"]\n",
       [] {
         writeBytes("sound/y.ogg", "x");
         writeBytes("sound/.\\y.ogg", "x");
       },
       soundFailure + "./y.ogg (named by a script in another form)\n", false},
      {"a hard link across sound and bgm", "hard links stand in for a bind mount on POSIX",
       "#delete=true\nmain.ks\n", "",
       [] { fs::create_hard_link("sound/used.ogg", "bgm/other.ogg"); },
       "[ERROR] BGMファイルの削除に失敗: other.ogg (another name stands for this file)\n",
       false},
      {"a top-level link to a script outside", nullptr, allFiles.c_str(), "",
       [] {
         if (underWine()) throw std::runtime_error("Wine shows a link to a file as a plain file");
         writeBytes("elsewhere/linked.ks", "[playse storage=\"b.ogg\"]\n");
         writeBytes("sound/b.ogg", "x");  // used, so kept, once the link is scanned
         makeTestLink(fs::path("..") / "elsewhere" / "linked.ks",
                      fs::path("scenario") / "linked.ks", false);
       },
       "", false},
      {"nothing in the way", nullptr, allFiles.c_str(), "", [] {}, "", false},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (leftOutOnWindows(c.what, c.posixOnly, skipped)) continue;
    TempProject project;
    writeBytes("Orvandel_config.csv", c.config);
    writeBytes("scenario/main.ks", std::string("[playse storage=\"used.ogg\"]\n") + c.script);
    writeBytes("sound/used.ogg", "x");
    writeBytes("sound/old.ogg", "x");
    try {
      c.setUp();
    } catch (const std::exception& e) {
      skipped += std::string(c.what) + ": " + e.what() + "; ";
      continue;
    }
    std::set<std::string> expected = filesBelow(".");
    if (!c.held) expected.erase(pathToNarrow(fs::path("sound") / "old.ogg"));

    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string report = readBytes(findReport());
    if (!c.line.empty()) {
      EXPECT_TRUE(contains(report, c.line)) << report;
      EXPECT_TRUE(contains(run.out, c.line));
    } else {
      EXPECT_FALSE(contains(report, "[ERROR]")) << report;
    }
    EXPECT_EQ(filesBesideTheOutputs(), expected);
  }
  if (!skipped.empty()) GTEST_SKIP() << "rows left out: " << skipped;
}

TEST(RunDeletion, KeepsEveryFileThatAScriptNamesInAnyForm) {
  // Each row's `kept` files are named only in a form that the game reads
  // and the storage check does not; they were deleted once. `gone` files
  // are near misses. sound/old.ogg and bgm/old.ogg are named by nothing and
  // go, unless the row keeps them.
  struct Case {
    const char* what;
    const char* posixOnly;  // why the row cannot be made on Windows, or null
    const char* script;
    std::vector<const char*> kept;
    std::vector<const char*> gone;
    const char* line;  // a line of the report and the console, or null
  };
  const Case cases[] = {
      {"other tags and attributes", nullptr,
       "[fadeinbgm storage=\"title.ogg\" time=2000][fadeinse storage=\"rain.ogg\"]\n"
       "[glink text=\"go\" clickse=\"click.ogg\" enterse=enter.ogg]\n"
       "  @playbgm storage=\"ending.ogg\"\n",
       {"bgm/title.ogg", "sound/rain.ogg", "sound/click.ogg", "sound/enter.ogg",
        "bgm/ending.ogg"},
       {},
       "[ERROR] BGMファイルの削除に失敗: title.ogg (named by a script in another form)\n"},
      {"other quoting", nullptr,
       "[playse storage=door.ogg][playse storage = 'bell.ogg']\n"
       "It's [playse storage='hit.ogg']\n",
       {"sound/door.ogg", "sound/bell.ogg", "sound/hit.ogg"}, {}, nullptr},
      {"no extension and format twins", nullptr,
       "[playse storage=\"chime\"][playse storage=gong][playbgm storage=\"town.ogg\"]\n",
       {"sound/chime.ogg", "sound/gong.wav", "bgm/town.ogg", "bgm/town.m4a"}, {}, nullptr},
      {"a name in a variable, and one computed", nullptr,
       "[eval exp=\"f.se='slash.ogg'\"]\n@bgm storage=&f.bgm\n", {"sound/slash.ogg", "bgm/old.ogg"},
       {}, "[WARNING] 実行時に決まる storage の値 (&) があるため、BGMファイルの削除を中止しました。\n"},
      {"a macro's parameter and its default", nullptr,
       "[macro name=knock][playse storage=%file|knock0.ogg][endmacro]\n"
       "[knock file=\"knock.ogg\"]\n",
       {"sound/knock.ogg", "sound/knock0.ogg"}, {}, nullptr},
      {"other spellings of one path", nullptr,
       "[playse storage=\"./a.ogg\"][playse storage=\"se//b.ogg\"][playse storage=\"x/../c.ogg\"]"
       "[playse storage=\"d.ogg \"][playse storage=\"e.ogg.\"][playse storage=\"se./f.ogg\"]\n",
       {"sound/a.ogg", "sound/se/b.ogg", "sound/c.ogg", "sound/d.ogg", "sound/e.ogg",
        "sound/se/f.ogg"},
       {}, nullptr},
      {"letter case beyond ASCII", nullptr,
       "[playse storage=\"ドアＡ.ogg\"][playse storage=\"Épée.ogg\"]"
       "[playbgm storage=\"Дверь.ogg\"][playbgm storage=\"ΘΕΜΑ.ogg\"]\n",
       {"sound/ドアａ.ogg", "sound/épée.ogg", "bgm/дверь.ogg", "bgm/θεμα.ogg"}, {},
       "[ERROR] 効果音ファイルの削除に失敗: ドアａ.ogg (named in another letter case)\n"},
      {"near misses", nullptr,
       "[playse storage=\"se10\"][playse storage=\"bold.ogg\"][playse storage=%file]\n"
       "[image storage=&f.picture layer=0][playbgm storage=\"town.ogg.bak\"]\n",
       {}, {"sound/se1.ogg", "bgm/town.ogg"}, nullptr},
      {"a key that does not spell the walked name", "a backslash is a separator on Windows",
       "", {"sound/.\\y.ogg"}, {"sound/y.ogg"},
       "[ERROR] 効果音ファイルの削除に失敗: ./y.ogg (not the file that was listed)\n"},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (leftOutOnWindows(c.what, c.posixOnly, skipped)) continue;
    TempProject project;
    writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks\n");
    writeBytes("scenario/main.ks", c.script);
    for (const auto* files : {&c.kept, &c.gone}) {
      for (const char* file : *files) writeBytes(pathFromNarrow(file), "x");
    }
    writeBytes("sound/old.ogg", "x");
    writeBytes("bgm/old.ogg", "x");

    const RunResult run = runTool();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string report = readBytes(findReport());
    if (c.line != nullptr) {
      EXPECT_TRUE(contains(report, c.line)) << report;
      EXPECT_TRUE(contains(run.out, c.line));
    }
    for (const char* file : c.kept) EXPECT_TRUE(fs::exists(pathFromNarrow(file))) << file;
    for (const char* file : c.gone) EXPECT_FALSE(fs::exists(pathFromNarrow(file))) << file;
    for (const char* control : {"sound/old.ogg", "bgm/old.ogg"}) {
      const bool kept = std::find_if(c.kept.begin(), c.kept.end(), [&](const char* file) {
                          return std::string(file) == control;
                        }) != c.kept.end();
      EXPECT_EQ(fs::exists(control), kept) << control;
    }
  }
  if (!skipped.empty()) GTEST_SKIP() << "rows left out: " << skipped;
}

TEST(RunSample, RunsOnTheBundledSampleProject) {
  const fs::path sample = testDataPath(ORVANDEL_SAMPLE_DIR);
  if (!fs::is_directory(sample)) GTEST_SKIP() << "no sample project at " << sample;
  TempProject project(false);
  // Entry by entry: copying a folder into an existing one fails with MinGW.
  for (const auto& entry : fs::directory_iterator(sample)) {
    fs::copy(entry.path(), entry.path().filename(), fs::copy_options::recursive);
  }
  const std::set<std::string> before = filesBelow(".");

  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  const fs::path report = findReport();
  ASSERT_FALSE(report.empty());
  const std::string text = readBytes(report);
  EXPECT_EQ(text.rfind(bom + "[INFO] 未使用ファイル削除フラグ: ", 0), 0u);
  EXPECT_TRUE(contains(text, "\n=== 問題のあるタグ一覧 ===\n"));
  EXPECT_TRUE(contains(text, "\n=== 未使用のBGMファイル一覧 ===\n"));
  EXPECT_TRUE(contains(run.out, "全ての処理が完了しました: " + report.filename().string()));
  std::size_t completed = 0;
  for (std::size_t at = run.out.find("\n完了: "); at != std::string::npos;
       at = run.out.find("\n完了: ", at + 1)) {
    ++completed;
  }
  EXPECT_GE(completed, 1u);
  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
  expectLogOpening(readBytes("Orvandel_error_log.txt"));
  // The sample keeps its unused audio: the run only adds the report and the log.
  std::set<std::string> after = filesBelow(".");
  after.erase("Orvandel_error_log.txt");
  after.erase(report.filename().string());
  if (!contains(readBytes("Orvandel_config.csv"), "#delete")) {
    EXPECT_EQ(after, before);
  }
}
