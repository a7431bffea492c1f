#pragma once

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

// Read the configuration file at `configPath`. Return the scenario file
// names it lists (fields containing ".ks", in file order, duplicates kept),
// the delete flag and the scan-all flag, both given on line 1 only. A file
// that does not open, or is not a regular file, gives (empty, false, true).
// Console lines go to std::wcout, log lines to `log`. A failure outside the
// guards of the opening step, of a line's echo and of a name (in practice
// exhausted memory while a line is read or split) leaves the function.
std::tuple<std::vector<std::string>, bool, bool> readConfigFile(
    const std::string& configPath, std::wostream& log);
