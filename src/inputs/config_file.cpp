#include "inputs/config_file.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/platform.h"
#include "text/log_values.h"
#include "text/path_text.h"

namespace {

std::string trimBlanks(const std::string& field) {
  const std::size_t first = field.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = field.find_last_not_of(" \t");
  return field.substr(first, last - first + 1);
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
    if (next == ' ' || next == '\t' || next == '\r' || next == ',') return true;
  }
  return false;
}

void logDeleteFlag(std::wostream& log) {
  log << L"[INFO] #delete=true フラグを検出しました。未使用のBGMおよびSEファイルを削除します。\n";
}

void logScanAllFlag(std::wostream& log) {
  log << L"[INFO] #Allfiles=true フラグを検出しました。scenarioフォルダ内の全*.ksファイルをスキャンします。\n";
}

// Read one line in text mode: a CR directly before the LF belongs to the
// line end, so a file saved with CR LF reads the same everywhere.
bool readLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!in.eof() && !line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

std::tuple<std::vector<std::string>, bool, bool> readConfigFile(
    const std::string& configPath, std::wostream& log) {
  std::vector<std::string> fileList;
  bool deleteUnusedFiles = false;
  bool scanAllFiles = false;

  std::ifstream configFile;
  if (!platform::openForReading(*configFile.rdbuf(), pathFromNarrow(configPath),
                                std::ios_base::in)) {
    std::wcout << L"設定ファイル (Orvandel_config.csv) が見つかりませんでした。全ファイルを処理します。\n";
    const std::wstring wPath = stringToWString(configPath, log, "configPath");
    log << L"[INFO] 設定ファイルを開けませんでした: " << wPath << L"\n";
    return {fileList, false, true};
  }

  try {
    {
      const std::wstring wPath = stringToWString(configPath, log, "configPath");
      std::wcout << L"設定ファイルを開きました: " << wPath << L"\n";
    }
    {
      const std::wstring wPath = stringToWString(configPath, log, "configPath");
      log << L"[DEBUG] 設定ファイルを開きました: " << wPath << L"\n";
    }

    bool isFirstLine = true;
    std::string line;
    while (readLine(configFile, line)) {
      try {
        const std::wstring shown = stringToWString(line, log, "config line");
        std::wcout << L"読み込んだ項目: " << shown << L"\n";
        const std::wstring shortened = stringToWString(truncateString(line, 20), log, "line");
        log << L"[DEBUG] 読み込んだ項目: " << shortened << L"\n";
      } catch (const std::exception& e) {
        const std::wstring value = stringToWString(truncateString(line, 20), log, "line");
        const std::wstring reason = stringToWString(e.what(), log, "exception");
        std::wcout << L"[WARNING] 行の変換エラー: " << value << L" (" << reason << L")\n";
        log << L"[ERROR] 行の変換エラー: " << value << L" (" << reason << L")\n";
        continue;
      }

      if (line.empty() || line[0] == '#') {
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
      int column = 0;
      while (std::getline(iss, fileName, ',')) {
        fileName = trimBlanks(fileName);
        if (isFirstLine && column == 0 &&
            (fileName == "#delete=true" || fileName == "#delete")) {
          deleteUnusedFiles = true;
          logDeleteFlag(log);
        } else if (isFirstLine && column == 1 && fileName == "#Allfiles=true") {
          scanAllFiles = true;
          logScanAllFlag(log);
        } else if (!fileName.empty() && fileName.find(".ks") != std::string::npos) {
          try {
            const std::wstring shown = stringToWString(fileName, log, "fileName");
            std::wcout << L"追加したファイル: " << shown << L"\n";
            const std::wstring logged = stringToWString(fileName, log, "fileName");
            log << L"[DEBUG] 追加したファイル: " << logged << L"\n";
            fileList.push_back(fileName);
          } catch (const std::exception& e) {
            const std::wstring value = stringToWString(fileName, log, "fileName");
            const std::wstring reason = stringToWString(e.what(), log, "exception");
            std::wcout << L"[WARNING] ファイル名変換エラー: " << value << L" (" << reason
                       << L")\n";
            log << L"[ERROR] ファイル名変換エラー: " << value << L" (" << reason << L")\n";
          }
        }
        ++column;
      }
      isFirstLine = false;
    }
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), log, "exception");
    std::wcout << L"[WARNING] ファイルパス変換エラー: " << reason << L"\n";
    const std::wstring again = stringToWString(e.what(), log, "exception");
    log << L"[ERROR] ファイルパス変換エラー: " << again << L"\n";
    configFile.close();
    return {std::vector<std::string>{}, false, false};
  }

  configFile.close();
  std::wcout << L"読み込んだファイル数: " << fileList.size() << L"\n";
  log << L"[INFO] 設定ファイル処理完了。読み込んだファイル数: " << fileList.size() << L"\n";
  log << L"[INFO] 未使用ファイル削除フラグ: " << (deleteUnusedFiles ? L"有効" : L"無効") << L"\n";
  log << L"[INFO] 全ファイルスキャンフラグ: " << (scanAllFiles ? L"有効" : L"無効") << L"\n";
  return {fileList, deleteUnusedFiles, scanAllFiles};
}
