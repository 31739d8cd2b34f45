// Watching the data folder on Windows: directory change notifications (watch_win32.cpp) for the data
// folder and its picture folder "bmp", or, where they cannot be had, every file's time stamp and size
// compared once per frame.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/files.h"
#include "platform/watch.h"
#include "platform/win32/win32.h"

namespace {
constexpr size_t MAX_PENDING = 1024;
constexpr size_t MAX_POLLED_FILES = 4096;

struct FileStamp {
    long long time, size;
    bool operator==(const FileStamp& o) const { return time == o.time && size == o.size; }
};

// Windows tells of one save in steps (emptied, written, closed): a noticed file is taken once its writer
// has closed it, and a notice that finds it as last taken (time stamp and size) is one of those steps.
// Names as the file system spells them or as a save named them: the same file either way.
struct CaseBlind {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower((unsigned char)x) < std::tolower((unsigned char)y);
        });
    }
};

struct WatchRecord {
    bool watching, polling;
    std::map<std::string, FileStamp> stamps;
    std::map<std::string, FileStamp, CaseBlind> taken;  // the files as they were when last taken
    std::vector<std::string> settling;                  // noticed, still open for writing
    std::vector<std::string> announced;                 // saved by the program itself (NoteSavedFile)
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

// A key script's save is taken at the look after it, as on every system: the notice of it may come a
// look later (it is then found as taken).
void NoteSavedFile(const std::string& name) {
    if (watch.watching && !name.empty() && watch.announced.size() < MAX_PENDING) watch.announced.push_back(name);
}

namespace {
bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& listed) { return SameNameIgnoringCase(listed.c_str(), name.c_str()); });
}
}  // namespace

int TakeSavedFiles(std::vector<std::string>* names) {
    names->clear();
    if (!watch.watching) return 0;
    std::vector<std::string> announced;
    announced.swap(watch.announced);
    if (!watch.polling) {
        std::vector<std::string> noticed = watch.settling;
        watch.settling.clear();
        noticed.insert(noticed.end(), announced.begin(), announced.end());
        Win32WatchTake(&noticed);
        for (const std::string& name : noticed) {
            if (Listed(*names, name)) continue;
            int64_t time = 0, size = 0;
            int closed = Win32FileClosed(name, &time, &size);
            if (closed < 0) continue;  // gone
            if (!closed) {
                if (watch.settling.size() < MAX_PENDING &&
                    std::find(watch.settling.begin(), watch.settling.end(), name) == watch.settling.end())
                    watch.settling.push_back(name);
                continue;
            }
            FileStamp stamp{time, size};
            auto last = watch.taken.find(name);
            if (last != watch.taken.end() && last->second == stamp) continue;
            watch.taken[name] = stamp;
            if (names->size() < MAX_PENDING) names->push_back(name);
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
    for (const std::string& name : announced)
        if (!Listed(*names, name) && names->size() < MAX_PENDING) names->push_back(name);
    return 1;
}

const char* WatchMethod() {
    if (!watch.watching) return "";
    return watch.polling ? "polling" : "directory change notifications";
}
