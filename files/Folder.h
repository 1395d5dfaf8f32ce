#pragma once
// The files in a folder, for commands that take a folder for the files in it.

#include <string>
#include <vector>

namespace mirvo {

// True when path names a folder (after following symbolic links).
bool IsFolder(const char* path);

// The names of the regular files directly in the folder at path (symbolic
// links to regular files included, hidden names starting with a dot left
// out), sorted byte by byte. 0, or 1 with reason set to why the folder
// cannot be read (the system's words).
int ListFiles(const char* path, std::vector<std::string>& names, std::string& reason);

}  // namespace mirvo
