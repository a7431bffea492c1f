#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <optional>
#include <vector>

#include "platform/platform.h"

// Walk folder `path` and all its sub-folders and return the path keys
// (relative path, "/" separators) of the regular files whose extension,
// ASCII lower-cased, is ".ogg", ".mp3", ".m4a" or ".wav", in walk order. A
// failure ends the walk with a line on the console and in `log`, and the
// keys found before it are returned. Linked folders are not entered; a link
// to a file counts where the platform sees through it (see
// walksListLinkedFiles). Never raises. The overloads with `identities` fill
// it with the identity of each listed file, in the order of the keys, or
// nothing where it could not be taken.
using FileIdentities = std::vector<std::optional<platform::FileIdentity>>;
std::vector<std::wstring> getSoundFiles(const std::string& path,
                                        FileIdentities& identities, std::wostream& log);
std::vector<std::wstring> getBgmFiles(const std::string& path,
                                      FileIdentities& identities, std::wostream& log);
std::vector<std::wstring> getSoundFiles(const std::string& path, std::wostream& log);
std::vector<std::wstring> getBgmFiles(const std::string& path, std::wostream& log);

// Return true when folder `dir` is itself a link, or a link of any kind
// (to a file or a folder, dangling or not; on Windows any reparse point)
// stands anywhere in its tree, or when that walk fails. Linked folders are
// not entered. A folder that does not exist, or a plain file in its place,
// holds none. Writes nothing and never raises.
bool hasLinks(const std::filesystem::path& dir);
