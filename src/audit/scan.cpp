#include "audit/scan.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string_view>
#include <unordered_set>

#include "audit/tag_matcher.h"
#include "audit/tag_rules.h"
#include "text/log_values.h"
#include "text/path_text.h"
#include "text/utf8.h"
#include "text/utf8_stream.h"

namespace {

// The words of one side of the storage check.
struct StorageGroup {
  const wchar_t* usedLine;
  const wchar_t* missingWarning;
  const wchar_t* missingError;
  const wchar_t* failureLine;
  std::set<std::wstring>& used;
  const std::unordered_set<std::wstring>& inventory;
};

// The values of the tag being handled, for its messages.
struct TagContext {
  const std::wstring& wFileName;
  std::int32_t lineNumber;
  const std::wstring& wtag;
};

class Scanner {
 public:
  Scanner(AuditState& state, std::wostream& report, std::wostream& log)
      : state_(state),
        report_(report),
        log_(log),
        soundIndex_(state.soundFiles.begin(), state.soundFiles.end()),
        bgmIndex_(state.bgmFiles.begin(), state.bgmFiles.end()) {}

  void scanFile(const std::string& fileName, const std::filesystem::path& scenarioDir,
                std::size_t total);

 private:
  void scanLine(const std::wstring& wFileName, std::int32_t lineNumber,
                const std::string& utf8line);
  void scanTag(const std::string& utf8line, const TagMatch& match,
               const std::wstring& wFileName, std::int32_t lineNumber);
  bool checkStorage(const StorageGroup& group, std::string_view inner,
                    const TagContext& tag, bool& storageMissing);
  void classify(const std::string& utf8line, const TagMatch& match,
                const std::string& tagName, bool storageMissing,
                const TagContext& tag);
  void reportUnreadBytes(const std::wstring& wFileName, long lineNumber);
  void reportLineFailure(const std::wstring& wFileName, long lineNumber,
                         const std::wstring& reason);

