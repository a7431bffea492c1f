#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// List the regular files directly in folder `path` whose extension is
// exactly ".ks", in directory order, as narrow file names (a link counts as
// what it leads to). Only an entry with that extension is examined, so no
// other entry can fail the listing. A failure ends the listing with a line
// on the console and in `log`, and what was listed before it is returned;
// `complete` tells whether every .ks file of the folder was listed. Never
// raises.
std::vector<std::string> getAllKsFiles(const std::string& path, bool& complete,
                                       std::wostream& log);
std::vector<std::string> getAllKsFiles(const std::string& path, std::wostream& log);

// Return true when an entry directly in `scenarioDir` that is not a folder
// has the extension ".ks" in any letter case and is not among `listed` (the
// names that getAllKsFiles gave), or when that listing fails. Writes nothing.
bool hasUnlistedScripts(const std::filesystem::path& scenarioDir,
                        const std::vector<std::string>& listed);

// Return true when a sub-folder of `scenarioDir`, at any depth, holds an
// entry that is not a folder (a file, or a link to anything, dangling or
// not) whose extension is ".ks" in any letter case; when a link anywhere in
// `scenarioDir`, the top level included, leads to a folder or cannot be
// followed (links are not entered); or when that walk fails. Writes nothing.
bool hasKsFilesInSubfolders(const std::filesystem::path& scenarioDir);
