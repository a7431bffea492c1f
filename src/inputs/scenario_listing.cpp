#include "inputs/scenario_listing.h"

#include <exception>
#include <iostream>
#include <set>

#include "platform/platform.h"
#include "text/case_fold.h"
#include "text/log_values.h"
#include "text/path_text.h"

namespace {

// The extension as the listing takes it (std::filesystem's: from the last
// "." that is not the name's first character), compared in any letter case
// as Windows folds it.
bool hasKsExtensionInAnyCase(const std::filesystem::path& name) {
  std::string ext;
  appendFolded(pathToNarrow(name.extension()), ext);
  return ext == ".KS";
}

// True when the link `entry` leads to a folder or to nothing that can be
// examined: a dangling link may stand for a folder not mounted now.
bool mayLeadToFolder(const std::filesystem::directory_entry& entry) {
  std::error_code error;
  const std::filesystem::file_status target = std::filesystem::status(entry.path(), error);
  return error || !std::filesystem::exists(target) ||
         std::filesystem::is_directory(target);
}

}  // namespace

std::vector<std::string> getAllKsFiles(const std::string& path, bool& complete,
                                       std::wostream& log) {
  std::vector<std::string> fileList;  // outlives a failure of the listing
  complete = true;
  try {
    for (const auto& entry :
         std::filesystem::directory_iterator(pathFromNarrow(path))) {
      // The name comes first: only a script's type is asked, so an entry
      // that is none (a link loop, a device) cannot end the listing.
      if (entry.path().extension() != ".ks") continue;
      bool regular = entry.is_regular_file();
      // Where the standard library does not see through links (Windows),
      // the platform says what a link leads to.
      if (!platform::walksListLinkedFiles() && platform::isLink(entry)) {
        regular = platform::isRegularFile(entry.path());
      }
      if (!regular) continue;
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

bool hasUnlistedScripts(const std::filesystem::path& scenarioDir,
                        const std::vector<std::string>& listed) {
  try {
    const std::set<std::string> names(listed.begin(), listed.end());
    for (const auto& entry : std::filesystem::directory_iterator(scenarioDir)) {
      if (!hasKsExtensionInAnyCase(entry.path().filename())) continue;
      // Folders are the other check's; a link is taken as what may be a script.
      if (!platform::isLink(entry) && entry.is_directory()) continue;
      if (names.count(pathToNarrow(entry.path().filename())) == 0) return true;
    }
    return false;
  } catch (const std::exception&) {
    return true;  // a listing that fails cannot show that every script was read
  }
}

bool hasKsFilesInSubfolders(const std::filesystem::path& scenarioDir) {
  try {
    for (std::filesystem::recursive_directory_iterator it(scenarioDir), end;
         it != end; ++it) {
      const bool link = platform::isLink(*it);
      if (link) {
        it.disable_recursion_pending();
        // Scripts behind a folder link are never listed, at any depth.
        if (mayLeadToFolder(*it)) return true;
      }
      if (it.depth() == 0) continue;  // the top level is what the listing scans
      // A link named like a script counts, whatever it points to: a script
      // the scan never reads may be behind it.
      if (hasKsExtensionInAnyCase(it->path().filename()) &&
          (link || !it->is_directory())) {
        return true;
      }
    }
    return false;
  } catch (const std::exception&) {
    return true;  // a walk that fails cannot show that no script is there
  }
}