  AuditState& state_;
  std::wostream& report_;
  std::wostream& log_;
  std::unordered_set<std::wstring> soundIndex_;
  std::unordered_set<std::wstring> bgmIndex_;
  std::int32_t processedCount_ = 0;
};

void Scanner::scanFile(const std::string& fileName,
                       const std::filesystem::path& scenarioDir, std::size_t total) {
  const std::filesystem::path filePath = scenarioDir / pathFromNarrow(fileName);

  std::wstring wFileName;
  try {
    wFileName = decodeUtf8(fileName);
    log_ << L"[DEBUG] ファイル名変換成功: " << wFileName << L"\n";
  } catch (const std::exception& e) {
    // The strict decoding failed, so the name is shown in its readable form.
    const std::wstring shown = decodeUtf8Lossy(fileName);
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    std::wcout << L"[WARNING] ファイル名変換エラー: " << shown << L" (" << reason << L")\n";
    log_ << L"[ERROR] ファイル名変換エラー: " << shown << L" (" << reason << L")\n";
    state_.scanComplete = false;
    return;
  }

  const std::wstring wPath = pathToWide(filePath);
  if (!std::filesystem::exists(filePath)) {
    std::wcout << L"ファイルが見つかりません: " << wFileName << L" (パス: " << wPath << L")\n";
    report_ << L"[WARNING] ファイルが見つかりません: " << wFileName << L" (パス: " << wPath
            << L")\n";
    log_ << L"[ERROR] ファイルが見つかりません: " << wFileName << L" (パス: " << wPath
         << L")\n";
    state_.scanComplete = false;
    return;
  }
  std::wcout << L"ファイルを確認: " << wFileName << L" (パス: " << wPath << L")\n";
  log_ << L"[DEBUG] ファイルを確認: " << wFileName << L" (パス: " << wPath << L")\n";

  std::wcout << L"処理中: " << wFileName << L" ..." << std::endl;
  log_ << L"[DEBUG] 処理開始: " << wFileName << L"\n";

  Utf8LineReader reader;
  if (!reader.open(filePath)) {
    std::wcerr << L"ファイルを開けませんでした: " << wFileName << std::endl;
    report_ << L"[WARNING] ファイルを開けませんでした: " << wFileName << std::endl;
    log_ << L"[ERROR] ファイルを開けませんでした: " << wFileName << L"\n";
    state_.scanComplete = false;
    return;
  }
  skipBOM(reader, fileName, log_);

  // The line is held once, as the UTF-8 bytes of the file: the reader has
  // checked them, so the tags cut from it are whole UTF-8 too.
  std::int32_t lineNumber = 0;
  std::string utf8line;
  while (reader.readLine(utf8line)) {
    ++lineNumber;
    scanLine(wFileName, lineNumber, utf8line);
  }
  if (reader.stoppedAtBadBytes()) {
    reportUnreadBytes(wFileName, reader.badLine());
    state_.scanComplete = false;
  }
  reader.close();

  ++processedCount_;
  std::wcout << L"完了: " << wFileName << L" (" << processedCount_ << L"/" << total
             << L")\n";
  log_ << L"[DEBUG] 処理完了: " << wFileName << L" (" << processedCount_ << L"/" << total
       << L")\n";
}

// Reading stopped at bytes that are not UTF-8: say so, like a line that
// cannot be converted, instead of ending the file silently.
void Scanner::reportUnreadBytes(const std::wstring& wFileName, long lineNumber) {
  reportLineFailure(wFileName, lineNumber,
                    stringToWString(badConversionText, log_, "exception"));
}

void Scanner::reportLineFailure(const std::wstring& wFileName, long lineNumber,
                                const std::wstring& reason) {
  std::wcerr << L"[WARNING] UTF-8変換に失敗: " << wFileName << L" 行 " << lineNumber
             << L" (" << reason << L")\n";
  report_ << L"[WARNING] UTF-8変換に失敗: " << wFileName << L" 行 " << lineNumber << L" ("
          << reason << L")\n";
  log_ << L"[ERROR] UTF-8変換エラー: " << wFileName << L" 行 " << lineNumber << L" ("
       << reason << L")\n";
}

void Scanner::scanLine(const std::wstring& wFileName, std::int32_t lineNumber,
                       const std::string& utf8line) {
  try {
    const std::wstring shown =
        stringToWString(truncateString(utf8line, 20), log_, "utf8line");
    log_ << L"[DEBUG] 行変換成功: " << wFileName << L" 行 " << lineNumber << L" ("
         << shown << L")\n";
  } catch (const std::exception& e) {
    reportLineFailure(wFileName, lineNumber,
                      stringToWString(e.what(), log_, "exception"));
    return;
  }
  TagMatch match;
  for (std::size_t from = 0; findNextTag(utf8line, from, match);
       from = match.pos + match.length) {
    scanTag(utf8line, match, wFileName, lineNumber);
  }
}

void Scanner::scanTag(const std::string& utf8line, const TagMatch& match,
                      const std::wstring& wFileName, std::int32_t lineNumber) {
  const std::string tag = utf8line.substr(match.pos, match.length);
  const std::string_view inner = std::string_view(tag).substr(1, tag.size() - 2);
  const std::string tagName(inner.substr(0, inner.find_first_of(" \t")));

  std::wstring wtag;
  try {
    wtag = decodeUtf8(tag);
    log_ << L"[DEBUG] タグ変換成功: " << wFileName << L" 行 " << lineNumber << L" ("
         << wtag << L")\n";
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    std::wcerr << L"[WARNING] タグ変換エラー: " << wFileName << L" 行 " << lineNumber
               << L" (" << reason << L")\n";
    report_ << L"[WARNING] タグ変換エラー: " << wFileName << L" 行 " << lineNumber << L" ("
            << reason << L")\n";
    const std::wstring shownTag = stringToWString(tag, log_, "tag");
    log_ << L"[ERROR] タグ変換エラー: " << wFileName << L" 行 " << lineNumber << L" ("
         << shownTag << L", " << reason << L")\n";
    return;
  }

  const TagContext context{wFileName, lineNumber, wtag};
  bool storageMissing = false;
  if (tagName == "playse" || tagName == "se") {
    const StorageGroup sound{L"[DEBUG] 使用済み効果音ファイル: ",
                             L"[WARNING] 効果音ファイルが見つかりません: ",
                             L"[ERROR] 効果音ファイルが見つかりません: ",
                             L"[ERROR] 正規表現検索エラー (playse/se): ",
                             state_.usedSoundFiles, soundIndex_};
    if (!checkStorage(sound, inner, context, storageMissing)) return;
  } else if (tagName == "playbgm" || tagName == "bgm") {
    const StorageGroup bgm{L"[DEBUG] 使用済みBGMファイル: ",
                           L"[WARNING] BGMファイルが見つかりません: ",
                           L"[ERROR] BGMファイルが見つかりません: ",
                           L"[ERROR] 正規表現検索エラー (playbgm/bgm): ",
                           state_.usedBgmFiles, bgmIndex_};
    if (!checkStorage(bgm, inner, context, storageMissing)) return;
  }
  classify(utf8line, match, tagName, storageMissing, context);
}

// Return false when a failure abandoned the tag (it is then not classified).
bool Scanner::checkStorage(const StorageGroup& group, std::string_view inner,
                           const TagContext& tag, bool& storageMissing) {
  try {
    std::string_view value;
    if (!findStorageValue(inner, value) || value.empty()) {
      log_ << L"[DEBUG] storage 属性が見つかりませんでした: " << tag.wFileName << L" 行 "
           << tag.lineNumber << L" (" << tag.wtag << L")\n";
      return true;
    }
    std::wstring key = normalizePath(decodeUtf8(value));
    std::replace(key.begin(), key.end(), L'\\', L'/');
    group.used.insert(key);
    log_ << group.usedLine << key << L"\n";
    if (group.inventory.count(key) != 0) return true;

    storageMissing = true;
    std::wcout << group.missingWarning << tag.wFileName << L" 行 " << tag.lineNumber
               << L" (" << key << L")\n";
    report_ << group.missingWarning << tag.wFileName << L" 行 " << tag.lineNumber
            << L" (" << key << L")\n";
    log_ << group.missingError << tag.wFileName << L" 行 " << tag.lineNumber << L" ("
         << key << L")\n";
    state_.issues.push_back(Issue{tag.wFileName, tag.lineNumber, tag.wtag, missingFileMark});
    log_ << L"[DEBUG] 問題タグ収集 (□): " << tag.wFileName << L" 行 " << tag.lineNumber
         << L" (" << tag.wtag << L")\n";
    return true;
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), log_, "exception");
    log_ << group.failureLine << tag.wFileName << L" 行 " << tag.lineNumber << L" ("
         << reason << L")\n";
    return false;
  }
}

