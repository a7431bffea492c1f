#pragma once

#include <cstdint>
#include <string>

// One problem tag, copied from the scan at the moment it was found.
struct Issue {
  std::wstring file;  // scenario file name as listed
  std::int64_t line;  // from 1
  std::wstring tag;   // whole tag text from "[" to "]"
  std::wstring mark;  // "■", "□" or "◆"
};

inline constexpr const wchar_t* illegalTagMark = L"■";
inline constexpr const wchar_t* missingFileMark = L"□";
inline constexpr const wchar_t* arrayAccessMark = L"◆";
