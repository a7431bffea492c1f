// The whole tool, run as a process in a temporary project folder.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "testing/temp_project.h"
#include "text/path_text.h"

namespace {

namespace fs = std::filesystem;

const std::string bom = "\xEF\xBB\xBF";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(EndToEnd, MissingScenarioFolderEndsWithOnlyTheErrorLine) {
  TempProject project(false);
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 1);
  const std::string scenario = pathToNarrow(fs::current_path() / "scenario");
  EXPECT_TRUE(contains(run.out, "scenario フォルダが見つかりません: " + scenario + "\n"));
  EXPECT_EQ(readBytes(findReport()),
            bom + "[INFO] 未使用ファイル削除フラグ: 無効\n"
                  "[INFO] 全ファイルスキャンフラグ: 有効\n"
                  "[エラー] scenario フォルダが見つかりません: " + scenario + "\n");
  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_EQ(log.rfind(bom + "[DEBUG] プログラム開始: ", 0), 0u);
  EXPECT_TRUE(contains(log, "[ERROR] scenario フォルダが見つかりません: "));
}

TEST(EndToEnd, CompleteRunWritesTheWholeReport) {
  TempProject project;
  writeBytes("scenario/a.ks",
             "\xEF\xBB\xBF[jump target=*x]\r\n"
             "日本[x y]本\n"
             "v = a[i] + [se storage=\"se\\door.ogg\"]\n"
             "[bgm storage=\"gone.mp3\"]\n");
  writeBytes("sound/se/door.ogg", "x");
  writeBytes("sound/spare.wav", "x");
  writeBytes("bgm/theme.mp3", "x");
  writeBytes("Orvandel_error_log.txt", "an earlier run");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 0);
  const std::string report = readBytes(findReport());
  const std::string head =
      bom +
      "[INFO] 未使用ファイル削除フラグ: 無効\n"
      "[INFO] 全ファイルスキャンフラグ: 有効\n"
      "a.ks (行 1): [jump target=*x]\n"
      "■a.ks (行 2): [x y]\n"
      "◆a.ks (行 3): [i]\n"
      "a.ks (行 3): [se storage=\"se\\door.ogg\"]\n"
      "[WARNING] BGMファイルが見つかりません: a.ks 行 4 (gone.mp3)\n"
      "□■a.ks (行 4): [bgm storage=\"gone.mp3\"]\n"
      "\n=== 問題のあるタグ一覧 ===\n"
      "\n[不正タグ (■)]\n"
      "■a.ks (行 2): [x y]\n"
      "■a.ks (行 4): [bgm storage=\"gone.mp3\"]\n"
      "\n[効果音/BGMファイル不存在 (□)]\n"
      "□a.ks (行 4): [bgm storage=\"gone.mp3\"]\n"
      "\n[配列アクセス (◆)]\n"
      "◆a.ks (行 3): [i]\n"
      "\n=== 音声ファイル一覧 ===\n";
  const std::string tail =
      "\n=== 未使用の効果音ファイル一覧 ===\n"
      "[INFO] #delete=true フラグが設定されていないため、効果音ファイルの削除をスキップします。\n"
      "spare.wav\n"
      "\n=== BGMファイル一覧 ===\ntheme.mp3\n"
      "\n=== 未使用のBGMファイル一覧 ===\n"
      "[INFO] #delete=true フラグが設定されていないため、BGMファイルの削除をスキップします。\n"
      "theme.mp3\n";
  // The inventory lists the files in the order the file system gives them.
  const std::string inOrder = head + "se/door.ogg\nspare.wav\n" + tail;
  const std::string reversed = head + "spare.wav\nse/door.ogg\n" + tail;
  EXPECT_TRUE(report == inOrder || report == reversed) << report;
  EXPECT_TRUE(contains(report, "\nse/door.ogg\n"));
  EXPECT_TRUE(contains(run.out, "全ての処理が完了しました: tag_report_"));
  EXPECT_TRUE(contains(run.out, "（■: 不正タグ, ◆: 配列アクセス, □: 効果音/BGMファイル不存在）\n"));
  EXPECT_TRUE(contains(run.out, "完了: a.ks (1/1)\n"));
  EXPECT_FALSE(contains(run.out, "?"));
  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_EQ(log.rfind(bom + "[DEBUG] プログラム開始: ", 0), 0u);
  EXPECT_FALSE(contains(log.substr(3), bom));
  EXPECT_TRUE(contains(log, "[DEBUG] wstring_convert の初期化完了\n"));
  EXPECT_FALSE(contains(log, "an earlier run"));
}

