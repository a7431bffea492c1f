#include "audit/unused_files.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <system_error>
#include <vector>

#include "text/log_values.h"
#include "text/path_text.h"

namespace {

// The words in which the two sides differ.
struct SideTexts {
  const wchar_t* unusedFound;
  const wchar_t* usedFound;  // nullptr: no line
  const wchar_t* listingHeader;
  const wchar_t* listedEntry;
  const wchar_t* emptyReport;
  const wchar_t* emptyLog;
  const char* pathContext;
  const wchar_t* folderMissing;
  const wchar_t* unusedHeader;
  const wchar_t* unusedCount;
  const wchar_t* noUnusedReport;
  const wchar_t* noUnusedLog;
  const wchar_t* deletionHeader;
  const wchar_t* removed;
  const wchar_t* gone;
  const wchar_t* failed;
  const wchar_t* flagOff;
  const wchar_t* kept;
  const wchar_t* holdIncomplete;
  const wchar_t* holdSubfolders;
  const wchar_t* holdLinks;
  const wchar_t* holdReport;
  const wchar_t* holdLog;
};

constexpr SideTexts soundTexts{
    L"[DEBUG] 未使用の効果音ファイル検出: ",
    nullptr,
    L"\n=== 音声ファイル一覧 ===\n",
    L"[DEBUG] 音声ファイル出力: ",
    L"音声ファイルが見つかりませんでした。\n",
    L"[DEBUG] 音声ファイルが見つかりませんでした: ",
    "soundPath",
    L"sound フォルダが見つかりませんでした。\n",
    L"\n=== 未使用の効果音ファイル一覧 ===\n",
    L"[DEBUG] 未使用の効果音ファイル出力開始: ",
    L"未使用の効果音ファイルはありません。\n",
    L"[DEBUG] 未使用の効果音ファイルなし\n",
    L"[削除対象の効果音ファイル]\n",
    L"[INFO] 効果音ファイルを削除しました: ",
    L"[WARNING] 効果音ファイルが見つかりません（削除スキップ）: ",
    L"[ERROR] 効果音ファイルの削除に失敗: ",
    L"[INFO] #delete=true フラグが設定されていないため、効果音ファイルの削除をスキップします。\n",
    L"[DEBUG] 未使用の効果音ファイル（削除スキップ）: ",
    L"[WARNING] 読み込めなかったシナリオファイルがあるため、効果音ファイルの削除を中止しました。\n",
    L"[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks ファイルがあるため、効果音ファイルの削除を中止しました。\n",
    L"[WARNING] sound フォルダまたは bgm フォルダにシンボリックリンクかジャンクションがあるため、効果音ファイルの削除を中止しました。\n",
    L"[WARNING] レポートファイルに書き込めなかったため、効果音ファイルの削除を中止しました。\n",
    L"[WARNING] 一時エラーログファイルに書き込めなかったため、効果音ファイルの削除を中止しました。\n",
};

constexpr SideTexts bgmTexts{
    L"[DEBUG] 未使用のBGMファイル検出: ",
    L"[DEBUG] 使用済みBGMファイル確認: ",
    L"\n=== BGMファイル一覧 ===\n",
    L"[DEBUG] BGMファイル出力: ",
    L"BGMファイルが見つかりませんでした。\n",
    L"[DEBUG] BGMファイルが見つかりませんでした: ",
    "bgmPath",
    L"bgm フォルダが見つかりませんでした。\n",
    L"\n=== 未使用のBGMファイル一覧 ===\n",
    L"[DEBUG] 未使用のBGMファイル出力開始: ",
    L"未使用のBGMファイルはありません。\n",
    L"[DEBUG] 未使用のBGMファイルなし\n",
    L"[削除対象のBGMファイル]\n",
    L"[INFO] BGMファイルを削除しました: ",
    L"[WARNING] BGMファイルが見つかりません（削除スキップ）: ",
    L"[ERROR] BGMファイルの削除に失敗: ",
    L"[INFO] #delete=true フラグが設定されていないため、BGMファイルの削除をスキップします。\n",
    L"[DEBUG] 未使用のBGMファイル（削除スキップ）: ",
    L"[WARNING] 読み込めなかったシナリオファイルがあるため、BGMファイルの削除を中止しました。\n",
    L"[WARNING] scenario フォルダのサブフォルダにスキャンしていない .ks ファイルがあるため、BGMファイルの削除を中止しました。\n",
    L"[WARNING] sound フォルダまたは bgm フォルダにシンボリックリンクかジャンクションがあるため、BGMファイルの削除を中止しました。\n",
    L"[WARNING] レポートファイルに書き込めなかったため、BGMファイルの削除を中止しました。\n",
    L"[WARNING] 一時エラーログファイルに書き込めなかったため、BGMファイルの削除を中止しました。\n",
};

std::vector<std::wstring> findUnused(const std::vector<std::wstring>& inventory,
                                     const std::set<std::wstring>& used,
                                     const SideTexts& texts, std::wostream& log) {
  std::vector<std::wstring> unused;
  for (const std::wstring& key : inventory) {
    if (used.count(key) == 0) {
      unused.push_back(key);
      log << texts.unusedFound << key << L"\n";
    } else if (texts.usedFound != nullptr) {
      log << texts.usedFound << key << L"\n";
    }
  }
  return unused;
}

// A key that leaves its folder (a link to a file elsewhere gives ".." steps)
// or names no audio file (a link named like one) must never be removed.
const wchar_t* refusalReason(const std::wstring& key) {
  const std::filesystem::path keyPath = pathFromWide(key);
  if (key.empty() || keyPath.has_root_path() || key.front() == L'/') return L"outside the folder";
  std::size_t start = 0;
  while (start <= key.size()) {
    const std::size_t end = std::min(key.find(L'/', start), key.size());
    if (key.compare(start, end - start, L"..") == 0) return L"outside the folder";
    start = end + 1;
  }
  std::wstring ext;
  const std::size_t slash = key.rfind(L'/');
  const std::size_t dot = key.rfind(L'.');
  const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
  if (dot != std::wstring::npos && dot > nameStart) ext = key.substr(dot);
  for (wchar_t& c : ext) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  if (ext != L".ogg" && ext != L".mp3" && ext != L".m4a" && ext != L".wav") {
    return L"not an audio file";
  }
  return nullptr;
}

void writeToAll(const std::wstring& line, std::wostream& report, std::wostream& log) {
  std::wcout << line;
  report << line;
  log << line;
}

void deleteOne(const std::filesystem::path& dir, const std::wstring& key,
               const SideTexts& texts, std::wostream& report, std::wostream& log) {
  if (const wchar_t* reason = refusalReason(key)) {
    writeToAll(std::wstring(texts.failed) + key + L" (" + reason + L")\n", report, log);
    return;
  }
  const std::filesystem::path fullPath = dir / pathFromWide(key);
  try {
    if (!std::filesystem::exists(fullPath)) {
      writeToAll(std::wstring(texts.gone) + key + L"\n", report, log);
      return;
    }
    if (std::filesystem::is_directory(std::filesystem::symlink_status(fullPath))) {
      // The inventory held a file here; a folder in its place stays.
      throw std::filesystem::filesystem_error(
          "cannot remove", fullPath, std::make_error_code(std::errc::is_a_directory));
    }
    std::filesystem::remove(fullPath);
    std::wcout << texts.removed << key << L"\n";
    report << L"[削除済] " << key << L"\n";
    log << texts.removed << key << L"\n";
  } catch (const std::exception& e) {
    // Converted anew for each line, as each conversion logs its own failure.
    for (std::wostream* out : {static_cast<std::wostream*>(&std::wcout), &report, &log}) {
      const std::wstring reason = stringToWString(e.what(), log, "exception");
      *out << texts.failed << key << L" (" << reason << L")\n";
    }
  }
}

// The one line that says why a side keeps its unused files; nullptr when
// nothing holds them.
const wchar_t* holdLine(DeletionHold hold, const SideTexts& texts) {
  switch (hold) {
    case DeletionHold::incompleteScan:
      return texts.holdIncomplete;
    case DeletionHold::unscannedSubfolders:
      return texts.holdSubfolders;
    case DeletionHold::links:
      return texts.holdLinks;
    case DeletionHold::reportFailed:
      return texts.holdReport;
    case DeletionHold::logFailed:
      return texts.holdLog;
    case DeletionHold::none:
      break;
  }
  return nullptr;
}

void writeSide(const std::vector<std::wstring>& inventory,
               const std::vector<std::wstring>& unused,
               const std::filesystem::path& dir, const std::string& path,
               bool deleteFlag, DeletionHold hold, const SideTexts& texts,
               std::wostream& report, std::wostream& log) {
  if (!std::filesystem::exists(dir)) {
    report << texts.listingHeader << texts.folderMissing;
    return;
  }
  if (!inventory.empty()) {
    report << texts.listingHeader;
    for (const std::wstring& key : inventory) {
      report << key << L"\n";
      log << texts.listedEntry << key << L"\n";
    }
  } else {
    report << texts.emptyReport;
    const std::wstring wPath = stringToWString(path, log, texts.pathContext);
    log << texts.emptyLog << wPath << L"\n";
  }

  report << texts.unusedHeader;
  log << texts.unusedCount << unused.size() << L" 件\n";
  if (unused.empty()) {
    report << texts.noUnusedReport;
    log << texts.noUnusedLog;
    return;
  }
  if (deleteFlag && hold == DeletionHold::none) {
    report << texts.deletionHeader;
    for (const std::wstring& key : unused) deleteOne(dir, key, texts, report, log);
    return;
  }
  if (deleteFlag) {
    writeToAll(holdLine(hold, texts), report, log);
  } else {
    report << texts.flagOff;
  }
  for (const std::wstring& key : unused) {
    report << key << L"\n";
    log << texts.kept << key << L"\n";
  }
}

}  // namespace

void writeUnusedFiles(const AuditState& state, const AudioFolders& folders,
                      bool deleteFlag, DeletionHold hold, std::wostream& report,
                      std::wostream& log) {
  const std::vector<std::wstring> unusedSound =
      findUnused(state.soundFiles, state.usedSoundFiles, soundTexts, log);
  const std::vector<std::wstring> unusedBgm =
      findUnused(state.bgmFiles, state.usedBgmFiles, bgmTexts, log);
  writeSide(state.soundFiles, unusedSound, folders.soundDir, folders.soundPath,
            deleteFlag, hold, soundTexts, report, log);
  writeSide(state.bgmFiles, unusedBgm, folders.bgmDir, folders.bgmPath, deleteFlag,
            hold, bgmTexts, report, log);
}

void deleteUnusedFile(const std::filesystem::path& dir, const std::wstring& key,
                      bool soundSide, std::wostream& report, std::wostream& log) {
  deleteOne(dir, key, soundSide ? soundTexts : bgmTexts, report, log);
}
