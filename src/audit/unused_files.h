#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "audit/audit_state.h"
#include "inputs/audio_inventory.h"

// Why unused files must be kept although the delete flag is set.
enum class DeletionHold {
  none,
  incompleteScan,       // a listed scenario file was not read whole
  unscannedSubfolders,  // all-files mode, and sub-folders hold .ks files
  links,                // a link at or below the sound or bgm folder
  reportFailed,         // the report could not be written whole
  logFailed,            // the diagnostic log could not be written whole
  computedName,         // a tag of the side names its file only when the game runs
};

// The hold of each side; one hold given alone holds both.
struct DeletionHolds {
  DeletionHolds(DeletionHold both = DeletionHold::none)
      : sound(both), bgm(both) {}
  DeletionHold sound;
  DeletionHold bgm;
};

// The sound and BGM folders of the run, as paths and narrow strings.
struct AudioFolders {
  std::filesystem::path soundDir;
  std::filesystem::path bgmDir;
  std::string soundPath;
  std::string bgmPath;
};

// Write the sound and then the BGM section of the report: the inventory, the
// files that no tag referred to, and, when `deleteFlag` is set and the
// side's hold is none, remove those files, reporting each on the console, in
// the report and in `log`; with any other hold, the side, when it has unused
// files, says why in those three places and keeps them. Only regular audio
// files inside their folder are removed; a removal that fails is reported
// and the loop goes on. A key is refused, with a failure line, in this order
// when it: leaves its folder, names no audio file, holds a bracket, equals
// in letter case as Windows folds it a key that a tag of its side named, is
// named by a scenario line in another form (see ScriptNames), no longer
// spells the name that the walk found, shares its identity with another key
// of either inventory, or no longer leads to the regular file that the walk
// listed. Raises only when the existence test of a folder itself fails.
void writeUnusedFiles(const AuditState& state, const AudioFolders& folders,
                      bool deleteFlag, DeletionHolds holds, std::wostream& report,
                      std::wostream& log);

// Remove one unused file `file` of the folder `dir` and write its one result
// line (removed, already gone, or failed) to the console, `report` and
// `log`, with the checks of writeUnusedFiles that need no other key and no
// scenario. `soundSide` picks the sound or the BGM words.
void deleteUnusedFile(const std::filesystem::path& dir, const ListedFile& file,
                      bool soundSide, std::wostream& report, std::wostream& log);
