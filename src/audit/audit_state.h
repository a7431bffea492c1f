#pragma once

#include <set>
#include <string>
#include <vector>

#include "audit/issue.h"
#include "inputs/audio_inventory.h"

// What the run collects across its phases: the inventories with the
// identity of each file (in key order), the path keys that tags referred
// to, the problem records, and whether every scenario script was read whole
// (only then may unused files be deleted).
struct AuditState {
  std::vector<std::wstring> soundFiles;
  std::vector<std::wstring> bgmFiles;
  FileIdentities soundIdentities;
  FileIdentities bgmIdentities;
  std::set<std::wstring> usedSoundFiles;
  std::set<std::wstring> usedBgmFiles;
  std::vector<Issue> issues;
  bool scanComplete = true;
};
