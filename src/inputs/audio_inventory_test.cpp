#include "inputs/audio_inventory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_project.h"
#include "text/path_text.h"

namespace fs = std::filesystem;

namespace {

using Keys = std::vector<std::wstring>;
using Walk = Keys (*)(const std::string&, std::wostream&);

struct Inventory {
  Keys keys;
  std::wstring console;
  std::wstring log;
};

Inventory takeInventory(Walk walk, const std::string& path) {
  Inventory inventory;
  std::wostringstream log;
  {
    ConsoleCapture console;
    inventory.keys = walk(path, log);
    inventory.console = console.text();
  }
  inventory.log = log.str();
  return inventory;
}

Inventory soundInventory(const std::string& path = "sound") {
  return takeInventory(getSoundFiles, path);
}

Keys sorted(Keys keys) {
  std::sort(keys.begin(), keys.end());
  return keys;
}

std::vector<std::wstring> linesOf(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wistringstream in(text);
  for (std::wstring line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of `text` that begin with `prefix`, without it, sorted.
std::vector<std::wstring> valuesAfter(const std::wstring& text,
                                      const std::wstring& prefix) {
  std::vector<std::wstring> values;
  for (const std::wstring& line : linesOf(text)) {
    if (line.rfind(prefix, 0) == 0) values.push_back(line.substr(prefix.size()));
  }
  std::sort(values.begin(), values.end());
  return values;
}

std::wstring wide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

const std::wstring soundSkipped =
    L"[DEBUG] 音声ファイルスキップ (拡張子不一致): ";

class AudioInventory : public testing::Test {
  TempProject project_;
};

}  // namespace

TEST_F(AudioInventory, KeepsAudioFilesByLowerCasedExtension) {
  for (const char* name :
       {"Voice.OGG", "track.Mp3", "a.m4a", "b.WAV", "se/door/open.wav",
        ".ogg", "sub/.wav", "a.ogg.bak", "end.", "x.flac", "y.opus", "z.mid",
        "notes.txt", "noext"}) {
    writeBytes(fs::path("sound") / name, "x");
  }
  // Windows drops a name's final dot: "end." is made as "end".
  fs::create_directories("sound/empty/deeper");

  const Inventory inventory = soundInventory();
  const Keys expected = {L"Voice.OGG", L"a.m4a", L"b.WAV", L"se/door/open.wav",
                         L"track.Mp3"};
  EXPECT_EQ(sorted(inventory.keys), expected);
  EXPECT_EQ(valuesAfter(inventory.console, L"音声ファイル検出: "), expected);
  EXPECT_EQ(linesOf(inventory.console).size(), expected.size());
  EXPECT_EQ(valuesAfter(inventory.log, L"[DEBUG] 音声ファイル検出: "), expected);
  // Folders get no line of their own; skipped files are named without their
  // folder.
  EXPECT_EQ(valuesAfter(inventory.log, soundSkipped),
            (std::vector<std::wstring>{L".ogg", L".wav", L"a.ogg.bak",
                                       onWindows ? L"end" : L"end.", L"noext",
                                       L"notes.txt", L"x.flac", L"y.opus",
                                       L"z.mid"}));
  EXPECT_EQ(linesOf(inventory.log).size(), 1 + 5 + 9 + 1u);
  EXPECT_EQ(linesOf(inventory.log).back(),
            L"[DEBUG] sound ディレクトリ走査完了: 5 ファイル検出");
}

TEST_F(AudioInventory, TwinsDifferOnlyInTheirTexts) {
  struct Case {
    Walk walk;
    const char* folder;
    std::wstring console;
    std::wstring log;
  };
  const std::string root = fs::current_path().string();
  const Case cases[] = {
      {getSoundFiles, "sound", L"音声ファイル検出: title/main.ogg\n",
       L"[DEBUG] sound ディレクトリ走査開始（子フォルダ含む）: " + wide(root) +
           L"/sound\n"
           L"[DEBUG] 音声ファイル検出: title/main.ogg\n"
           L"[DEBUG] sound ディレクトリ走査完了: 1 ファイル検出\n"},
      {getBgmFiles, "bgm", L"BGMファイル検出: title/main.ogg\n",
       L"[DEBUG] bgm ディレクトリ走査開始（子フォルダ含む）: " + wide(root) +
           L"/bgm\n"
           L"[DEBUG] BGMファイル検出: title/main.ogg\n"
           L"[DEBUG] bgm ディレクトリ走査完了: 1 ファイル検出\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    writeBytes(fs::path(c.folder) / "title/main.ogg", "x");
    const Inventory inventory = takeInventory(c.walk, root + "/" + c.folder);
    EXPECT_EQ(inventory.keys, Keys{L"title/main.ogg"});
    EXPECT_EQ(inventory.console, c.console);
    EXPECT_EQ(inventory.log, c.log);
  }

  fs::remove_all("bgm/title");
  writeBytes("bgm/readme.txt", "x");
  const Inventory skipping = takeInventory(getBgmFiles, "bgm");
  EXPECT_EQ(skipping.keys, Keys{});
  EXPECT_EQ(skipping.console, L"");
  EXPECT_EQ(skipping.log,
            L"[DEBUG] bgm ディレクトリ走査開始（子フォルダ含む）: bgm\n"
            L"[DEBUG] BGMファイルスキップ (拡張子不一致): readme.txt\n"
            L"[DEBUG] bgm ディレクトリ走査完了: 0 ファイル検出\n");
}

TEST_F(AudioInventory, EmptyFolderCountsZero) {
  const Inventory inventory = soundInventory();
  EXPECT_EQ(inventory.keys, Keys{});
  EXPECT_EQ(inventory.console, L"");
  EXPECT_EQ(inventory.log,
            L"[DEBUG] sound ディレクトリ走査開始（子フォルダ含む）: sound\n"
            L"[DEBUG] sound ディレクトリ走査完了: 0 ファイル検出\n");
}

TEST_F(AudioInventory, PathThatIsNoFolderEndsTheWalk) {
  writeBytes("plain.ogg", "x");
  struct Case {
    Walk walk;
    std::wstring start;
    std::wstring failure;
  };
  const Case cases[] = {
      {getSoundFiles, L"[DEBUG] sound ディレクトリ走査開始（子フォルダ含む）: ",
       L"[ERROR] 音声ディレクトリ走査エラー: "},
      {getBgmFiles, L"[DEBUG] bgm ディレクトリ走査開始（子フォルダ含む）: ",
       L"[ERROR] BGMディレクトリ走査エラー: "},
  };
  for (const Case& c : cases) {
    for (const std::string path : {"missing", "plain.ogg"}) {
      SCOPED_TRACE(path);
      const Inventory inventory = takeInventory(c.walk, path);
      EXPECT_EQ(inventory.keys, Keys{});
      const std::vector<std::wstring> console = linesOf(inventory.console);
      ASSERT_EQ(console.size(), 1u);
      EXPECT_EQ(console[0].rfind(c.failure + wide(path) + L" (", 0), 0u);
      EXPECT_EQ(console[0].back(), L')');
      EXPECT_EQ(inventory.log,
                c.start + wide(path) + L"\n" + inventory.console);
    }
  }
}

// A link to itself has no type that can be found out: the walk ends there,
// keeps the keys found before it and writes no done line.
TEST_F(AudioInventory, FailureMidwayKeepsWhatWasFound) {
  for (const char* name : {"a.ogg", "b.ogg", "c.ogg"}) {
    writeBytes(fs::path("sound") / name, "x");
  }
  if (underWine()) GTEST_SKIP() << "Wine leaves a link that names no file out of a listing";
  std::string why;
  if (!makeLink("loop.ogg", "sound/loop.ogg", false, why)) GTEST_SKIP() << why;

  const Inventory inventory = soundInventory();
  for (const std::wstring& key : inventory.keys) {
    EXPECT_TRUE(key == L"a.ogg" || key == L"b.ogg" || key == L"c.ogg");
  }
  const std::vector<std::wstring> log = linesOf(inventory.log);
  ASSERT_EQ(log.size(), 1 + inventory.keys.size() + 1);
  EXPECT_EQ(log.back().rfind(L"[ERROR] 音声ディレクトリ走査エラー: sound (", 0),
            0u);
  EXPECT_EQ(inventory.log.find(L"走査完了"), std::wstring::npos);
  EXPECT_EQ(linesOf(inventory.console).back(), log.back());
}

// Names are UTF-8 text on every platform, in a project whose own folder has
// a Japanese name too; a linked folder (on Windows any reparse point) is
// never entered.
TEST_F(AudioInventory, JapaneseNamesAndLinkedFolders) {
  const fs::path sound = pathFromNarrow("プロジェクト/sound");
  writeBytes(sound / pathFromNarrow("効果音/扉.ogg"), "x");
  writeBytes("outside/inner.ogg", "x");
  std::string why;
  const bool linked = makeLink("../../outside", sound / "linked", true, why);

  const Inventory inventory = soundInventory(pathToNarrow(fs::current_path() / sound));
  EXPECT_EQ(inventory.keys, Keys{L"効果音/扉.ogg"});
  EXPECT_EQ(inventory.console, L"音声ファイル検出: 効果音/扉.ogg\n");
  if (!linked) GTEST_SKIP() << why;
  EXPECT_EQ(inventory.log.find(L"inner.ogg"), std::wstring::npos);
}

// Keys come from the resolved path, so links show where their file really
// lies, and links to folders are not entered.
TEST_F(AudioInventory, LinksAreKeyedByTheirTarget) {
  if (onWindows) GTEST_SKIP() << "the Windows standard library resolves no links";
  writeBytes("outside/ext.ogg", "x");
  writeBytes("outside/folder/inner.ogg", "x");
  writeBytes("sound/notes.txt", "x");
  writeBytes("sound/real/x.wav", "x");
  fs::create_symlink("../outside/ext.ogg", "sound/ext.ogg");
  fs::create_symlink("notes.txt", "sound/disguised.ogg");
  fs::create_symlink("real/x.wav", "sound/alias.wav");
  fs::create_directory_symlink("../outside/folder", "sound/linked");
  fs::create_symlink("gone.ogg", "sound/dangling.ogg");

  const Inventory inventory = soundInventory();
  EXPECT_EQ(sorted(inventory.keys),
            (Keys{L"../outside/ext.ogg", L"notes.txt", L"real/x.wav",
                  L"real/x.wav"}));
  EXPECT_EQ(valuesAfter(inventory.log, soundSkipped),
            std::vector<std::wstring>{L"notes.txt"});
}

// A name from another encoding stays in the inventory under a lenient key
// instead of ending the walk; the log value fails its strict conversion.
TEST_F(AudioInventory, NamesThatAreNotUtf8DoNotEndTheWalk) {
  if (onWindows) GTEST_SKIP() << "Windows names are UTF-16: no name holds such bytes";
  writeBytes(fs::path("sound") / "\xFF.ogg", "x");
  writeBytes(fs::path("sound") / "\xFE.txt", "x");

  const Inventory inventory = soundInventory();
  EXPECT_EQ(inventory.keys, Keys{L"\uFFFD.ogg"});
  EXPECT_NE(inventory.log.find(
                L"[ERROR] string to wstring conversion error: filename (bad "
                L"conversion)\n" +
                soundSkipped + L"\n"),
            std::wstring::npos);
  EXPECT_EQ(linesOf(inventory.log).back(),
            L"[DEBUG] sound ディレクトリ走査完了: 1 ファイル検出");
}

// The failure line is written twice and converts its values each time, so
// a path that is not UTF-8 adds its conversion failures once per line.
TEST_F(AudioInventory, FailureLineConvertsForEachStream) {
  if (onWindows) GTEST_SKIP() << "Windows reads such a path as U+FFFD, and the failure text converts";
  const Inventory inventory = soundInventory("\xFF-missing");
  EXPECT_EQ(inventory.console, L"[ERROR] 音声ディレクトリ走査エラー:  ()\n");
  const std::wstring failure = L"[ERROR] string to wstring conversion error: ";
  const std::wstring pathFailure = failure + L"path (bad conversion)\n";
  const std::wstring reasonFailure = failure + L"exception (bad conversion)\n";
  EXPECT_EQ(inventory.log,
            pathFailure +
                L"[DEBUG] sound ディレクトリ走査開始（子フォルダ含む）: \n" +
                pathFailure + reasonFailure + pathFailure + reasonFailure +
                L"[ERROR] 音声ディレクトリ走査エラー:  ()\n");
}
