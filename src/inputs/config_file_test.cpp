#include "inputs/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "testing/temp_project.h"

namespace {

struct ConfigRun {
  std::vector<std::string> names;
  bool deleteUnusedFiles = false;
  bool scanAllFiles = false;
  std::wstring console;
  std::wstring log;
};

ConfigRun runReader(const std::string& configPath) {
  ConfigRun run;
  std::wostringstream log;
  {
    ConsoleCapture console;
    std::tie(run.names, run.deleteUnusedFiles, run.scanAllFiles) =
        readConfigFile(configPath, log);
    run.console = console.text();
  }
  run.log = log.str();
  return run;
}

ConfigRun readConfig(const std::string& bytes) {
  writeBytes("Orvandel_config.csv", bytes);
  return runReader("Orvandel_config.csv");
}

std::size_t countOf(const std::wstring& text, const std::wstring& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::wstring::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

const std::wstring deleteFlagLine =
    L"[INFO] #delete=true フラグを検出しました。未使用のBGMおよびSEファイルを削除します。\n";
const std::wstring scanAllFlagLine =
    L"[INFO] #Allfiles=true フラグを検出しました。scenarioフォルダ内の全*.ksファイルをスキャンします。\n";
const std::wstring notFoundLine =
    L"設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n";

using Names = std::vector<std::string>;

class ConfigFile : public testing::Test {
  TempProject project_;
};

}  // namespace

TEST_F(ConfigFile, MissingFileMeansScanAll) {
  const ConfigRun run = runReader("Orvandel_config.csv");
  EXPECT_EQ(run.names, Names{});
  EXPECT_FALSE(run.deleteUnusedFiles);
  EXPECT_TRUE(run.scanAllFiles);
  EXPECT_EQ(run.console, notFoundLine);
  EXPECT_EQ(run.log,
            L"[INFO] 設定ファイルを開けませんでした: Orvandel_config.csv\n");
}

// libstdc++ opens a folder for reading and then reads nothing; that must not
// pass for an empty configuration (which would turn scan-all off).
TEST_F(ConfigFile, FolderInPlaceOfTheFileDoesNotOpen) {
  std::filesystem::create_directory("Orvandel_config.csv");
  const ConfigRun run = runReader("Orvandel_config.csv");
  EXPECT_EQ(run.names, Names{});
  EXPECT_FALSE(run.deleteUnusedFiles);
  EXPECT_TRUE(run.scanAllFiles);
  EXPECT_EQ(run.console, notFoundLine);
}

TEST_F(ConfigFile, EmptyFileGivesNoNamesAndNoFlags) {
  for (const std::string bytes : {"", "\n", "# only a comment\n\n#\n"}) {
    SCOPED_TRACE(bytes);
    const ConfigRun run = readConfig(bytes);
    EXPECT_EQ(run.names, Names{});
    EXPECT_FALSE(run.deleteUnusedFiles);
    EXPECT_FALSE(run.scanAllFiles);
    EXPECT_NE(run.console.find(L"読み込んだファイル数: 0\n"), std::wstring::npos);
  }
}

TEST_F(ConfigFile, WritesEveryConsoleAndLogLine) {
  const ConfigRun run =
      readConfig("#delete=true,#Allfiles=true\r\nfirst.ks, second_long_name.ks\n");
  EXPECT_EQ(run.names, (Names{"first.ks", "second_long_name.ks"}));
  EXPECT_EQ(run.console,
            L"設定ファイルを開きました: Orvandel_config.csv\n"
            L"読み込んだ項目: #delete=true,#Allfiles=true\n"
            L"読み込んだ項目: first.ks, second_long_name.ks\n"
            L"追加したファイル: first.ks\n"
            L"追加したファイル: second_long_name.ks\n"
            L"読み込んだファイル数: 2\n");
  EXPECT_EQ(run.log,
            L"[DEBUG] 設定ファイルを開きました: Orvandel_config.csv\n"
            L"[DEBUG] 読み込んだ項目: #delete=true,#Allfil...\n" +
                deleteFlagLine + scanAllFlagLine +
                L"[DEBUG] 読み込んだ項目: first.ks, second_lon...\n"
                L"[DEBUG] 追加したファイル: first.ks\n"
                L"[DEBUG] 追加したファイル: second_long_name.ks\n"
                L"[INFO] 設定ファイル処理完了。読み込んだファイル数: 2\n"
                L"[INFO] 未使用ファイル削除フラグ: 有効\n"
                L"[INFO] 全ファイルスキャンフラグ: 有効\n");
}

// How line 1 gives the two flags: anywhere on a comment line, in fixed
// fields on any other line, and never on a later line.
TEST_F(ConfigFile, FirstLineFlags) {
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::string bytes;
    Names names;
    bool deleteUnusedFiles;
    bool scanAllFiles;
  };
  const Case cases[] = {
      // Comment line 1.
      {"#delete=true,#Allfiles=true\n", {}, true, true},
      {"#Allfiles=true\n", {}, false, true},
      {"#delete\n", {}, true, false},
      {"#Allfiles=true #delete\n", {}, true, true},
      {"# settings: #delete=true; a.ks\n", {}, true, false},
      {"#delete,#Allfiles=true\n", {}, true, true},
      {"#x #delete\tnow\n", {}, true, false},
      {"#delete\r\n", {}, true, false},
      {"#delete\r", {}, true, false},
      {"#delete=false\n", {}, false, false},
      {"#delete=no,#Allfiles=true\n", {}, false, true},
      {"#deleted\n", {}, false, false},
      {"#Delete=true,#allfiles=true\n", {}, false, false},
      {"#Allfiles=truely\n", {}, false, true},
      // Field line 1.
      {" #delete=true, #Allfiles=true\n", {}, true, true},
      {"\t#delete ,\t#Allfiles=true\t\n", {}, true, true},
      {" #delete=false, #Allfiles=true\n", {}, false, true},
      {" #Allfiles=true\n", {}, false, false},
      {" #deleted\n", {}, false, false},
      {"a.ks,#Allfiles=true\n", {"a.ks"}, false, true},
      {",#Allfiles=true\n", {}, false, true},
      {"a.ks,#delete=true\n", {"a.ks"}, false, false},
      {"a.ks,b.ks,#Allfiles=true\n", {"a.ks", "b.ks"}, false, false},
      // A byte-order mark before line 1 is skipped; any other one is text.
      {bom + "#delete=true,#Allfiles=true\n", {}, true, true},
      {bom + "a.ks,#Allfiles=true\n", {"a.ks"}, false, true},
      {bom + bom + "a.ks\n", {bom + "a.ks"}, false, false},
      // Flags after line 1.
      {"\n#delete=true,#Allfiles=true\n", {}, false, false},
      {"# plain comment\n#delete=true\n", {}, false, false},
      {"a.ks\n #delete=true, #Allfiles=true\n", {"a.ks"}, false, false},
      {"# one\n# two\n#delete=true,#Allfiles=true\n", {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const ConfigRun run = readConfig(c.bytes);
    EXPECT_EQ(run.names, c.names);
    EXPECT_EQ(run.deleteUnusedFiles, c.deleteUnusedFiles);
    EXPECT_EQ(run.scanAllFiles, c.scanAllFiles);
    EXPECT_EQ(countOf(run.log, deleteFlagLine), c.deleteUnusedFiles ? 1u : 0u);
    EXPECT_EQ(countOf(run.log, scanAllFlagLine), c.scanAllFiles ? 1u : 0u);
  }
}

// Fields are split at every comma with no quoting and trimmed of blanks and
// tabs only; a name is any field holding ".ks" in lower case.
TEST_F(ConfigFile, FieldsAndNames) {
  struct Case {
    std::string bytes;
    Names names;
  };
  const Case cases[] = {
      {"a.ks,  b.ks\t ,a.ks\n", {"a.ks", "b.ks", "a.ks"}},
      {"a.ks,,b.ks,\n", {"a.ks", "b.ks"}},
      {"a.ks\tb.ks\n", {"a.ks\tb.ks"}},
      {"\"a.ks\",\"b, c.ks\"\n", {"\"a.ks\"", "c.ks\""}},
      {"A.KS,x.ks.bak,x.ksh,notes.txt,.ks\n", {"x.ks.bak", "x.ksh", ".ks"}},
      {"sub/dir\\a.ks, my file.ks\n", {"sub/dir\\a.ks", "my file.ks"}},
      {"first.ks\nsecond.ks\n\n#third.ks\nfourth.ks",
       {"first.ks", "second.ks", "fourth.ks"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const ConfigRun run = readConfig(c.bytes);
    EXPECT_EQ(run.names, c.names);
    const std::wstring count =
        L"読み込んだファイル数: " + std::to_wstring(c.names.size()) + L"\n";
    EXPECT_NE(run.console.find(count), std::wstring::npos);
  }
}

// Only a CR directly before an LF belongs to the line end.
TEST_F(ConfigFile, CarriageReturns) {
  struct Case {
    std::string bytes;
    Names names;
  };
  const Case cases[] = {
      {"a.ks\r\nb.ks\r\n", {"a.ks", "b.ks"}},
      {"a.ks,b.ks\r\n", {"a.ks", "b.ks"}},
      {"a.ks\rb.ks\n", {"a.ks\rb.ks"}},
      {"a.ks\r,b.ks\n", {"a.ks\r", "b.ks"}},
      {"a.ks\r\r\n", {"a.ks\r"}},
      {"a.ks\r", {"a.ks\r"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(readConfig(c.bytes).names, c.names);
  }
}

TEST_F(ConfigFile, NameThatIsNotUtf8IsKeptAsBytes) {
  const ConfigRun run = readConfig("\x82\xA0.ks,ok.ks\n");
  EXPECT_EQ(run.names, (Names{"\x82\xA0.ks", "ok.ks"}));
  EXPECT_EQ(run.console,
            L"設定ファイルを開きました: Orvandel_config.csv\n"
            L"読み込んだ項目: \n"
            L"追加したファイル: \n"
            L"追加したファイル: ok.ks\n"
            L"読み込んだファイル数: 2\n");
  const std::wstring failure =
      L"[ERROR] string to wstring conversion error: ";
  EXPECT_EQ(run.log,
            L"[DEBUG] 設定ファイルを開きました: Orvandel_config.csv\n" +
                failure + L"config line (bad conversion)\n" + failure +
                L"line (bad conversion)\n"
                L"[DEBUG] 読み込んだ項目: \n" +
                failure + L"fileName (bad conversion)\n" + failure +
                L"fileName (bad conversion)\n"
                L"[DEBUG] 追加したファイル: \n"
                L"[DEBUG] 追加したファイル: ok.ks\n"
                L"[INFO] 設定ファイル処理完了。読み込んだファイル数: 2\n"
                L"[INFO] 未使用ファイル削除フラグ: 無効\n"
                L"[INFO] 全ファイルスキャンフラグ: 無効\n");
}

// Every line that shows the path converts it again, so each one adds its
// own failure line ahead of it.
TEST_F(ConfigFile, PathThatIsNotUtf8IsConvertedForEachLine) {
  if (onWindows) GTEST_SKIP() << "Windows names are UTF-16: no name holds such bytes";
  const std::string path = "\xFF.csv";
  const std::wstring failure =
      L"[ERROR] string to wstring conversion error: configPath (bad "
      L"conversion)\n";

  const ConfigRun missing = runReader(path);
  EXPECT_EQ(missing.log, failure + L"[INFO] 設定ファイルを開けませんでした: \n");

  writeBytes(path, "a.ks\n");
  const ConfigRun present = runReader(path);
  EXPECT_EQ(present.names, Names{"a.ks"});
  EXPECT_EQ(present.log.find(failure + failure +
                             L"[DEBUG] 設定ファイルを開きました: \n"),
            0u);
  EXPECT_EQ(countOf(present.log, failure), 2u);
  EXPECT_EQ(present.console.find(L"設定ファイルを開きました: \n"), 0u);
}

namespace {

// Gives `bytes`, then fails as a file does whose read() fails: libstdc++'s
// filebuf raises from underflow(), and std::getline turns that into badbit.
class FailingReadBuf : public std::streambuf {
 public:
  explicit FailingReadBuf(std::string bytes) : bytes_(std::move(bytes)) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("EIO"); }

 private:
  std::string bytes_;
};

}  // namespace

// Regression: a read error was taken for the end of the file, so the names
// after it were never scanned and their sounds were deleted.
TEST_F(ConfigFile, ReadErrorIsAFailureNotTheEnd) {
  for (const std::string bytes : {"", "#delete=true\na.ks\n", "#delete=true\na.ks,b."}) {
    SCOPED_TRACE(bytes);
    FailingReadBuf buf(bytes);
    std::istream in(&buf);
    std::wostringstream log;
    ConsoleCapture console;
    try {
      readConfigStream(in, "Orvandel_config.csv", log);
      ADD_FAILURE() << "no failure raised";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "read error");
    }
    EXPECT_EQ(console.text().find(L"読み込んだファイル数"), std::wstring::npos);
    EXPECT_EQ(console.text().find(L"b."), std::wstring::npos);
  }
}
