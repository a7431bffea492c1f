#include "inputs/scenario_listing.h"

#include <exception>
#include <iostream>

#include "platform/platform.h"
#include "text/log_values.h"
#include "text/path_text.h"

std::vector<std::string> getAllKsFiles(const std::string& path, bool& complete,
                                       std::wostream& log) {
  std::vector<std::string> fileList;  // outlives a failure of the listing
  complete = true;
  try {
    for (const auto& entry :
         std::filesystem::directory_iterator(pathFromNarrow(path))) {
      if (!entry.is_regular_file() || entry.path().extension() != ".ks") {
        continue;
      }
      if (!platform::walksListLinkedFiles() && platform::isLink(entry)) continue;
      // Taken outside the inner guard: a name without a narrow form ends
      // the listing rather than being skipped.
      const std::string fileName = pathToNarrow(entry.path().filename());
      try {
        std::wcout << L"検出: " << pathToWide(entry.path().filename()) << L"\n";
        const std::wstring wName = stringToWString(fileName, log, "fileName");
        log << L"[DEBUG] 検出したファイル: " << wName << L"\n";
        fileList.push_back(fileName);
      } catch (const std::exception& e) {
        complete = false;  // a dropped name is a script the scan never reads
        {
          const std::wstring reason =
              stringToWString(e.what(), log, "exception");
          std::wcout << L"[WARNING] ファイル名処理エラー: "
                     << pathToWide(entry.path().filename()) << L" (" << reason
                     << L")\n";
        }
        const std::wstring wName = stringToWString(fileName, log, "fileName");
        const std::wstring reason = stringToWString(e.what(), log, "exception");
        log << L"[ERROR] ファイル名処理エラー: " << wName << L" (" << reason
            << L")\n";
      }
    }
  } catch (const std::exception& e) {
    complete = false;
    for (std::wostream* out : {static_cast<std::wostream*>(&std::wcout), &log}) {
      const std::wstring wPath = stringToWString(path, log, "path");
      const std::wstring reason = stringToWString(e.what(), log, "exception");
      *out << L"[ERROR] ディレクトリ走査エラー: " << wPath << L" (" << reason
           << L")\n";
    }
  }
  return fileList;
}

std::vector<std::string> getAllKsFiles(const std::string& path,
                                       std::wostream& log) {
  bool complete = true;
  return getAllKsFiles(path, complete, log);
}

bool hasKsFilesInSubfolders(const std::filesystem::path& scenarioDir) {
  try {
    for (std::filesystem::recursive_directory_iterator it(scenarioDir), end;
         it != end; ++it) {
      const bool link = platform::isLink(*it);
      if (link) it.disable_recursion_pending();
      if (it.depth() == 0) continue;  // the top level is what the listing scans
      // A link named like a script counts, whatever it points to: a script
      // the scan never reads may be behind it.
      if (it->path().extension() == ".ks" && (link || it->is_regular_file())) {
        return true;
      }
    }
    return false;
  } catch (const std::exception&) {
    return true;  // a walk that fails cannot show that no script is there
  }
}