TEST(EndToEnd, TemporaryLogThatCannotBeCreatedStopsEverything) {
  TempProject project;
  fs::create_directory("temp_error_log.txt");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, narrowMessage("一時エラーログファイルを開けませんでした: temp_error_log.txt\n"));
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(findReport().empty());
  EXPECT_FALSE(fs::exists("Orvandel_error_log.txt"));
}

TEST(EndToEnd, ReportThatCannotBeOpenedEndsThroughTheHandler) {
  TempProject project;
  // Folders with the report's name for the next seconds: root can open any
  // file, but never a folder for writing.
  const std::time_t now = std::time(nullptr);
  for (int i = 0; i < 6; ++i) {
    fs::create_directory(reportNameAt(now + i));
  }
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            narrowMessage("エラーが発生しました。詳細は Orvandel_error_log.txt をご確認ください。\n"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  const std::size_t openError = log.find("[ERROR] ログファイルを開けませんでした: tag_report_");
  ASSERT_NE(openError, std::string::npos);
  EXPECT_NE(log.find("[ERROR] メインループで例外発生: ログファイルを開けませんでした。\n",
                     openError),
            std::string::npos);
  EXPECT_FALSE(fs::exists("temp_error_log.txt"));
}

TEST(EndToEnd, DeletesUnusedFilesButNothingOutsideTheFolder) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "#delete=true\r\nmain.ks\r\n");
  writeBytes("scenario/main.ks", "[playse storage=\"used.ogg\"]\n");
  writeBytes("sound/used.ogg", "x");
  writeBytes("sound/sub/unused.OGG", "x");
  writeBytes("outside.ogg", "precious");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(fs::exists("sound/used.ogg"));
  EXPECT_FALSE(fs::exists("sound/sub/unused.OGG"));
  EXPECT_TRUE(fs::is_directory("sound/sub"));
  EXPECT_EQ(readBytes("outside.ogg"), "precious");
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report, "[削除対象の効果音ファイル]\n"));
  EXPECT_TRUE(contains(report, "[削除済] sub/unused.OGG\n"));
  EXPECT_TRUE(contains(run.out, "[INFO] 効果音ファイルを削除しました: sub/unused.OGG\n"));
}

TEST(EndToEnd, KeepsUnusedFilesWhenAListedScriptWasNotRead) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "#delete=true\nmain.ks,absent.ks\n");
  writeBytes("scenario/main.ks", "ok [l]\n");
  writeBytes("sound/a.ogg", "x");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(fs::exists("sound/a.ogg"));
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report,
                       "[WARNING] 読み込めなかったシナリオファイルがあるため、効果音ファイルの削除を中止しました。\na.ogg\n"));
  EXPECT_TRUE(contains(run.out, "ファイルが見つかりません: absent.ks (パス: "));
  EXPECT_TRUE(contains(run.out, "完了: main.ks (1/2)\n"));
}

TEST(EndToEnd, KeepsUnusedFilesWhileSubfoldersHoldUnscannedScripts) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "#delete=true,#Allfiles=true\n");
  writeBytes("scenario/top.ks", "[l]\n");
  writeBytes("scenario/ch1/intro.ks", "[playse storage=\"a.ogg\"]\n");
  writeBytes("sound/a.ogg", "x");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(fs::exists("sound/a.ogg"));
  EXPECT_TRUE(contains(readBytes(findReport()),
                       "[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks ファイルがあるため、効果音ファイルの削除を中止しました。\na.ogg\n"));
}

