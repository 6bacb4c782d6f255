// Listings of a folder as the program looks at files: a "listing of normal files"
// sees neither hidden nor system files nor folders; a "listing including folders" also
// sees folders (still neither hidden nor system ones). Existence tests and folder
// creation are made through them, so a hidden settings file reads as missing.
// Paths are UTF-8; the calls are made in the ANSI code page.
#pragma once
#include <string>
#include <vector>

namespace zel {

// Names (without folder) of the normal files matching a pattern such as "C:\x\*.run",
// in listing order. A folder that does not exist lists nothing.
std::vector<std::string> ListNormalFiles(const std::string& pattern);
// True when a listing of normal files finds the path.
bool NormalFileListed(const std::string& path);
// True when a listing including folders finds the path (a normal file or a folder).
bool ListedWithFolders(const std::string& path);
// Creates the folder (one level; the parent must exist) unless a listing including
// folders already finds something of that name. `folder` has no trailing backslash.
// False when the folder was missing and could not be created.
bool CreateFolderIfMissing(const std::string& folder);

}  // namespace zel
