#include "audit/summary.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(ProblemSummary, ReproducesTheWorkedExample) {
  const std::vector<Issue> issues = {
      {L"a.ks", 3, L"[x y]", illegalTagMark},
      {L"b.ks", 9, L"[i]", arrayAccessMark},
  };
  std::wostringstream report;
  std::wostringstream log;
  writeProblemSummary(issues, report, log);
  EXPECT_EQ(report.str(),
            L"\n=== 問題のあるタグ一覧 ===\n"
            L"\n[不正タグ (■)]\n"
            L"■a.ks (行 3): [x y]\n"
            L"\n[効果音/BGMファイル不存在 (□)]\n"
            L"\n[配列アクセス (◆)]\n"
            L"◆b.ks (行 9): [i]\n");
  EXPECT_EQ(log.str(),
            L"[DEBUG] 問題タグ一覧の出力開始: 2 件\n"
            L"[DEBUG] 問題タグ出力 (■): a.ks 行 3 ([x y])\n"
            L"[DEBUG] 問題タグ出力 (◆): b.ks 行 9 ([i])\n");
}

TEST(ProblemSummary, SaysSoWhenThereIsNoProblem) {
  std::wostringstream report;
  std::wostringstream log;
  writeProblemSummary({}, report, log);
  EXPECT_EQ(report.str(),
            L"\n=== 問題のあるタグ一覧 ===\n問題のあるタグは見つかりませんでした。\n");
  EXPECT_EQ(log.str(), L"[DEBUG] 問題タグなし\n");
}

TEST(ProblemSummary, ListsATagInEachOfItsGroupsInScanOrderWithDuplicates) {
  const std::vector<Issue> issues = {
      {L"a.ks", 1, L"[bgm storage=\"x.ogg\"]", missingFileMark},
      {L"a.ks", 1, L"[bgm storage=\"x.ogg\"]", illegalTagMark},
      {L"a.ks", 2, L"[zz]", illegalTagMark},
      {L"a.ks", 2, L"[zz]", illegalTagMark},
  };
  std::wostringstream report;
  std::wostringstream log;
  writeProblemSummary(issues, report, log);
  EXPECT_EQ(report.str(),
            L"\n=== 問題のあるタグ一覧 ===\n"
            L"\n[不正タグ (■)]\n"
            L"■a.ks (行 1): [bgm storage=\"x.ogg\"]\n"
            L"■a.ks (行 2): [zz]\n"
            L"■a.ks (行 2): [zz]\n"
            L"\n[効果音/BGMファイル不存在 (□)]\n"
            L"□a.ks (行 1): [bgm storage=\"x.ogg\"]\n"
            L"\n[配列アクセス (◆)]\n");
}
