#include "audit/run.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "audit/audit_state.h"
#include "audit/scan.h"
#include "audit/summary.h"
#include "audit/unused_files.h"
#include "inputs/audio_inventory.h"
#include "inputs/config_file.h"
#include "inputs/scenario_listing.h"
#include "platform/platform.h"
#include "text/log_finalise.h"
#include "text/log_values.h"
#include "text/path_text.h"
#include "text/report_name.h"
#include "text/utf8.h"
#include "text/utf8_stream.h"

namespace {

const std::string tempLogPath = "temp_error_log.txt";
const std::string finalLogPath = "Orvandel_error_log.txt";

// Close the log and turn it into the final log; used at every end of a run.
// The console lines come out first, ahead of any message of the finalisation.
// When any write to the log, its flush or its close failed, say so after the
// finalisation and return false: the log is not a whole record of the run.
bool finishLog(Utf8FileWriter& errLog) {
  std::wcout.flush();
  std::wcerr.flush();
  const bool written = errLog.close();
  convertLogToUtf8(tempLogPath, finalLogPath, errLog);
  if (written) return true;
  std::wcerr << L"[ERROR] 一時エラーログファイルの書き込みに失敗しました: "
             << decodeUtf8(tempLogPath) << L"\n";
  return false;
}

// Close the report. When any write to it, its flush or its close failed,
// say so on the console and in the log and return false: the report is not
// a whole record of the run.
bool closeReport(Utf8FileWriter& logFile, const std::string& filename,
                 const std::wstring& wFilename, std::wostream& errLog) {
  if (logFile.close()) return true;
  const wchar_t* const failure = L"[ERROR] レポートファイルの書き込みに失敗しました: ";
  std::wcerr << failure << decodeUtf8(filename) << L"\n";
  errLog << failure << wFilename << L"\n";
  return false;
}

const wchar_t* flagText(bool set) { return set ? L"有効" : L"無効"; }

// Take one inventory when its folder exists; a missing folder leaves it empty.
void takeInventory(bool sound, const std::filesystem::path& dir,
                   const std::string& path, std::vector<ListedFile>& files,
                   std::wostream& log) {
  if (std::filesystem::exists(dir)) {
    log << (sound ? L"[DEBUG] sound フォルダをスキャン開始（子フォルダ含む）\n"
                  : L"[DEBUG] bgm フォルダをスキャン開始（子フォルダ含む）\n");
    files = sound ? listSoundFiles(path, log) : listBgmFiles(path, log);
    log << (sound ? L"[DEBUG] 音声ファイルの取得完了: " : L"[DEBUG] BGMファイルの取得完了: ")
        << files.size() << L" ファイル\n";
    for (const ListedFile& file : files) {
      log << (sound ? L"[DEBUG] 取得した音声ファイル: " : L"[DEBUG] 取得したBGMファイル: ")
          << file.key << L"\n";
    }
    return;
  }
  std::wcout << (sound ? L"sound フォルダが見つかりません: " : L"bgm フォルダが見つかりません: ")
             << pathToWide(dir) << L"\n";
  const std::wstring wPath = stringToWString(path, log, sound ? "soundPath" : "bgmPath");
  log << (sound ? L"[DEBUG] sound フォルダが見つかりません: "
                : L"[DEBUG] bgm フォルダが見つかりません: ")
      << wPath << L"\n";
}

// Decide what keeps unused files from being deleted. The holds that concern
// both sides come first, in this order: a script not read whole, scripts in
// sub-folders that all-files mode does not scan, links at or below the audio
// folders, a report or a log not written whole. Then each side is held on
// its own while one of its tags names a file that only the running game
// computes. `listedScripts` is the all-files listing, or null when the
// configuration named the scripts. Clears state.scanComplete when a script
// beside the listed ones was passed over.
DeletionHolds decideDeletionHolds(AuditState& state,
                                  const std::vector<std::string>* listedScripts,
                                  const std::filesystem::path& scenarioDir,
                                  const AudioFolders& folders, bool reportFailed,
                                  bool logFailed) {
  // A script beside the listed ones that the listing passed over (another
  // letter case, a dangling link, a name the platform cannot open) was
  // never read either.
  if (listedScripts != nullptr && hasUnlistedScripts(scenarioDir, *listedScripts)) {
    state.scanComplete = false;
  }
  if (!state.scanComplete) return DeletionHold::incompleteScan;
  if (listedScripts != nullptr && hasKsFilesInSubfolders(scenarioDir)) {
    return DeletionHold::unscannedSubfolders;
  }
  // Through a link, one key can name a file that another key uses.
  if (hasLinks(folders.soundDir) || hasLinks(folders.bgmDir)) return DeletionHold::links;
  if (reportFailed) return DeletionHold::reportFailed;
  if (logFailed) return DeletionHold::logFailed;
  DeletionHolds holds;
  if (state.scriptNames.hasComputedSound()) holds.sound = DeletionHold::computedName;
  if (state.scriptNames.hasComputedBgm()) holds.bgm = DeletionHold::computedName;
  return holds;
}

// Phases 2 to 12. The report lives here, so a failure that leaves this
// function closes it with what it holds before the handler runs.
int runProper(Utf8FileWriter& errLog, AuditState& state) {
  const std::string timeText = currentTimeText();
  errLog << L"[DEBUG] プログラム開始: " << std::wstring(timeText.begin(), timeText.end())
         << L"\n";
  errLog << L"[DEBUG] wstring_convert の初期化完了\n";

  const std::filesystem::path exeDir = std::filesystem::current_path();
  const std::string baseDir = pathToNarrow(exeDir);
  {
    const std::wstring value = stringToWString(baseDir, errLog, "baseDir");
    errLog << L"[DEBUG] ベースディレクトリ: " << value << L"\n";
  }
  const std::filesystem::path scenarioDir = exeDir / "scenario";
  const std::string scenarioPath = pathToNarrow(scenarioDir);
  {
    const std::wstring value = stringToWString(scenarioPath, errLog, "scenarioPath");
    errLog << L"[DEBUG] scenario フォルダパス: " << value << L"\n";
  }
  AudioFolders folders{exeDir / "sound", exeDir / "bgm", "", ""};
  folders.soundPath = pathToNarrow(folders.soundDir);
  {
    const std::wstring value = stringToWString(folders.soundPath, errLog, "soundPath");
    errLog << L"[DEBUG] sound フォルダパス: " << value << L"\n";
  }
  folders.bgmPath = pathToNarrow(folders.bgmDir);
  {
    const std::wstring value = stringToWString(folders.bgmPath, errLog, "bgmPath");
    errLog << L"[DEBUG] bgm フォルダパス: " << value << L"\n";
  }

  takeInventory(true, folders.soundDir, folders.soundPath, state.soundFiles, errLog);
  takeInventory(false, folders.bgmDir, folders.bgmPath, state.bgmFiles, errLog);

  const std::string filename = generateLogFileName("tag_report");
  const std::wstring wFilename = stringToWString(filename, errLog, "filename");
  errLog << L"[DEBUG] ログファイル名生成: " << wFilename << L"\n";
  Utf8FileWriter logFile;
  if (!logFile.open(pathFromNarrow(filename))) {
    const std::wstring value = stringToWString(filename, errLog, "filename");
    errLog << L"[ERROR] ログファイルを開けませんでした: " << value << L"\n";
    throw std::runtime_error("ログファイルを開けませんでした。");
  }
  {
    const std::wstring value = stringToWString(filename, errLog, "filename");
    errLog << L"[DEBUG] ログファイルを開きました: " << value << L"\n";
  }
  logFile << L'\xFEFF';
  errLog << L"[DEBUG] ログファイルにBOMを書き込みました\n";

  std::vector<std::string> targetFiles;
  bool deleteFlag = false;
  bool allFiles = false;
  const std::string configPath = pathToNarrow(exeDir / "Orvandel_config.csv");
  try {
    errLog << L"[DEBUG] Orvandel_config.csv 読み込み開始\n";
    std::tie(targetFiles, deleteFlag, allFiles) = readConfigFile(configPath, errLog);
    logFile << L"[INFO] 未使用ファイル削除フラグ: " << flagText(deleteFlag) << L"\n";
    logFile << L"[INFO] 全ファイルスキャンフラグ: " << flagText(allFiles) << L"\n";
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), errLog, "exception");
    errLog << L"[ERROR] Orvandel_config.csv 読み込みエラー: " << reason << L"\n";
  }

  if (!std::filesystem::exists(scenarioDir)) {
    const std::wstring wScenarioDir = pathToWide(scenarioDir);
    std::wcout << L"scenario フォルダが見つかりません: " << wScenarioDir << L"\n";
    const std::wstring value = stringToWString(scenarioPath, errLog, "scenarioPath");
    errLog << L"[ERROR] scenario フォルダが見つかりません: " << value << L"\n";
    logFile << L"[エラー] scenario フォルダが見つかりません: " << wScenarioDir << L"\n";
    closeReport(logFile, filename, wFilename, errLog);
    finishLog(errLog);
    return 1;
  }

  const bool allFilesMode = allFiles || targetFiles.empty();
  if (allFilesMode) {
    std::wcout << L"全 *.ks ファイルを処理します。\n";
    errLog << L"[INFO] 全 *.ks ファイルを処理します（#Allfiles=true または設定ファイルが空）。\n";
    try {
      errLog << L"[DEBUG] 全 *.ks ファイル取得開始\n";
      bool listingComplete = true;
      targetFiles = getAllKsFiles(scenarioPath, listingComplete, errLog);
      // Entries after a failure were never listed, so the scan cannot know
      // every reference.
      if (!listingComplete) state.scanComplete = false;
      errLog << L"[DEBUG] 全 *.ks ファイルの取得完了: " << targetFiles.size()
             << L" ファイル\n";
    } catch (const std::exception& e) {
      const std::wstring reason = stringToWString(e.what(), errLog, "exception");
      errLog << L"[ERROR] .ks ファイル取得エラー: " << reason << L"\n";
      const std::wstring again = stringToWString(e.what(), errLog, "exception");
      logFile << L"[エラー] .ks ファイルの取得に失敗しました: " << again << L"\n";
      closeReport(logFile, filename, wFilename, errLog);
      finishLog(errLog);
      return 1;
    }
  } else {
    std::wcout << L"指定された *.ks ファイルを処理します: " << targetFiles.size()
               << L" ファイル\n";
    errLog << L"[INFO] 指定された *.ks ファイルを処理します: " << targetFiles.size()
           << L" ファイル\n";
  }

  // Only a deletion needs the names that scripts give in other forms.
  if (deleteFlag) state.scriptNames = ScriptNames(state.soundFiles, state.bgmFiles);
  scanScenarioFiles(targetFiles, !allFilesMode, scenarioDir, state, logFile, errLog);
  writeProblemSummary(state.issues, logFile, errLog);

  // Buffered report and log lines reach the disk here, so a failure to write
  // them is known before anything is deleted.
  logFile.flush();
  errLog.flush();
  const DeletionHolds holds =
      deleteFlag ? decideDeletionHolds(state, allFilesMode ? &targetFiles : nullptr,
                                       scenarioDir, folders, logFile.bad(), errLog.bad())
                 : DeletionHolds();
  writeUnusedFiles(state, folders, deleteFlag, holds, logFile, errLog);

  if (!closeReport(logFile, filename, wFilename, errLog)) {
    finishLog(errLog);
    return 1;
  }
  std::wcout << L"全ての処理が完了しました: " << decodeUtf8(filename)
             << L" に出力しました（■: 不正タグ, ◆: 配列アクセス, □: 効果音/BGMファイル不存在）\n";
  errLog << L"[DEBUG] 全ての処理が完了しました: " << wFilename << L"\n";
  return finishLog(errLog) ? 0 : 1;
}

}  // namespace

int runAudit() {
  Utf8FileWriter errLog;
  if (!errLog.open(pathFromNarrow(tempLogPath))) {
    platform::writeNarrowError("一時エラーログファイルを開けませんでした: " + tempLogPath +
                               "\n");
    return 1;
  }
  errLog << L'\xFEFF';
  AuditState state;
  try {
    return runProper(errLog, state);
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), errLog, "exception");
    errLog << L"[ERROR] メインループで例外発生: " << reason << L"\n";
    platform::writeNarrowError(
        "エラーが発生しました。詳細は Orvandel_error_log.txt をご確認ください。\n");
    finishLog(errLog);
    return 1;
  }
}
