#include "audit/unused_files.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <optional>
#include <set>
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

// Return the positions in `inventory` of the keys that `used` lacks, in
// inventory order.
std::vector<std::size_t> findUnused(const std::vector<std::wstring>& inventory,
                                    const std::set<std::wstring>& used,
                                    const SideTexts& texts, std::wostream& log) {
  std::vector<std::size_t> unused;
  for (std::size_t i = 0; i < inventory.size(); ++i) {
    const std::wstring& key = inventory[i];
    if (used.count(key) == 0) {
      unused.push_back(i);
      log << texts.unusedFound << key << L"\n";
    } else if (texts.usedFound != nullptr) {
      log << texts.usedFound << key << L"\n";
    }
  }
  return unused;
}

std::wstring lowerAscii(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// The keys of `used` with their ASCII letters lower-cased: where names
// ignore case, as on Windows, a tag that differs from a key only in case
// loads that very file.
std::set<std::wstring> foldCase(const std::set<std::wstring>& used) {
  std::set<std::wstring> folded;
  for (const std::wstring& key : used) folded.insert(lowerAscii(key));
  return folded;
}

// The identities that more than one key of the two inventories has: through
// a hard link, a bind mount or a name that Windows shortens, removing one
// key would remove a file that another key names.
std::set<platform::FileIdentity> sharedIdentities(const FileIdentities& sound,
                                                  const FileIdentities& bgm) {
  std::map<platform::FileIdentity, int> counts;
  for (const FileIdentities* side : {&sound, &bgm}) {
    for (const auto& identity : *side) {
      if (identity) ++counts[*identity];
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
  if (dot != std::wstring::npos && dot > nameStart) ext = lowerAscii(key.substr(dot));
  if (ext != L".ogg" && ext != L".mp3" && ext != L".m4a" && ext != L".wav") {
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
  const std::set<std::wstring>& foldedUsed;  // see foldCase
  const std::set<platform::FileIdentity>& shared;  // see sharedIdentities
};

void writeFailure(const SideTexts& texts, const std::wstring& key, const wchar_t* reason,
                  std::wostream& report, std::wostream& log) {
  writeToAll(std::wstring(texts.failed) + key + L" (" + reason + L")\n", report, log);
}

void deleteOne(const std::filesystem::path& dir, const std::wstring& key,
               const std::optional<platform::FileIdentity>& listed,
               const DeletionChecks& checks, const SideTexts& texts,
               std::wostream& report, std::wostream& log) {
  if (const wchar_t* reason = refusalReason(key)) {
    writeFailure(texts, key, reason, report, log);
    return;
  }
  if (checks.foldedUsed.count(lowerAscii(key)) != 0) {
    writeFailure(texts, key, L"named in another letter case", report, log);
    return;
  }
  if (listed && checks.shared.count(*listed) != 0) {
    writeFailure(texts, key, L"another name stands for this file", report, log);
    return;
  }
  const std::filesystem::path fullPath = dir / pathFromWide(key);
  try {
    // The name must still stand for the file that the walk listed: the key
    // of a name that the walk saw differently ("./y.ogg" from a file named
    // ".\y.ogg") or a folder swapped for a link since would remove another.
    std::error_code error;
    const std::optional<platform::FileIdentity> current =
        platform::fileIdentity(fullPath, error);
    if (!current && error == std::errc::no_such_file_or_directory) {
      writeToAll(std::wstring(texts.gone) + key + L"\n", report, log);
      return;
    }
    if (!listed || !current || *current != *listed) {
      writeFailure(texts, key, L"not the file that was listed", report, log);
      return;
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
               const FileIdentities& identities, const std::vector<std::size_t>& unused,
               const std::set<std::wstring>& used,
               const std::set<platform::FileIdentity>& shared,
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
    const std::set<std::wstring> foldedUsed = foldCase(used);
    const DeletionChecks checks{foldedUsed, shared};
    for (const std::size_t i : unused) {
      // A walk cut short by a lack of memory may have kept a key without its
      // identity: such a key is refused.
      const std::optional<platform::FileIdentity> identity =
          i < identities.size() ? identities[i] : std::nullopt;
      deleteOne(dir, inventory[i], identity, checks, texts, report, log);
    }
    return;
  }
  if (deleteFlag) {
    writeToAll(holdLine(hold, texts), report, log);
  } else {
    report << texts.flagOff;
  }
  for (const std::size_t i : unused) {
    report << inventory[i] << L"\n";
    log << texts.kept << inventory[i] << L"\n";
  }
}

}  // namespace

void writeUnusedFiles(const AuditState& state, const AudioFolders& folders,
                      bool deleteFlag, DeletionHold hold, std::wostream& report,
                      std::wostream& log) {
  const std::vector<std::size_t> unusedSound =
      findUnused(state.soundFiles, state.usedSoundFiles, soundTexts, log);
  const std::vector<std::size_t> unusedBgm =
      findUnused(state.bgmFiles, state.usedBgmFiles, bgmTexts, log);
  const std::set<platform::FileIdentity> shared =
      sharedIdentities(state.soundIdentities, state.bgmIdentities);
  writeSide(state.soundFiles, state.soundIdentities, unusedSound, state.usedSoundFiles,
            shared, folders.soundDir, folders.soundPath, deleteFlag, hold, soundTexts,
            report, log);
  writeSide(state.bgmFiles, state.bgmIdentities, unusedBgm, state.usedBgmFiles, shared,
            folders.bgmDir, folders.bgmPath, deleteFlag, hold, bgmTexts, report, log);
}

void deleteUnusedFile(const std::filesystem::path& dir, const std::wstring& key,
                      const std::optional<platform::FileIdentity>& identity,
                      bool soundSide, std::wostream& report, std::wostream& log) {
  const std::set<std::wstring> noUsedKeys;
  const std::set<platform::FileIdentity> noSharedIdentities;
  deleteOne(dir, key, identity, DeletionChecks{noUsedKeys, noSharedIdentities},
            soundSide ? soundTexts : bgmTexts, report, log);
}
