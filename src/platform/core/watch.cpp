// Watching the data folder (the working folder), its picture folder "bmp" and a story project's source
// folders "pictures" and "songs": the backend's file watch (inotify), or a comparison of every file's
// time stamp, size and inode once per frame where there is none or it is refused.
#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/watch.h"

namespace {
constexpr size_t MAX_PENDING = 1024;  // names kept between two looks; a flood beyond is dropped
constexpr size_t MAX_POLLED_FILES = 4096;

struct FileStamp {
    long long seconds, nanoseconds, size, inode;
    uint64_t contents;  // a hash of the bytes while the file is recent, else 0
    bool operator==(const FileStamp& o) const {  // the bytes count while both looks hashed them
        return std::tie(seconds, nanoseconds, size, inode) == std::tie(o.seconds, o.nanoseconds, o.size, o.inode) &&
               (!contents || !o.contents || contents == o.contents);
    }
};

// Time stamps advance in clock ticks of some milliseconds: two saves of the same size within one tick
// look alike. Files changed in the last seconds are therefore told apart by their bytes as well, within
// a budget per look: the files beyond it are hashed on the next looks, in turn, and keep their last
// hash until then.
constexpr long long RECENT_SECONDS = 2;
constexpr long long MAX_HASHED_BYTES = 4 << 20;
constexpr long long HASHED_BYTES_PER_LOOK = 1 << 20;

uint64_t HashOf(const std::string& name) {
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return 0;
    uint64_t hash = 1469598103934665603ull;
    unsigned char block[8192];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        for (size_t i = 0; i < got; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
    std::fclose(file);
    return hash;
}

struct WatchRecord {
    bool watching;
    const FileWatch* notifier;                // the file watch in use; null: polling
    std::map<std::string, FileStamp> stamps;  // polling: the files as last seen
    std::vector<std::string> pending;
    std::string lastHashed;             // polling: where the next look's hashing starts
    std::vector<std::string> reported;  // names that are not regular files, said once
};
WatchRecord watch;

// The data folder, its pictures, and a story project's sources.
const char* const FOLDERS[] = {"", "bmp/", "pictures/", "songs/"};


// A FIFO, device or socket where a data file could be: the game never reads it. Said once per name.
void ReportNotRegular(const std::string& name, const struct stat& info) {
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) || watch.reported.size() >= MAX_PENDING) return;
    if (std::find(watch.reported.begin(), watch.reported.end(), name) != watch.reported.end()) return;
    watch.reported.push_back(name);
    std::fprintf(stderr, "kirake: %s is not a regular file (%s); the game does not read it\n", name.c_str(),
                 S_ISFIFO(info.st_mode) ? "a FIFO" : S_ISSOCK(info.st_mode) ? "a socket" : "a device");
}

std::map<std::string, FileStamp> LookAtFiles() {
    std::map<std::string, FileStamp> files;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::vector<std::string> recent;
    for (const char* prefix : FOLDERS) {
        DIR* dir = opendir(*prefix ? prefix : ".");
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            std::string name = std::string(prefix) + entry->d_name;
            struct stat info;
            if (files.size() >= MAX_POLLED_FILES || stat(name.c_str(), &info) != 0) continue;
            if (!S_ISREG(info.st_mode)) {
                ReportNotRegular(name, info);
                continue;
            }
            if (now.tv_sec - info.st_mtim.tv_sec <= RECENT_SECONDS && info.st_size <= MAX_HASHED_BYTES)
                recent.push_back(name);
            files[name] = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size, (long long)info.st_ino, 0};
        }
        closedir(dir);
    }
    // The recent files hashed in turn from where the last look stopped, within the budget; the others keep
    // the hash of their last look while their stamp is the same.
    std::sort(recent.begin(), recent.end());
    size_t start = size_t(std::upper_bound(recent.begin(), recent.end(), watch.lastHashed) - recent.begin());
    long long budget = HASHED_BYTES_PER_LOOK;
    for (size_t k = 0; k < recent.size(); ++k) {
        const std::string& name = recent[(start + k) % recent.size()];
        FileStamp& stamp = files[name];
        if (budget < stamp.size && k > 0) {
            auto before = watch.stamps.find(name);
            if (before != watch.stamps.end() && before->second == stamp) stamp.contents = before->second.contents;
            continue;
        }
        budget -= std::max(stamp.size, 1ll);
        stamp.contents = HashOf(name);
        watch.lastHashed = name;
    }
    return files;
}

void Poll() {
    std::map<std::string, FileStamp> now = LookAtFiles();
    for (const auto& [name, stamp] : now) {
        auto before = watch.stamps.find(name);
        if (before == watch.stamps.end() || !(before->second == stamp)) NoteSavedFile(name);
    }
    watch.stamps = std::move(now);
}
}  // namespace

void NoteSavedFile(const std::string& name) {
    if (!watch.watching || name.empty() || watch.pending.size() >= MAX_PENDING) return;
    if (std::find(watch.pending.begin(), watch.pending.end(), name) == watch.pending.end())
        watch.pending.push_back(name);
}

int StartWatching(bool verbose) {
    StopWatching();
    const FileWatch* notifier = CurrentFileWatch();
    if (notifier && !FaultRefuses("no-inotify") && notifier->start(FOLDERS, int(std::size(FOLDERS)))) watch.notifier = notifier;
    if (!watch.notifier) watch.stamps = LookAtFiles();
    watch.watching = true;
    if (verbose) std::fprintf(stderr, "kirake: watching the data folder by %s\n", WatchMethod());
    return 1;
}

void StopWatching() {
    if (watch.notifier) watch.notifier->stop();
    watch = WatchRecord{};
}

int TakeSavedFiles(std::vector<std::string>* names) {
    names->clear();
    if (!watch.watching) return 0;
    if (watch.notifier)
        watch.notifier->take();
    else
        Poll();
    names->swap(watch.pending);
    return 1;
}

const char* WatchMethod() {
    if (!watch.watching) return "";
    return watch.notifier ? watch.notifier->method : "polling";
}
