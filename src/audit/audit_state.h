#pragma once

#include <set>
#include <string>
#include <vector>

#include "audit/issue.h"

// What the run collects across its phases: the inventories, the path keys
// that tags referred to, the problem records, and whether every listed
// scenario file was read whole (only then may unused files be deleted).
struct AuditState {
  std::vector<std::wstring> soundFiles;
  std::vector<std::wstring> bgmFiles;
  std::set<std::wstring> usedSoundFiles;
  std::set<std::wstring> usedBgmFiles;
  std::vector<Issue> issues;
  bool scanComplete = true;
};
