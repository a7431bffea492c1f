#include "text/path_form.h"

#include <gtest/gtest.h>

#include <string>

#include "text/case_fold.h"

TEST(PathForm, GivesOneFormToEverySpellingWindowsOpensAlike) {
  const struct {
    const char* spelling;
    const char* form;
  } cases[] = {
      {"./a.ogg", "A.OGG"},          {"se//b.ogg", "SE/B.OGG"},
      {"x/../c.ogg", "C.OGG"},       {"d.ogg ", "D.OGG"},
      {"e.ogg.", "E.OGG"},           {"se./f.ogg", "SE/F.OGG"},
      {"se\\g.ogg", "SE/G.OGG"},     {"/h.ogg/", "H.OGG"},
      {"../i.ogg", "../I.OGG"},      {"a/../../j.ogg", "../J.OGG"},
      {"a/b/..", "A"},               {"..../. ./k", "K"},
      {"", ""},                      {"ドアａ.ogg", "ドアＡ.OGG"},
      {"Épée/дверь/θεμα", "ÉPÉE/ДВЕРЬ/ΘΕΜΑ"},
      {"\xFF" "a", "\xFF" "A"},  // a byte that is no UTF-8 stays
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pathForm(c.spelling), c.form) << c.spelling;
  }
  std::string appended = "keep/";
  appendPathForm("x/../..", appended);
  EXPECT_EQ(appended, "keep/..");  // nothing before what it appends is dropped
}

TEST(CaseFold, MapsTheBasicPlaneToSimpleUpperCaseOnly) {
  const struct {
    char32_t c;
    char32_t folded;
  } cases[] = {
      {U'a', U'A'},          {U'Z', U'Z'},           {U'1', U'1'},
      {U'\u00E9', U'\u00C9'},  // é
      {U'\u00FF', U'\u0178'},  // ÿ
      {U'\u0434', U'\u0414'},  // д
      {U'\u03B8', U'\u0398'},  // θ
      {U'\u03C2', U'\u03A3'},  // final sigma
      {U'\uFF41', U'\uFF21'},  // full-width a
      {U'\u0131', U'I'},       // dotless i
      {U'\u00DF', U'\u00DF'},  // sharp s: its upper case is two characters
      {U'\u1F80', U'\u1F88'},  // its simple mapping, not the full one
      {U'\u3042', U'\u3042'},  // あ
      {U'\U00010428', U'\U00010428'},  // outside the plane: unchanged
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<unsigned long>(foldCase(c.c)), static_cast<unsigned long>(c.folded))
        << static_cast<unsigned long>(c.c);
  }
  EXPECT_EQ(foldCase(std::wstring(L"se/Door\u00E9\U00010428.ogg")),
            std::wstring(L"SE/DOOR\u00C9\U00010428.OGG"));
}
