// Watching the data folder: the names of files saved in it while the game runs. The system's change
// notifications tell of them (inotify, Windows' directory change notifications); where they cannot be
// had, every file's time stamp and size are compared once per frame. Started by the platform when the
// game is asked to watch; used by the live reload of the application shell at the frame boundary.
#pragma once
#include <string>
#include <vector>

// Live reload, at each frame boundary: the names of the files saved since the last call, each once, as
// their path inside the data folder ("data.txt", "bmp/stage1.BMP"). 1 while watching, 0 when not.
int TakeSavedFiles(std::vector<std::string>* names);
// How saves are noticed: "inotify", "directory change notifications", "polling", or "" when the folder
// is not watched.
const char* WatchMethod();
