#include "inputs/scenario_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_project.h"

namespace fs = std::filesystem;

namespace {

struct Listing {
  std::vector<std::string> names;
  bool complete = false;
  std::wstring console;
  std::wstring log;
};

Listing listFolder(const std::string& path) {
  Listing listing;
  std::wostringstream log;
  {
    ConsoleCapture console;
    listing.names = getAllKsFiles(path, listing.complete, log);
    listing.console = console.text();
  }
  listing.log = log.str();
  return listing;
}

template <typename T>
std::vector<T> sorted(std::vector<T> items) {
  std::sort(items.begin(), items.end());
  return items;
}

std::vector<std::wstring> linesOf(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wistringstream in(text);
  for (std::wstring line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

using Names = std::vector<std::string>;

class ScenarioListing : public testing::Test {
  TempProject project_;
};

}  // namespace

TEST_F(ScenarioListing, TakesOnlyTopLevelFilesEndingInKs) {
  for (const char* name : {"a.ks", "b.KS", "c.ks.bak", "d.txt", ".ks",
                           "a.b.ks", "noext"}) {
    writeBytes(fs::path("scenario") / name, "x");
  }
  fs::create_directory("scenario/e.ks");
  writeBytes("scenario/sub/f.ks", "x");

  const Listing listing = listFolder("scenario");
  EXPECT_TRUE(listing.complete);
  EXPECT_EQ(sorted(listing.names), (Names{"a.b.ks", "a.ks"}));
  EXPECT_EQ(sorted(linesOf(listing.console)),
            (std::vector<std::wstring>{L"検出: a.b.ks", L"検出: a.ks"}));
  EXPECT_EQ(sorted(linesOf(listing.log)),
            (std::vector<std::wstring>{L"[DEBUG] 検出したファイル: a.b.ks",
                                       L"[DEBUG] 検出したファイル: a.ks"}));

  std::wostringstream log;
  ConsoleCapture console;
  EXPECT_EQ(sorted(getAllKsFiles("scenario", log)), (Names{"a.b.ks", "a.ks"}));
}

TEST_F(ScenarioListing, FollowsLinksToFilesButNotToFolders) {
  writeBytes("elsewhere/real.ks", "x");
  fs::create_directory("elsewhere/folder.ks");
  std::string why;
  if (!makeLink("../elsewhere/real.ks", "scenario/linked.ks", false, why) ||
      !makeLink("../elsewhere/folder.ks", "scenario/folderlink.ks", true, why) ||
      !makeLink("../elsewhere/gone.ks", "scenario/dangling.ks", false, why) ||
      !makeLink("loop", "scenario/loop", false, why)) {  // once ended the listing
    GTEST_SKIP() << why;
  }

  const Listing listing = listFolder("scenario");
  EXPECT_TRUE(listing.complete);
  EXPECT_EQ(listing.names, Names{"linked.ks"});
}

TEST_F(ScenarioListing, FolderWithoutScriptsWritesNothing) {
  writeBytes("scenario/readme.txt", "x");
  fs::create_directory("scenario/chapter1");
  const Listing listing = listFolder("scenario");
  EXPECT_TRUE(listing.complete);
  EXPECT_EQ(listing.names, Names{});
  EXPECT_EQ(listing.console, L"");
  EXPECT_EQ(listing.log, L"");
}

TEST_F(ScenarioListing, PathThatIsNoFolderEndsTheListing) {
  writeBytes("plain.ks", "x");
  for (const std::string path : {"missing", "plain.ks"}) {
    SCOPED_TRACE(path);
    const Listing listing = listFolder(path);
    EXPECT_FALSE(listing.complete);
    EXPECT_EQ(listing.names, Names{});
    const std::wstring begin =
        L"[ERROR] ディレクトリ走査エラー: " +
        std::wstring(path.begin(), path.end()) + L" (";
    EXPECT_EQ(listing.console.rfind(begin, 0), 0u) << listing.console;
    EXPECT_EQ(listing.console.substr(listing.console.size() - 2), L")\n");
    EXPECT_EQ(linesOf(listing.console).size(), 1u);
    EXPECT_EQ(listing.log, listing.console);
  }
}

// An entry whose type cannot be found out (here a link to itself) fails the
// listing where it is met: what came before stays, in order, and the result
// is marked incomplete.
TEST_F(ScenarioListing, FailureMidwayKeepsWhatWasListed) {
  for (const char* name : {"a.ks", "b.ks", "c.ks"}) {
    writeBytes(fs::path("scenario") / name, "x");
  }
  if (underWine()) GTEST_SKIP() << "Wine leaves a link that names no file out of a listing";
  std::string why;
  if (!makeLink("loop.ks", "scenario/loop.ks", false, why)) GTEST_SKIP() << why;

  const Listing listing = listFolder("scenario");
  EXPECT_FALSE(listing.complete);
  std::vector<std::wstring> expectedLog;
  for (const std::string& name : listing.names) {
    EXPECT_TRUE(name == "a.ks" || name == "b.ks" || name == "c.ks") << name;
    expectedLog.push_back(L"[DEBUG] 検出したファイル: " +
                          std::wstring(name.begin(), name.end()));
  }
  std::vector<std::wstring> logLines = linesOf(listing.log);
  ASSERT_EQ(logLines.size(), listing.names.size() + 1);
  EXPECT_EQ(logLines.back().rfind(L"[ERROR] ディレクトリ走査エラー: scenario (", 0),
            0u);
  logLines.pop_back();
  EXPECT_EQ(logLines, expectedLog);
}

// The console shows the name decoded leniently; the log goes through the
// strict conversion and shows its failure instead. The name itself keeps
// its bytes so that the scan can open the file.
TEST_F(ScenarioListing, NameThatIsNotUtf8) {
  if (onWindows) GTEST_SKIP() << "Windows names are UTF-16: no name holds such bytes";
  writeBytes(fs::path("scenario") / "\xFF.ks", "x");
  const Listing listing = listFolder("scenario");
  EXPECT_TRUE(listing.complete);
  EXPECT_EQ(listing.names, Names{"\xFF.ks"});
  EXPECT_EQ(listing.console, L"検出: \uFFFD.ks\n");
  EXPECT_EQ(listing.log,
            L"[ERROR] string to wstring conversion error: fileName (bad "
            L"conversion)\n"
            L"[DEBUG] 検出したファイル: \n");
}

TEST(HasKsFilesInSubfolders, LooksBelowTheTopLevelAndBehindFolderLinks) {
  struct Case {
    const char* name;
    std::string (*build)();  // why the case cannot be set up here, or ""
    bool expected;
  };
  const Case cases[] = {
      {"top level only", [] { writeBytes("s/a.ks", "x"); return std::string(); }, false},
      {"empty folder", [] { fs::create_directories("s"); return std::string(); }, false},
      {"script in sub-folder", [] { writeBytes("s/sub/f.ks", "x"); return std::string(); }, true},
      {"deep script", [] { writeBytes("s/a/b/c/deep.ks", "x"); return std::string(); }, true},
      {"script in another letter case", [] { writeBytes("s/sub/f.KS", "x"); return std::string(); },
       true},
      {"near misses",
       [] {
         writeBytes("s/sub/f.ks.bak", "x");
         writeBytes("s/sub/.ks", "x");
         fs::create_directories("s/sub/e.ks");
         return std::string();
       },
       false},
      {"link to an outside folder",
       [] {
         fs::create_directories("s");
         std::string why;
         makeLink("../outside", "s/linked", true, why);
         return why;
       },
       true},
      {"link to a script in a sub-folder",
       [] {
         fs::create_directories("s/sub");
         std::string why;
         makeLink("../../outside/real.ks", "s/sub/link.ks", false, why);
         return why;
       },
       true},
      {"unreadable entry in a sub-folder",
       [] {
         if (underWine()) return std::string("Wine leaves a link that names no file out of a listing");
         fs::create_directories("s/sub");
         std::string why;
         makeLink("loop.ks", "s/sub/loop.ks", false, why);
         return why;
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempProject project(false);  // anew: a folder with links in it is not
                                 // removed through the standard library
    writeBytes("outside/hidden.ks", "x");
    writeBytes("outside/real.ks", "x");
    if (const std::string why = c.build(); !why.empty()) {
      std::cout << "[ SKIPPED  ] " << c.name << ": " << why << "\n";
      continue;
    }
    ConsoleCapture console;
    EXPECT_EQ(hasKsFilesInSubfolders("s"), c.expected);
    EXPECT_EQ(console.text(), L"");
  }
}

TEST(HasKsFilesInSubfolders, WalkThatCannotStartCountsAsFound) {
  TempProject project(false);
  writeBytes("file.ks", "x");
  EXPECT_TRUE(hasKsFilesInSubfolders("missing"));
  EXPECT_TRUE(hasKsFilesInSubfolders("file.ks"));
}
