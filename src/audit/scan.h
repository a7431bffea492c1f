#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "audit/audit_state.h"

class Utf8FileWriter;

// Scan every file of `targetFiles` (names relative to `scenarioDir`, in list
// order) for bracketed tags: check the storage value of sound and BGM tags
// against the inventories in `state`, classify each tag, write its report
// line to `report` and keep its problem records. Progress goes to the
// console, every step to `log`. A file, line or tag that fails is reported
// and skipped, and clears state.scanComplete. File-system failures other
// than a missing file raise. With `configured`, the names come from the
// configuration file and are looked up as configuredNamePath reads them.
void scanScenarioFiles(const std::vector<std::string>& targetFiles,
                       bool configured,
                       const std::filesystem::path& scenarioDir,
                       AuditState& state, Utf8FileWriter& report,
                       Utf8FileWriter& log);
