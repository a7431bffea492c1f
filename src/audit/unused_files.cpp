#include "audit/unused_files.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "text/case_fold.h"
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
  const wchar_t* holdComputed;
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
    L"[WARNING] 実行時に決まる storage の値 (&) があるため、効果音ファイルの削除を中止しました。\n",
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
    L"[WARNING] 実行時に決まる storage の値 (&) があるため、BGMファイルの削除を中止しました。\n",
};

// Return the positions in `inventory` of the keys that `used` lacks, in
// inventory order.
std::vector<std::size_t> findUnused(const std::vector<ListedFile>& inventory,
                                    const std::set<std::wstring>& used,
                                    const SideTexts& texts, std::wostream& log) {
  std::vector<std::size_t> unused;
  for (std::size_t i = 0; i < inventory.size(); ++i) {
    const std::wstring& key = inventory[i].key;
    if (used.count(key) == 0) {
      unused.push_back(i);
      log << texts.unusedFound << key << L"\n";
    } else if (texts.usedFound != nullptr) {
      log << texts.usedFound << key << L"\n";
    }
  }
  return unused;
}

// The keys of `used` folded as Windows compares names: a tag that differs
// from a key only in letter case loads that very file there.
std::set<std::wstring> foldedKeys(const std::set<std::wstring>& used) {
  std::set<std::wstring> folded;
  for (const std::wstring& key : used) folded.insert(foldCase(key));
  return folded;
}

// The identities that more than one key of the two inventories has: through
// a hard link, a bind mount or a name that Windows shortens, removing one
// key would remove a file that another key names.
std::set<platform::FileIdentity> sharedIdentities(const std::vector<ListedFile>& sound,
                                                  const std::vector<ListedFile>& bgm) {
  std::map<platform::FileIdentity, int> counts;
  for (const std::vector<ListedFile>* side : {&sound, &bgm}) {
    for (const ListedFile& file : *side) {
      if (file.identity) ++counts[*file.identity];
    }
  }
  std::set<platform::FileIdentity> shared;
  for (const auto& [identity, count] : counts) {
    if (count > 1) shared.insert(identity);
  }
  return shared;
}

// A key that leaves its folder (a link to a file elsewhere gives ".." steps)
// or names no audio file (a link named like one) must never be removed, nor
// one that no tag can name: the tag pattern takes no bracket inside a tag.
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
  if (dot != std::wstring::npos && dot > nameStart) ext = foldCase(key.substr(dot));
  if (ext != L".OGG" && ext != L".MP3" && ext != L".M4A" && ext != L".WAV") {
    return L"not an audio file";
  }
  if (key.find_first_of(L"[]") != std::wstring::npos) return L"no tag can name this file";
  return nullptr;
}

void writeToAll(const std::wstring& line, std::wostream& report, std::wostream& log) {
  std::wcout << line;
  report << line;
  log << line;
}

// What the deletion of one key checks besides the key itself.
struct DeletionChecks {
  const std::set<std::wstring>& foldedUsed;  // see foldedKeys
  const ScriptNames& names;
  bool soundSide;
  const std::set<platform::FileIdentity>& shared;  // see sharedIdentities
};

void writeFailure(const SideTexts& texts, const std::wstring& key, const wchar_t* reason,
                  std::wostream& report, std::wostream& log) {
  writeToAll(std::wstring(texts.failed) + key + L" (" + reason + L")\n", report, log);
}

// Write the failure line of `key` with a system's text as the reason,
// converted anew for each line, as each conversion logs its own failure.
void writeSystemFailure(const SideTexts& texts, const std::wstring& key,
                        const std::string& what, std::wostream& report, std::wostream& log) {
  for (std::wostream* out : {static_cast<std::wostream*>(&std::wcout), &report, &log}) {
    const std::wstring reason = stringToWString(what, log, "exception");
    *out << texts.failed << key << L" (" << reason << L")\n";
  }
}

// Return why `file` must be kept although no tag of its side named it
// exactly, or nullptr. These checks look at no file.
const wchar_t* keepingReason(const ListedFile& file, std::size_t index,
                             const DeletionChecks& checks) {
  if (const wchar_t* reason = refusalReason(file.key)) return reason;
  if (checks.foldedUsed.count(foldCase(file.key)) != 0) return L"named in another letter case";
  if (checks.names.isNamed(checks.soundSide, index)) {
    return L"named by a script in another form";
  }
  // The key must spell the name the walk found: on POSIX a file ".\y.ogg"
  // has the key "./y.ogg", which leads to "y.ogg".
  if (pathFromWide(file.key) != file.walkedName) return L"not the file that was listed";
  if (file.identity && checks.shared.count(*file.identity) != 0) {
    return L"another name stands for this file";
  }
  return nullptr;
}