void Scanner::classify(const std::string& utf8line, const TagMatch& match,
                       const std::string& tagName, bool storageMissing,
                       const TagContext& tag) {
  const wchar_t* mark = nullptr;
  const wchar_t* detected = L"[DEBUG] 正常タグ: ";
  const wchar_t* collected = nullptr;
  if (isArrayAccess(utf8line, match.pos, match.pos + match.length - 1, tagName)) {
    mark = arrayAccessMark;
    detected = L"[DEBUG] 配列アクセス検出: ";
    collected = L"[DEBUG] 問題タグ収集 (◆): ";
  } else if (knownTags.count(tagName) == 0) {
    mark = illegalTagMark;
    detected = L"[DEBUG] 不正タグ検出: ";
    collected = L"[DEBUG] 問題タグ収集 (■): ";
  }

  if (storageMissing) report_ << missingFileMark;
  if (mark != nullptr) report_ << mark;
  report_ << tag.wFileName << L" (行 " << tag.lineNumber << L"): " << tag.wtag << L"\n"
          << std::flush;
  log_ << detected << tag.wFileName << L" 行 " << tag.lineNumber << L" (" << tag.wtag
       << L")\n";
  if (mark == nullptr) return;
  state_.issues.push_back(Issue{tag.wFileName, tag.lineNumber, tag.wtag, mark});
  log_ << collected << tag.wFileName << L" 行 " << tag.lineNumber << L" (" << tag.wtag
       << L")\n";
}

}  // namespace

void scanScenarioFiles(const std::vector<std::string>& targetFiles,
                       const std::filesystem::path& scenarioDir,
                       AuditState& state, std::wostream& report,
                       std::wostream& log) {
  Scanner scanner(state, report, log);
  for (const std::string& fileName : targetFiles) {
    scanner.scanFile(fileName, scenarioDir, targetFiles.size());
  }
}
