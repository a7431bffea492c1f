#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

// Read the configuration file at `configPath`. Return the scenario file
// names it lists (fields containing ".ks", in file order, duplicates kept),
// the delete flag and the scan-all flag, both given on line 1 only. A file
// that does not open, or is not a regular file, gives (empty, false, true).
// Console lines go to std::wcout, log lines to `log`. A failure outside the
// guards of the opening step, of a line's echo and of a name leaves the
// function: a read that stops short of the end of the file raises
// std::runtime_error("read error"), as does exhausted memory while a line
// is read. A UTF-8 byte-order mark at the very start of the file is skipped;
// anywhere else it is part of the text.
std::tuple<std::vector<std::string>, bool, bool> readConfigFile(
    const std::string& configPath, std::wostream& log);

// Read the configuration from `configFile`, a stream already open on the
// file at `configPath`, which the messages name; the rest is as for
// readConfigFile once the file has opened.
std::tuple<std::vector<std::string>, bool, bool> readConfigStream(
    std::istream& configFile, const std::string& configPath, std::wostream& log);

// Return the path, relative to the scenario folder, that the configured name
// `name` stands for: every backslash in it separates folders, as on Windows,
// on every platform. Messages keep showing `name` itself.
std::filesystem::path configuredNamePath(const std::string& name);
