#include "inputs/config_file.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "platform/platform.h"
#include "text/log_values.h"
#include "text/path_text.h"

namespace {

constexpr std::size_t logValueLength = 20;
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

std::string trimBlanks(const std::string& field) {
  const std::size_t first = field.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = field.find_last_not_of(" \t");
  return field.substr(first, last - first + 1);
}

bool isCommentLine(const std::string& line) {
  return line.empty() || line[0] == '#';
}

// On a comment line the delete flag is "#delete=true" anywhere, or a bare
// "#delete" word; "#delete=false" or "#deleted" must not turn deletion on.
bool hasDeleteFlag(const std::string& line) {
  if (line.find("#delete=true") != std::string::npos) return true;
  constexpr std::string_view bare = "#delete";
  for (std::size_t at = line.find(bare); at != std::string::npos;
       at = line.find(bare, at + 1)) {
    const std::size_t end = at + bare.size();
    if (end == line.size()) return true;
    const char next = line[end];
    if (next == ' ' || next == '\t' || next == '\r' || next == ',') {
      return true;
    }
  }
  return false;
}

bool isDeleteField(const std::string& field) {
  return field == "#delete=true" || field == "#delete";
}

void logDeleteFlag(std::wostream& log) {
  log << L"[INFO] #delete=true フラグを検出しました。未使用のBGMおよびSEファイルを削除します。\n";
}

void logScanAllFlag(std::wostream& log) {
  log << L"[INFO] #Allfiles=true フラグを検出しました。scenarioフォルダ内の全*.ksファイルをスキャンします。\n";
}

// Read one line. The file is opened in binary mode and a CR directly before
// the LF is dropped here, so CR LF reads as a line end on every platform
// while a lone CR, or one at the very end of the file, stays in the line.
bool readLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!in.eof() && !line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// Write "<prefix><value> (<reason>)" to the console and then to the log,
// converting both values anew for each of the two lines.
void reportValueFailure(const wchar_t* consolePrefix, const wchar_t* logPrefix,
                        const std::string& value, const char* context,
                        const std::exception& e, std::wostream& log) {
  {
    const std::wstring wValue = stringToWString(value, log, context);
    const std::wstring reason = stringToWString(e.what(), log, "exception");
    std::wcout << consolePrefix << wValue << L" (" << reason << L")\n";
  }
  const std::wstring wValue = stringToWString(value, log, context);
  const std::wstring reason = stringToWString(e.what(), log, "exception");
  log << logPrefix << wValue << L" (" << reason << L")\n";
}

// Echo one line to the console and the log. Return false (after reporting)
// when that failed, in which case the line is skipped.
bool echoLine(const std::string& line, std::wostream& log) {
  try {
    {
      const std::wstring shown = stringToWString(line, log, "config line");
      std::wcout << L"読み込んだ項目: " << shown << L"\n";
    }
    const std::wstring shortened =
        stringToWString(truncateString(line, logValueLength), log, "line");
    log << L"[DEBUG] 読み込んだ項目: " << shortened << L"\n";
    return true;
  } catch (const std::exception& e) {
    reportValueFailure(L"[WARNING] 行の変換エラー: ", L"[ERROR] 行の変換エラー: ",
                       truncateString(line, logValueLength), "line", e, log);
    return false;
  }
}

// Announce and append one scenario file name; a failure drops the name.
void addFileName(const std::string& fileName,
                 std::vector<std::string>& fileList, std::wostream& log) {
  try {
    {
      const std::wstring shown = stringToWString(fileName, log, "fileName");
      std::wcout << L"追加したファイル: " << shown << L"\n";
    }
    const std::wstring logged = stringToWString(fileName, log, "fileName");
    log << L"[DEBUG] 追加したファイル: " << logged << L"\n";
    fileList.push_back(fileName);
  } catch (const std::exception& e) {
    reportValueFailure(L"[WARNING] ファイル名変換エラー: ",
                       L"[ERROR] ファイル名変換エラー: ", fileName, "fileName", e,
                       log);
  }
}

const wchar_t* stateText(bool flag) { return flag ? L"有効" : L"無効"; }

}  // namespace

