#pragma once

#include <ostream>
#include <string>
#include <vector>

// Walk folder `path` and all its sub-folders and return the path keys
// (relative path, "/" separators) of the regular files whose extension,
// ASCII lower-cased, is ".ogg", ".mp3", ".m4a" or ".wav", in walk order. A
// failure ends the walk with a line on the console and in `log`, and the
// keys found before it are returned. Linked folders are not entered; a link
// to a file counts where the platform sees through it (see
// walksListLinkedFiles). Never raises.
std::vector<std::wstring> getSoundFiles(const std::string& path, std::wostream& log);
std::vector<std::wstring> getBgmFiles(const std::string& path, std::wostream& log);
