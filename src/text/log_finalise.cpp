#include "text/log_finalise.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "text/log_values.h"
#include "text/path_text.h"
#include "text/utf8.h"

namespace {

constexpr std::size_t chunkBytes = 1 << 20;
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr const char* cannotWriteText = "UTF-8 ログファイルを書き込めませんでした。";

// Read the whole temporary log once, in chunks, and check that it is UTF-8.
// Return whether it begins with the byte-order mark.
bool validateLog(std::filebuf& in) {
  std::vector<char> chunk(chunkBytes);
  const std::streamsize head = in.sgetn(chunk.data(), 3);
  const bool hasMark = head == 3 && std::string_view(chunk.data(), 3) == byteOrderMark;
  in.pubseekpos(0);
  std::string carry;  // an incomplete sequence at the end of the last chunk
  for (;;) {
    const std::streamsize got = in.sgetn(chunk.data(), chunkBytes);
    if (got <= 0) break;
    carry.append(chunk.data(), static_cast<std::size_t>(got));
    const std::string_view view(carry);
    const std::size_t pos = validUtf8Prefix(view);
    char32_t ignored = 0;
    // What stops the check is bad, or the start of a sequence that the next
    // chunk completes (or that the end of the file cuts off).
    if (pos < view.size() && scanUtf8Sequence(view.substr(pos), ignored) == 0) {
      throw std::range_error(badConversionText);
    }
    carry.erase(0, pos);
  }
  if (!carry.empty()) throw std::range_error(badConversionText);  // cut off
  return hasMark;
}

void copyLog(std::filebuf& in, std::filebuf& out, bool skipMark) {
  in.pubseekpos(skipMark ? static_cast<std::streamoff>(byteOrderMark.size()) : 0);
  std::vector<char> chunk(chunkBytes);
  for (;;) {
    const std::streamsize got = in.sgetn(chunk.data(), chunkBytes);
    if (got <= 0) break;
    if (out.sputn(chunk.data(), got) != got) {
      throw std::runtime_error(cannotWriteText);
    }
  }
}

}  // namespace

void convertLogToUtf8(const std::string& inputPath, const std::string& outputPath,
                      std::wostream& log) {
  try {
    std::filebuf inFile;
    if (!platform::openForReading(inFile, pathFromNarrow(inputPath),
                                  std::ios_base::binary)) {
      const std::wstring wInput = stringToWString(inputPath, log, "inputPath");
      log << L"[ERROR] 一時ログファイルを開けませんでした: " << wInput << L"\n";
      throw std::runtime_error("一時ログファイルを開けませんでした。");
    }
    // Validate the whole log before the final log is opened, so that a
    // decoding failure leaves an earlier final log as it was.
    const bool hasMark = validateLog(inFile);

    std::filebuf outFile;
    if (!platform::openForWriting(outFile, pathFromNarrow(outputPath),
                                  std::ios_base::out | std::ios_base::trunc |
                                      std::ios_base::binary)) {
      const std::wstring wOutput = stringToWString(outputPath, log, "outputPath");
      log << L"[ERROR] UTF-8 ログファイルを開けませんでした: " << wOutput << L"\n";
      throw std::runtime_error("UTF-8 ログファイルを開けませんでした。");
    }
    // A write or close that fails (a full disk) must be known before the
    // temporary log is removed.
    bool written =
        outFile.sputn(byteOrderMark.data(), byteOrderMark.size()) ==
        static_cast<std::streamsize>(byteOrderMark.size());
    if (written) copyLog(inFile, outFile, hasMark);
    inFile.close();
    if (outFile.pubsync() != 0) written = false;
    if (outFile.close() == nullptr) written = false;
    if (!written) throw std::runtime_error(cannotWriteText);

    std::filesystem::remove(pathFromNarrow(inputPath));
    const std::wstring wInput = stringToWString(inputPath, log, "inputPath");
    const std::wstring wOutput = stringToWString(outputPath, log, "outputPath");
    log << L"[DEBUG] 一時ログを UTF-8 に変換し、一時ファイルを削除しました: " << wInput
        << L" -> " << wOutput << L"\n";
  } catch (const std::exception& e) {
    const std::wstring reason = stringToWString(e.what(), log, "exception");
    log << L"[ERROR] ログファイル変換エラー: " << reason << L"\n";
    platform::writeNarrowError(
        "ログファイルの変換中にエラーが発生しました。一時ファイルを確認してください: " +
        inputPath + "\n");
  }
}