std::tuple<std::vector<std::string>, bool, bool> readConfigFile(
    const std::string& configPath, std::wostream& log) {
  std::ifstream configFile;
  if (!platform::openForReading(*configFile.rdbuf(),
                                pathFromNarrow(configPath),
                                std::ios_base::in | std::ios_base::binary)) {
    std::wcout << L"設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n";
    const std::wstring wPath = stringToWString(configPath, log, "configPath");
    log << L"[INFO] 設定ファイルを開けませんでした: " << wPath << L"\n";
    return {std::vector<std::string>{}, false, true};
  }
  return readConfigStream(configFile, configPath, log);
}

std::tuple<std::vector<std::string>, bool, bool> readConfigStream(
    std::istream& configFile, const std::string& configPath, std::wostream& log) {
  std::vector<std::string> fileList;
  bool deleteUnusedFiles = false;
  bool scanAllFiles = false;

  // Only the opening step is guarded here. A later failure (a read error,
  // memory exhausted while a line is read or split) leaves the function for
  // the caller's handler rather than passing for a failure to open.
  try {
    {
      const std::wstring wPath = stringToWString(configPath, log, "configPath");
      std::wcout << L"設定ファイルを開きました: " << wPath << L"\n";
    }
    const std::wstring wPath = stringToWString(configPath, log, "configPath");
    log << L"[DEBUG] 設定ファイルを開きました: " << wPath << L"\n";
  } catch (const std::exception& e) {
    {
      const std::wstring reason = stringToWString(e.what(), log, "exception");
      std::wcout << L"[WARNING] ファイルパス変換エラー: " << reason << L"\n";
    }
    const std::wstring reason = stringToWString(e.what(), log, "exception");
    log << L"[ERROR] ファイルパス変換エラー: " << reason << L"\n";
    return {std::vector<std::string>{}, false, false};
  }

  bool isFirstLine = true;
  bool atFileStart = true;
  std::string line;
  while (readLine(configFile, line)) {
    // Excel and Notepad save UTF-8 with a byte-order mark. It belongs to no
    // line, and left in line 1 it would hide the flags and the first name.
    if (atFileStart && line.starts_with(byteOrderMark)) {
      line.erase(0, byteOrderMark.size());
    }
    atFileStart = false;
    // A line whose echo failed is skipped without using up line 1.
    if (!echoLine(line, log)) continue;

    if (isCommentLine(line)) {
      if (isFirstLine) {
        if (hasDeleteFlag(line)) {
          deleteUnusedFiles = true;
          logDeleteFlag(log);
        }
        if (line.find("#Allfiles=true") != std::string::npos) {
          scanAllFiles = true;
          logScanAllFlag(log);
        }
      }
      isFirstLine = false;
      continue;
    }

    std::istringstream iss(line);
    std::string fileName;
    std::int64_t column = 0;
    while (std::getline(iss, fileName, ',')) {
      fileName = trimBlanks(fileName);
      if (isFirstLine && column == 0 && isDeleteField(fileName)) {
        deleteUnusedFiles = true;
        logDeleteFlag(log);
      } else if (isFirstLine && column == 1 && fileName == "#Allfiles=true") {
        scanAllFiles = true;
        logScanAllFlag(log);
      } else if (!fileName.empty() &&
                 fileName.find(".ks") != std::string::npos) {
        addFileName(fileName, fileList, log);
      }
      ++column;
    }
    isFirstLine = false;
  }
  // std::getline turns a failed read (a bad sector, a dropped network
  // share) into the stream's bad state, not an exception: taken for the end
  // of the file, it would cut the list short, and the scripts left out would
  // lose their sounds to deletion.
  if (configFile.bad() || !configFile.eof()) throw std::runtime_error("read error");

  std::wcout << L"読み込んだファイル数: " << fileList.size() << L"\n";
  log << L"[INFO] 設定ファイル処理完了。読み込んだファイル数: " << fileList.size()
      << L"\n";
  log << L"[INFO] 未使用ファイル削除フラグ: " << stateText(deleteUnusedFiles)
      << L"\n";
  log << L"[INFO] 全ファイルスキャンフラグ: " << stateText(scanAllFiles) << L"\n";
  return {fileList, deleteUnusedFiles, scanAllFiles};
}

std::filesystem::path configuredNamePath(const std::string& name) {
  // A project written on Windows names its sub-folder scripts with
  // backslashes. Windows separates there already and keeps its own separator
  // in the paths that messages show; elsewhere a backslash becomes "/".
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\',
               static_cast<char>(std::filesystem::path::preferred_separator));
  return pathFromNarrow(path);
}
