#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// List the regular files directly in folder `path` whose extension is
// exactly ".ks", in directory order, as narrow file names (a link to a file
// counts where the platform sees through it: see walksListLinkedFiles). A
// failure ends the listing with a line on the console and in `log`, and what
// was listed before it is returned; `complete` tells whether every .ks file of the
// folder was listed. Never raises.
std::vector<std::string> getAllKsFiles(const std::string& path, bool& complete,
                                       std::wostream& log);
std::vector<std::string> getAllKsFiles(const std::string& path, std::wostream& log);

// Return true when a sub-folder of `scenarioDir`, at any depth, holds a
// regular file or a link whose extension is exactly ".ks" (links to folders
// are not entered), or when that walk fails. Files directly in `scenarioDir`
// do not count. Writes nothing.
bool hasKsFilesInSubfolders(const std::filesystem::path& scenarioDir);