TEST(EndToEnd, ReportsBytesThatAreNotUtf8AndStopsTheFileThere) {
  TempProject project;
  writeBytes("scenario/bad.ks", "[l]\nok [p] \x82\xA0 [zz]\n[never]\n");
  const RunResult run = runTool();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(contains(run.err, "[WARNING] UTF-8変換に失敗: bad.ks 行 2 (bad conversion)\n"));
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report, "bad.ks (行 2): [p]\n[WARNING] UTF-8変換に失敗: bad.ks 行 2 (bad conversion)\n"));
  EXPECT_FALSE(contains(report, "[zz]"));
  EXPECT_FALSE(contains(report, "[never]"));
  EXPECT_TRUE(contains(readBytes("Orvandel_error_log.txt"),
                       "[ERROR] UTF-8変換エラー: bad.ks 行 2 (bad conversion)\n"));
  EXPECT_TRUE(contains(run.out, "完了: bad.ks (1/1)\n"));
}

TEST(EndToEnd, SummaryOfTwoProblemTagsReadsAsDocumented) {
  TempProject project;
  writeBytes("Orvandel_config.csv", "a.ks,b.ks\n");
  writeBytes("scenario/a.ks", "\n\n[x y]\n");
  writeBytes("scenario/b.ks", "\n\n\n\n\n\n\n\nv=a[i];\n");
  ASSERT_EQ(runTool().exitCode, 0);
  const std::string report = readBytes(findReport());
  const std::size_t start = report.find("\n=== 問題のあるタグ一覧 ===\n");
  // The sound folder is empty, so its section begins without a header.
  const std::size_t end = report.find("音声ファイルが見つかりませんでした。\n");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(report.substr(start, end - start),
            "\n=== 問題のあるタグ一覧 ===\n"
            "\n[不正タグ (■)]\n"
            "■a.ks (行 3): [x y]\n"
            "\n[効果音/BGMファイル不存在 (□)]\n"
            "\n[配列アクセス (◆)]\n"
            "◆b.ks (行 9): [i]\n");
}

TEST(EndToEnd, ScanEdgeCases) {
  TempProject project;
  writeBytes("Orvandel_config.csv",
             "edge.ks, edge.ks ,empty.ks,bom.ks,absent.ks,folder.ks\n");
  writeBytes("scenario/edge.ks",
             "あ[q]\r\n"                 // after a three-byte character: not glued
             "[[n]] [] [ [open\n"        // nested: only the inner pair; empty: none
             "x[a][b]y\t[jump\tz] [jump\xE3\x80\x80z]\r\n"
             "[r]end a[i]\n");
  writeBytes("scenario/empty.ks", "");
  writeBytes("scenario/bom.ks", "\xEF\xBB\xBF");
  fs::create_directory("scenario/folder.ks");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const std::string report = readBytes(findReport());
  const std::string edgeLines =
      "■edge.ks (行 1): [q]\n"
      "■edge.ks (行 2): [n]\n"
      "◆edge.ks (行 3): [a]\n"
      "◆edge.ks (行 3): [b]\n"
      "edge.ks (行 3): [jump\tz]\n"
      "■edge.ks (行 3): [jump\xE3\x80\x80z]\n"
      "edge.ks (行 4): [r]\n"
      "■edge.ks (行 4): [i]\n";
  // The name is listed twice, so it is scanned twice.
  EXPECT_TRUE(contains(report, edgeLines + edgeLines));
  EXPECT_TRUE(contains(report, "[WARNING] ファイルが見つかりません: absent.ks (パス: "));
  EXPECT_TRUE(contains(report, "[WARNING] ファイルを開けませんでした: folder.ks\n"));
  EXPECT_TRUE(contains(run.err, "ファイルを開けませんでした: folder.ks\n"));
  EXPECT_TRUE(contains(run.out, "完了: edge.ks (2/6)\n"));
  EXPECT_TRUE(contains(run.out, "完了: empty.ks (3/6)\n"));
  EXPECT_TRUE(contains(run.out, "完了: bom.ks (4/6)\n"));
  const std::string log = readBytes("Orvandel_error_log.txt");
  EXPECT_TRUE(contains(log, "[DEBUG] BOMをスキップしました: bom.ks\n"));
  EXPECT_TRUE(contains(log, "[DEBUG] 行変換成功: edge.ks 行 1 (あ[q])\n"));
}

