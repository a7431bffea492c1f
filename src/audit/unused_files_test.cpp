#include "audit/unused_files.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

#include "testing/temp_project.h"
#include "text/path_text.h"

namespace {

namespace fs = std::filesystem;

// `keys` of folder `dir` as the walk lists them.
std::vector<ListedFile> listed(const fs::path& dir, const std::vector<std::wstring>& keys) {
  std::vector<ListedFile> files;
  for (const std::wstring& key : keys) {
    std::error_code error;
    files.push_back({key, pathFromWide(key), platform::fileIdentity(dir / pathFromWide(key), error)});
  }
  return files;
}

AudioFolders projectFolders() {
  const fs::path root = fs::current_path();
  return {root / "sound", root / "bgm", (root / "sound").string(),
          (root / "bgm").string()};
}

}  // namespace

TEST(UnusedFiles, ListsWithoutTouchingAnythingWhenTheFlagIsOff) {
  TempProject project;
  writeBytes("sound/a.ogg", "x");
  writeBytes("sound/se/b.wav", "x");
  AuditState state;
  state.soundFiles = listed("sound", {L"a.ogg", L"se/b.wav"});
  state.usedSoundFiles = {L"a.ogg", L"missing.ogg"};
  std::wostringstream report;
  std::wostringstream log;
  ConsoleCapture console;
  writeUnusedFiles(state, projectFolders(), false, DeletionHold::none, report, log);
  EXPECT_EQ(report.str(),
            L"\n=== 音声ファイル一覧 ===\na.ogg\nse/b.wav\n"
            L"\n=== 未使用の効果音ファイル一覧 ===\n"
            L"[INFO] #delete=true フラグが設定されていないため、効果音ファイルの削除をスキップします。\n"
            L"se/b.wav\n"
            L"BGMファイルが見つかりませんでした。\n"
            L"\n=== 未使用のBGMファイル一覧 ===\n"
            L"未使用のBGMファイルはありません。\n");
  EXPECT_TRUE(console.text().empty());
  EXPECT_TRUE(fs::exists("sound/se/b.wav"));
  EXPECT_NE(log.str().find(L"[DEBUG] 未使用の効果音ファイル（削除スキップ）: se/b.wav\n"),
            std::wstring::npos);
}

TEST(UnusedFiles, DeletesOnlyRemovableFilesAndReportsEachOutcome) {
  TempProject project;
  writeBytes("bgm/gone.ogg", "x");
  writeBytes("bgm/sub/keep.ogg", "x");
  writeBytes("bgm/sub/del.mp3", "x");
  writeBytes("bgm/used.ogg", "x");
  fs::create_directory("bgm/dir.ogg");  // an empty folder, which remove() would take
  AuditState state;
  state.bgmFiles = listed("bgm", {L"sub/del.mp3", L"gone.ogg", L"dir.ogg", L"used.ogg"});
  state.usedBgmFiles = {L"used.ogg"};
  fs::remove("bgm/gone.ogg");
  std::wostringstream report;
  std::wostringstream log;
  ConsoleCapture console;
  writeUnusedFiles(state, projectFolders(), true, DeletionHold::none, report, log);

  const std::wstring text = report.str();
  const std::wstring bgmPart = text.substr(text.find(L"\n=== BGMファイル一覧 ===\n"));
  EXPECT_EQ(bgmPart.substr(0, bgmPart.find(L"[ERROR]")),
            L"\n=== BGMファイル一覧 ===\nsub/del.mp3\ngone.ogg\ndir.ogg\nused.ogg\n"
            L"\n=== 未使用のBGMファイル一覧 ===\n[削除対象のBGMファイル]\n"
            L"[削除済] sub/del.mp3\n"
            L"[WARNING] BGMファイルが見つかりません（削除スキップ）: gone.ogg\n");
  EXPECT_NE(bgmPart.find(L"[ERROR] BGMファイルの削除に失敗: dir.ogg (not the file that was listed)\n"),
            std::wstring::npos);
  EXPECT_FALSE(fs::exists("bgm/sub/del.mp3"));
  EXPECT_TRUE(fs::is_directory("bgm/sub"));  // left empty of it, and kept
  EXPECT_TRUE(fs::is_directory("bgm/dir.ogg"));
  EXPECT_TRUE(fs::exists("bgm/used.ogg"));
  EXPECT_NE(console.text().find(L"[INFO] BGMファイルを削除しました: sub/del.mp3\n"),
            std::wstring::npos);
  EXPECT_NE(log.str().find(L"[DEBUG] 使用済みBGMファイル確認: used.ogg\n"),
            std::wstring::npos);
}

