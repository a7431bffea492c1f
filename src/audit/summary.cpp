#include "audit/summary.h"

namespace {

struct Group {
  const wchar_t* mark;
  const wchar_t* header;
  const wchar_t* logPrefix;
};

constexpr Group groups[] = {
    {illegalTagMark, L"\n[不正タグ (■)]\n", L"[DEBUG] 問題タグ出力 (■): "},
    {missingFileMark, L"\n[効果音/BGMファイル不存在 (□)]\n", L"[DEBUG] 問題タグ出力 (□): "},
    {arrayAccessMark, L"\n[配列アクセス (◆)]\n", L"[DEBUG] 問題タグ出力 (◆): "},
};

}  // namespace

void writeProblemSummary(const std::vector<Issue>& issues, std::wostream& report,
                         std::wostream& log) {
  report << L"\n=== 問題のあるタグ一覧 ===\n";
  if (issues.empty()) {
    report << L"問題のあるタグは見つかりませんでした。\n";
    log << L"[DEBUG] 問題タグなし\n";
    return;
  }
  log << L"[DEBUG] 問題タグ一覧の出力開始: " << issues.size() << L" 件\n";
  for (const Group& group : groups) {
    report << group.header;
    for (const Issue& issue : issues) {
      if (issue.mark != group.mark) continue;
      report << issue.mark << issue.file << L" (行 " << issue.line << L"): " << issue.tag
             << L"\n";
      log << group.logPrefix << issue.file << L" 行 " << issue.line << L" (" << issue.tag
          << L")\n";
    }
  }
}
