#include "inputs/audio_inventory.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>

#include "platform/platform.h"
#include "text/case_fold.h"
#include "text/log_values.h"
#include "text/path_text.h"

namespace {

// The words in which the sound and the BGM walk differ.
struct WalkTexts {
  const wchar_t* start;
  const wchar_t* foundConsole;
  const wchar_t* foundLog;
  const wchar_t* skipped;
  const wchar_t* done;
  const wchar_t* failure;
};

constexpr WalkTexts soundWalk{
    L"[DEBUG] sound ディレクトリ走査開始（子フォルダ含む）: ",
    L"音声ファイル検出: ",
    L"[DEBUG] 音声ファイル検出: ",
    L"[DEBUG] 音声ファイルスキップ (拡張子不一致): ",
    L"[DEBUG] sound ディレクトリ走査完了: ",
    L"[ERROR] 音声ディレクトリ走査エラー: ",
};

constexpr WalkTexts bgmWalk{
    L"[DEBUG] bgm ディレクトリ走査開始（子フォルダ含む）: ",
    L"BGMファイル検出: ",
    L"[DEBUG] BGMファイル検出: ",
    L"[DEBUG] BGMファイルスキップ (拡張子不一致): ",
    L"[DEBUG] bgm ディレクトリ走査完了: ",
    L"[ERROR] BGMディレクトリ走査エラー: ",
};

// The extension in any letter case, folded as everywhere else.
bool isAudioExtension(const std::string& ext) {
  std::string folded;
  appendFolded(ext, folded);
  return folded == ".OGG" || folded == ".MP3" || folded == ".M4A" || folded == ".WAV";
}

std::vector<ListedFile> walkAudioFolder(const std::string& path, const WalkTexts& texts,
                                        std::wostream& log) {
  std::vector<ListedFile> fileList;  // outlives a failure of the walk
  try {
    {
      const std::wstring wPath = stringToWString(path, log, "path");
      log << texts.start << wPath << L"\n";
    }
    const std::filesystem::path root = pathFromNarrow(path);
    for (std::filesystem::recursive_directory_iterator it(root), end;
         it != end; ++it) {
      const std::filesystem::directory_entry& entry = *it;
      const bool isLink = platform::isLink(entry);
      if (isLink) {
        it.disable_recursion_pending();  // a linked folder is never entered
        if (!platform::walksListLinkedFiles()) continue;
      }
      if (!entry.is_regular_file()) continue;
      if (!isAudioExtension(pathToNarrow(entry.path().extension()))) {
        const std::wstring name = stringToWString(
            pathToNarrow(entry.path().filename()), log, "filename");
        log << texts.skipped << name << L"\n";
        continue;
      }
      // A link is resolved first, so a link to a file elsewhere gets a key
      // with ".." steps, and one on another root none. Any other entry was
      // reached through real folders below `root` (the walk enters no link),
      // so resolving would only cost file-system calls and give the same key.
      std::filesystem::path walkedName = entry.path().lexically_relative(root);
      const std::filesystem::path relPath =
          isLink ? std::filesystem::relative(entry.path(), root) : walkedName;
      std::wstring wFileName = normalizePath(pathToWide(relPath));
      std::replace(wFileName.begin(), wFileName.end(), L'\\', L'/');
      if (wFileName.empty()) continue;
      // Taken for the deletion, which removes a key only while it still
      // names this file and no other key does.
      std::error_code error;
      std::optional<platform::FileIdentity> identity =
          platform::fileIdentity(entry.path(), error);
      std::wcout << texts.foundConsole << wFileName << L"\n";
      log << texts.foundLog << wFileName << L"\n";
      fileList.push_back({std::move(wFileName), std::move(walkedName), identity});
    }
    log << texts.done << fileList.size() << L" ファイル検出\n";
  } catch (const std::exception& e) {
    // Each of the two lines converts its values anew.
    for (std::wostream* out :
         {static_cast<std::wostream*>(&std::wcout), &log}) {
      const std::wstring wPath = stringToWString(path, log, "path");
      const std::wstring reason = stringToWString(e.what(), log, "exception");
      *out << texts.failure << wPath << L" (" << reason << L")\n";
    }
  }
  return fileList;
}

std::vector<std::wstring> keysOf(const std::vector<ListedFile>& files) {
  std::vector<std::wstring> keys;
  keys.reserve(files.size());
  for (const ListedFile& file : files) keys.push_back(file.key);
  return keys;
}

}  // namespace

std::vector<ListedFile> listSoundFiles(const std::string& path, std::wostream& log) {
  return walkAudioFolder(path, soundWalk, log);
}

std::vector<ListedFile> listBgmFiles(const std::string& path, std::wostream& log) {
  return walkAudioFolder(path, bgmWalk, log);
}

std::vector<std::wstring> getSoundFiles(const std::string& path, std::wostream& log) {
  return keysOf(listSoundFiles(path, log));
}

std::vector<std::wstring> getBgmFiles(const std::string& path, std::wostream& log) {
  return keysOf(listBgmFiles(path, log));
}

bool hasLinks(const std::filesystem::path& dir) {
  try {
    const std::filesystem::directory_entry top(dir);
    try {
      if (platform::isLink(top)) return true;
    } catch (const std::filesystem::filesystem_error&) {
      // Where the link test must ask the system, a missing folder fails it.
      if (!top.exists()) return false;
      throw;
    }
    if (!top.is_directory()) return false;
    for (std::filesystem::recursive_directory_iterator it(dir), end; it != end;
         ++it) {
      if (platform::isLink(*it)) return true;
    }
    return false;
  } catch (const std::exception&) {
    return true;  // a walk that fails cannot show that no link is there
  }
}
