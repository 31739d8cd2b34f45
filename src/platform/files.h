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
// The bytes of a regular file of at most `limit` bytes (a FIFO or device is refused before it is opened,
// so nothing blocks); false with *why ("not a regular file", its size and the limit, the system's reason).
bool ReadRegularFile(const std::string& path, uint64_t limit, std::string* bytes, std::string* why);
// Failure messages: the folder the data files are read from, as an absolute path.
std::string DataFolder();

// Paths and names as the platform has them.
// 1 when the path names its place from a root: "/...", a drive ("C:\...", "C:/...") or a share
// ("\\server\share\..."); 0 when it is relative to the working folder.
int IsAbsolutePath(const std::string& path);
// The path from the working folder's root (relative paths are joined to the working folder).
std::string AbsolutePath(const std::string& path);
// Makes the folder the working folder. 1, or 0 when it cannot be entered.
int ChangeFolder(const std::string& path);
// The folder the running program's file is in ("" when it cannot be told); argv0 is the program's
// first argument, for systems that cannot tell otherwise.
std::string ProgramFolder(const char* argv0);
// 1 when the path names an existing file or folder.
int PathExists(const std::string& path);
// 1 when the two names are the same but for the case of ASCII letters, as file names compare here.
int SameNameIgnoringCase(const char* a, const char* b);
