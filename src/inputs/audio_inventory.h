#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <optional>
#include <vector>

#include "platform/platform.h"

// One file that a walk listed: its path key, the name under which the walk
// found it (relative to the folder walked), and its identity, or nothing
// where that could not be taken. Deletion removes a key only while it still
// spells that name and leads to that file.
struct ListedFile {
  std::wstring key;
  std::filesystem::path walkedName;
  std::optional<platform::FileIdentity> identity;
};

// Walk folder `path` and all its sub-folders and return the regular files
// whose extension, ASCII lower-cased, is ".ogg", ".mp3", ".m4a" or ".wav", in
// walk order, each keyed by its relative path with "/" separators. A failure
// ends the walk with a line on the console and in `log`, and the files found
// before it are returned. Linked folders are not entered; a link to a file
// counts where the platform sees through it (see walksListLinkedFiles), keyed
// by the path of the file behind it. Never raises.
std::vector<ListedFile> listSoundFiles(const std::string& path, std::wostream& log);
std::vector<ListedFile> listBgmFiles(const std::string& path, std::wostream& log);

// Return the path keys of listSoundFiles or listBgmFiles, in their order.
std::vector<std::wstring> getSoundFiles(const std::string& path, std::wostream& log);
std::vector<std::wstring> getBgmFiles(const std::string& path, std::wostream& log);

// Return true when folder `dir` is itself a link, or a link of any kind
// (to a file or a folder, dangling or not; on Windows any reparse point)
// stands anywhere in its tree, or when that walk fails. Linked folders are
// not entered. A folder that does not exist, or a plain file in its place,
// holds none. Writes nothing and never raises.
bool hasLinks(const std::filesystem::path& dir);
