#pragma once

#include <ostream>
#include <vector>

#include "audit/issue.h"

// Write the summary of problem tags to `report`, grouped by mark in the
// order "■", "□", "◆", each group in scan order, and log each line to `log`.
void writeProblemSummary(const std::vector<Issue>& issues, std::wostream& report,
                         std::wostream& log);
