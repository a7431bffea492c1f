#pragma once

#include <set>
#include <string>
#include <vector>

#include "audit/issue.h"
#include "audit/script_names.h"
#include "inputs/audio_inventory.h"

// What the run collects across its phases: the inventories, the path keys
// that tags referred to, the problem records, whether every scenario script
// was read whole (only then may unused files be deleted), and, while
// deletion is asked for, the names that scripts give in any form.
struct AuditState {
  std::vector<ListedFile> soundFiles;
  std::vector<ListedFile> bgmFiles;
  std::set<std::wstring> usedSoundFiles;
  std::set<std::wstring> usedBgmFiles;
  std::vector<Issue> issues;
  bool scanComplete = true;
  ScriptNames scriptNames;
};