TEST(EndToEnd, ScansLinesOfSeveralMegabytes) {
  TempProject project;
  writeBytes("scenario/long.ks",
             "[" + std::string(4u << 20, 'x') + "\n[l]" + std::string(4u << 20, 'y') + "[p]\n");
  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0);
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report, "long.ks (行 2): [l]\nlong.ks (行 2): [p]\n"));
}

// Japanese names everywhere: the project's own folder, a script named in the
// configuration, audio files in a sub-folder, a storage value with a
// backslash; a CR LF script with a byte-order mark; deletion in a sub-folder.
// The configuration opens with a byte-order mark; its name holds a backslash.
TEST(EndToEnd, JapaneseNamesFromConfigurationToDeletion) {
  TempProject project(false);
  const fs::path folder = pathFromNarrow("プロジェクト");
  writeBytes(folder / "Orvandel_config.csv", bom + "#delete=true\r\n本編\\第一章.ks\r\n");
  writeBytes(folder / pathFromNarrow("scenario/本編/第一章.ks"),
             bom + "[playse storage=\"効果音\\扉.ogg\"]\r\n[playbgm storage=\"曲.mp3\"]\r\n");
  writeBytes(folder / pathFromNarrow("sound/効果音/扉.ogg"), "x");
  writeBytes(folder / pathFromNarrow("sound/効果音/古い.ogg"), "x");
  writeBytes(folder / pathFromNarrow("bgm/曲.mp3"), "x");
  writeBytes(folder / pathFromNarrow("bgm/昔の曲.wav"), "x");
  fs::current_path(folder);

  const RunResult run = runTool();
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::string report = readBytes(findReport());
  EXPECT_TRUE(contains(report, "[INFO] 未使用ファイル削除フラグ: 有効\n"
                               "[INFO] 全ファイルスキャンフラグ: 無効\n"
                               "本編\\第一章.ks (行 1): [playse storage=\"効果音\\扉.ogg\"]\n"
                               "本編\\第一章.ks (行 2): [playbgm storage=\"曲.mp3\"]\n"
                               "\n=== 問題のあるタグ一覧 ===\n"
                               "問題のあるタグは見つかりませんでした。\n"));
  EXPECT_TRUE(contains(report, "\n=== 未使用の効果音ファイル一覧 ===\n"
                               "[削除対象の効果音ファイル]\n[削除済] 効果音/古い.ogg\n"));
  EXPECT_TRUE(contains(report, "\n=== 未使用のBGMファイル一覧 ===\n"
                               "[削除対象のBGMファイル]\n[削除済] 昔の曲.wav\n"));
  EXPECT_TRUE(contains(run.out, "ファイルを確認: 本編\\第一章.ks (パス: " +
                                    pathToNarrow(fs::current_path() / "scenario" /
                                                 pathFromNarrow("本編") /
                                                 pathFromNarrow("第一章.ks")) +
                                    ")\n"));
  EXPECT_TRUE(fs::exists(pathFromNarrow("sound/効果音/扉.ogg")));
  EXPECT_FALSE(fs::exists(pathFromNarrow("sound/効果音/古い.ogg")));
  EXPECT_TRUE(fs::is_directory(pathFromNarrow("sound/効果音")));
  EXPECT_TRUE(fs::exists(pathFromNarrow("bgm/曲.mp3")));
  EXPECT_FALSE(fs::exists(pathFromNarrow("bgm/昔の曲.wav")));
  EXPECT_EQ(run.err, "");
}