TEST(UnusedFiles, NeverRemovesAKeyOutsideTheFolderOrANonAudioFile) {
  TempProject project;
  writeBytes("outside.ogg", "keep me");
  writeBytes("sound/notes.txt", "keep me");
  std::wostringstream report;
  std::wostringstream log;
  ConsoleCapture console;
  for (const wchar_t* key : {L"../outside.ogg", L"notes.txt", L"/etc/x.ogg"}) {
    deleteUnusedFile(fs::current_path() / "sound", {key, pathFromWide(key), std::nullopt}, true,
                     report, log);
  }
  const std::wstring expected =
      L"[ERROR] 効果音ファイルの削除に失敗: ../outside.ogg (outside the folder)\n"
      L"[ERROR] 効果音ファイルの削除に失敗: notes.txt (not an audio file)\n"
      L"[ERROR] 効果音ファイルの削除に失敗: /etc/x.ogg (outside the folder)\n";
  EXPECT_EQ(report.str(), expected);
  if (!onWindows) {  // Wine calls every name it refuses absent
    // A name that the system refuses has no identity, and the system says why.
    const std::wstring refused = std::wstring(300, L'n') + L".ogg";
    deleteUnusedFile(fs::current_path() / "sound", {refused, pathFromWide(refused), std::nullopt},
                     true, report, log);
    const std::wstring last = report.str().substr(expected.size());
    EXPECT_EQ(last.rfind(L"[ERROR] 効果音ファイルの削除に失敗: " + refused + L" (", 0), 0u) << last;
    EXPECT_EQ(last.find(L"listed"), std::wstring::npos) << last;
    EXPECT_GT(last.size(), refused.size() + 40) << last;
  }
  EXPECT_EQ(console.text().substr(0, expected.size()), expected);
  EXPECT_EQ(log.str().substr(0, expected.size()), expected);
  EXPECT_TRUE(fs::exists("outside.ogg"));
  EXPECT_TRUE(fs::exists("sound/notes.txt"));
}

TEST(UnusedFiles, KeepsEverythingWhileTheScanWasIncomplete) {
  TempProject project;
  writeBytes("sound/a.ogg", "x");
  writeBytes("bgm/b.ogg", "x");
  AuditState state;
  state.soundFiles = listed("sound", {L"a.ogg"});
  state.bgmFiles = listed("bgm", {L"b.ogg"});
  for (const DeletionHold hold :
       {DeletionHold::incompleteScan, DeletionHold::unscannedSubfolders}) {
    std::wostringstream report;
    std::wostringstream log;
    ConsoleCapture console;
    writeUnusedFiles(state, projectFolders(), true, hold, report, log);
    const std::wstring soundLine =
        hold == DeletionHold::incompleteScan
            ? L"[WARNING] 読み込めなかったシナリオファイルがあるため、効果音ファイルの削除を中止しました。\n"
            : L"[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks ファイルがあるため、効果音ファイルの削除を中止しました。\n";
    EXPECT_NE(report.str().find(soundLine + L"a.ogg\n"), std::wstring::npos);
    EXPECT_EQ(report.str().find(L"[削除対象"), std::wstring::npos);
    EXPECT_EQ(report.str().find(L"[INFO] #delete=true"), std::wstring::npos);
    EXPECT_NE(console.text().find(soundLine), std::wstring::npos);
    EXPECT_NE(log.str().find(L"[DEBUG] 未使用のBGMファイル（削除スキップ）: b.ogg\n"),
              std::wstring::npos);
  }
  EXPECT_TRUE(fs::exists("sound/a.ogg"));
  EXPECT_TRUE(fs::exists("bgm/b.ogg"));
}

TEST(UnusedFiles, AMissingFolderGivesOnlyItsTwoLines) {
  TempProject project;
  fs::remove("sound");
  AuditState state;
  state.soundFiles = listed("sound", {L"a.ogg"});  // taken before the folder went away
  std::wostringstream report;
  std::wostringstream log;
  writeUnusedFiles(state, projectFolders(), true, DeletionHold::none, report, log);
  EXPECT_EQ(report.str().substr(0, report.str().find(L"BGM")),
            L"\n=== 音声ファイル一覧 ===\nsound フォルダが見つかりませんでした。\n");
  EXPECT_NE(log.str().find(L"[DEBUG] 未使用の効果音ファイル検出: a.ogg\n"), std::wstring::npos);
}
