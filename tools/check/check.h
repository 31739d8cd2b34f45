// The data checker as a library: a game data folder looked through for everything that would make the
// game misbehave, reported file by file on standard output (kirake-check, main.cpp, and the fuzz harness
// that checks one file at a time). Each check starts afresh.
#pragma once
#include <string>

// Checks the folder `dir`: by what its story script does when it has one (scenes.txt), else the story
// text and every picture, sound effect and song the built-in story uses. The number of problems printed.
int CheckDataFolder(const std::string& dir);
// Checks the one data file `name` of the folder `dir` alone ("data.txt", "scenes.txt", a picture, effect
// or song the built-in story uses; another name is not checked). The number of problems printed.
int CheckDataFile(const std::string& dir, const std::string& name);
