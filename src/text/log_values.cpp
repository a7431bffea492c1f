#include "text/log_values.h"

#include <exception>

#include "text/utf8.h"
#include "text/utf8_stream.h"

namespace {

// Shared failure path of both conversions: the context and the reason are
// converted before the line is begun, so a nested failure line (which
// cannot happen for ASCII texts) would stand whole ahead of it.
void logConversionFailure(std::wostream& log, const wchar_t* prefix,
                          const std::string& context, const char* reason) {
  const std::wstring wContext = stringToWString(context, log, "context");
  const std::wstring wReason = stringToWString(reason, log, "exception");
  log << prefix << wContext << L" (" << wReason << L")\n";
}

}  // namespace

std::wstring stringToWString(const std::string& text, std::wostream& log,
                             const std::string& context) {
  try {
    return decodeUtf8(text);
  } catch (const std::exception& e) {
    logConversionFailure(log, L"[ERROR] string to wstring conversion error: ",
                         context, e.what());
    return {};
  }
}

std::string wstringToUtf8(const std::wstring& text, std::wostream& log,
                          const std::string& context) {
  try {
    return encodeUtf8(text);
  } catch (const std::exception& e) {
    logConversionFailure(log, L"[ERROR] UTF-8 変換エラー: ", context, e.what());
    return {};
  }
}

std::string truncateString(const std::string& text, std::size_t maxLength) {
  if (text.size() <= maxLength) return text;
  return std::string(truncatedPart(text, maxLength)) + "...";
}

std::string_view truncatedPart(std::string_view text, std::size_t maxLength) {
  if (text.size() <= maxLength) return text;
  std::size_t cut = maxLength;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return text.substr(0, cut);
}

std::wstring normalizePath(const std::wstring& path) { return path; }

void skipBOM(Utf8LineReader& in, const std::string& fileName, std::wostream& log) {
  if (in.skipByteOrderMark()) {
    const std::wstring name = stringToWString(fileName, log, "fileName");
    log << L"[DEBUG] BOMをスキップしました: " << name << L"\n";
    return;
  }
  const std::wstring name = stringToWString(fileName, log, "fileName");
  log << L"[DEBUG] BOMが見つかりませんでした: " << name << L"\n";
}