void deleteOne(const std::filesystem::path& dir, const ListedFile& file, std::size_t index,
               const DeletionChecks& checks, const SideTexts& texts,
               std::wostream& report, std::wostream& log) {
  const std::wstring& key = file.key;
  if (const wchar_t* reason = keepingReason(file, index, checks)) {
    writeFailure(texts, key, reason, report, log);
    return;
  }
  const std::filesystem::path fullPath = dir / file.walkedName;
  try {
    // The name must still lead to the regular file that the walk listed: a
    // folder, or a folder swapped for a link since, would remove another.
    std::error_code error;
    bool regularFile = false;
    const std::optional<platform::FileIdentity> current =
        platform::fileIdentity(fullPath, error, &regularFile);
    if (!current && error == std::errc::no_such_file_or_directory) {
      writeToAll(std::wstring(texts.gone) + key + L"\n", report, log);
      return;
    }
    if (!current) {
      writeSystemFailure(texts, key, error.message(), report, log);
      return;
    }
    if (!file.identity || *current != *file.identity || !regularFile) {
      writeFailure(texts, key, L"not the file that was listed", report, log);
      return;
    }
    std::filesystem::remove(fullPath);
    std::wcout << texts.removed << key << L"\n";
    report << L"[削除済] " << key << L"\n";
    log << texts.removed << key << L"\n";
  } catch (const std::exception& e) {
    writeSystemFailure(texts, key, e.what(), report, log);
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
    case DeletionHold::computedName:
      return texts.holdComputed;
    case DeletionHold::none:
      break;
  }
  return nullptr;
}

void writeSide(const AuditState& state, bool soundSide,
               const std::vector<std::size_t>& unused,
               const std::set<platform::FileIdentity>& shared,
               const std::filesystem::path& dir, const std::string& path,
               bool deleteFlag, DeletionHold hold, std::wostream& report,
               std::wostream& log) {
  const SideTexts& texts = soundSide ? soundTexts : bgmTexts;
  const std::vector<ListedFile>& inventory = soundSide ? state.soundFiles : state.bgmFiles;
  const std::set<std::wstring>& used = soundSide ? state.usedSoundFiles : state.usedBgmFiles;
  if (!std::filesystem::exists(dir)) {
    report << texts.listingHeader << texts.folderMissing;
    return;
  }
  if (!inventory.empty()) {
    report << texts.listingHeader;
    for (const ListedFile& file : inventory) {
      report << file.key << L"\n";
      log << texts.listedEntry << file.key << L"\n";
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
    const std::set<std::wstring> foldedUsed = foldedKeys(used);
    const DeletionChecks checks{foldedUsed, state.scriptNames, soundSide, shared};
    for (const std::size_t i : unused) {
      deleteOne(dir, inventory[i], i, checks, texts, report, log);
    }
    return;
  }
  if (deleteFlag) {
    writeToAll(holdLine(hold, texts), report, log);
  } else {
    report << texts.flagOff;
  }
  for (const std::size_t i : unused) {
    report << inventory[i].key << L"\n";
    log << texts.kept << inventory[i].key << L"\n";
  }
}

}  // namespace

void writeUnusedFiles(const AuditState& state, const AudioFolders& folders,
                      bool deleteFlag, DeletionHolds holds, std::wostream& report,
                      std::wostream& log) {
  const std::vector<std::size_t> unusedSound =
      findUnused(state.soundFiles, state.usedSoundFiles, soundTexts, log);
  const std::vector<std::size_t> unusedBgm =
      findUnused(state.bgmFiles, state.usedBgmFiles, bgmTexts, log);
  const std::set<platform::FileIdentity> shared =
      sharedIdentities(state.soundFiles, state.bgmFiles);
  writeSide(state, true, unusedSound, shared, folders.soundDir, folders.soundPath,
            deleteFlag, holds.sound, report, log);
  writeSide(state, false, unusedBgm, shared, folders.bgmDir, folders.bgmPath, deleteFlag,
            holds.bgm, report, log);
}

void deleteUnusedFile(const std::filesystem::path& dir, const ListedFile& file,
                      bool soundSide, std::wostream& report, std::wostream& log) {
  const std::set<std::wstring> noUsedKeys;
  const ScriptNames noNames;
  const std::set<platform::FileIdentity> noSharedIdentities;
  deleteOne(dir, file, 0, DeletionChecks{noUsedKeys, noNames, soundSide, noSharedIdentities},
            soundSide ? soundTexts : bgmTexts, report, log);
}
