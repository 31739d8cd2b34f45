// Files: data files found by name without regard to case, as on the file system the game was made for.
// "..\" and "\" in a name are the parent folder and the folder separator.
// Used by the picture, script, effect and song loaders.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// The path of an existing file matching the name, or "" when there is none.
std::string FindDataFile(const char* name);
// Opens a data file (mode as fopen); null when missing.
FILE* OpenDataFile(const char* name, const char* mode);
// LoadScriptText: the size of an existing file. 1, or 0 when it cannot be opened.
int GetDataFileSize(const char* name, uint32_t* size);
// Failure messages: the folder the data files are read from, as an absolute path.
std::string DataFolder();
