// Watching the data folder on Windows: directory change notifications (watch_win32.cpp) for the data
// folder and its picture folder "bmp", or, where they cannot be had, every file's time stamp and size
// compared once per frame.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/watch.h"
#include "platform/win32/win32.h"

namespace {
constexpr size_t MAX_PENDING = 1024;
constexpr size_t MAX_POLLED_FILES = 4096;

struct FileStamp {
    long long time, size;
    bool operator==(const FileStamp& o) const { return time == o.time && size == o.size; }
};

// Windows tells of a save in steps (emptied, written, closed): a file is taken once it has been quiet for
// this many frame boundaries, so that one save is taken once and whole.
constexpr int QUIET_LOOKS = 2;

struct WatchRecord {
    bool watching, polling;
    std::map<std::string, FileStamp> stamps;
    std::map<std::string, int> settling;  // notified names and the looks since their last notice
};
WatchRecord watch;

std::map<std::string, FileStamp> LookAtFiles() {
    std::map<std::string, FileStamp> files;
    for (const char* prefix : {"", "bmp/"}) {
        std::vector<Win32FileStamp> found;
        Win32ListFiles(*prefix ? "bmp" : ".", &found);
        for (const Win32FileStamp& file : found)
            if (files.size() < MAX_POLLED_FILES) files[prefix + file.name] = {file.time, file.size};
    }
    return files;
}
}  // namespace

int StartWatching(bool verbose) {
    StopWatching();
    std::string folder = Win32CurrentFolder();
    bool notified = !FaultRefuses("no-inotify") && !folder.empty() && Win32WatchStart(folder, {"bmp"});
    watch.polling = !notified;
    if (watch.polling) watch.stamps = LookAtFiles();
    watch.watching = true;
    if (verbose) std::fprintf(stderr, "kirake: watching the data folder by %s\n", WatchMethod());
    return 1;
}

void StopWatching() {
    Win32WatchStop();
    watch = WatchRecord{};
}

int TakeSavedFiles(std::vector<std::string>* names) {
    names->clear();
    if (!watch.watching) return 0;
    if (!watch.polling) {
        std::vector<std::string> noticed;
        Win32WatchTake(&noticed);
        for (const std::string& name : noticed)
            if (watch.settling.size() < MAX_PENDING || watch.settling.count(name)) watch.settling[name] = 0;
        for (auto it = watch.settling.begin(); it != watch.settling.end();) {
            if (++it->second <= QUIET_LOOKS) {
                ++it;
                continue;
            }
            names->push_back(it->first);
            it = watch.settling.erase(it);
        }
        return 1;
    }
    std::map<std::string, FileStamp> now = LookAtFiles();
    for (const auto& [name, stamp] : now) {
        auto before = watch.stamps.find(name);
        if ((before == watch.stamps.end() || !(before->second == stamp)) && names->size() < MAX_PENDING)
            names->push_back(name);
    }
    watch.stamps = std::move(now);
    return 1;
}

const char* WatchMethod() {
    if (!watch.watching) return "";
    return watch.polling ? "polling" : "directory change notifications";
}
