#pragma once

#include <ctime>
#include <string>

// Return "<prefix>_YYYYMMDD_HHMMSS.txt" for the current local time.
std::string generateLogFileName(const std::string& prefix);

// Return the report name for the given local calendar fields.
std::string formatLogFileName(const std::string& prefix, const std::tm& local);

// Return the start time text "Www Mmm DD hh:mm:ss YYYY" (day zero-padded)
// of the current local time, or empty text when the clock
// cannot be read.
std::string currentTimeText();
