// Watching the data folder (the working folder), its picture folder "bmp" and a story project's source
// folders "pictures" and "songs": the backend's file watch (inotify, directory change notifications), or
// a comparison of every file's time stamp and size once per frame where there is none or it is refused.
// Either way a saved file is passed on only when it differs from the file as last passed on: a system
// may tell of one save in several steps, and a key script's save is told by the script and by the system.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/watch.h"

namespace {
namespace fs = std::filesystem;

constexpr size_t MAX_PENDING = 1024;  // names kept between two looks; a flood beyond is dropped
constexpr size_t MAX_POLLED_FILES = 4096;

struct FileStamp {
    long long time, size;  // last written, in the file clock's ticks; bytes
    uint64_t contents;     // a hash of the bytes while the file is recent, else 0
    bool operator==(const FileStamp& o) const {  // the bytes count while both looks hashed them
        return time == o.time && size == o.size && (!contents || !o.contents || contents == o.contents);
    }
};

// Time stamps advance in clock ticks of some milliseconds (whole seconds on some systems): two saves of
// the same size within one tick look alike. Files changed in the last seconds are therefore told apart by
// their bytes as well; when polling, within a budget per look: the files beyond it are hashed on the next
// looks, in turn, and keep their last hash until then.
constexpr auto RECENT = std::chrono::seconds(2);
constexpr long long MAX_HASHED_BYTES = 4 << 20;
constexpr long long HASHED_BYTES_PER_LOOK = 1 << 20;

struct WatchRecord {
    bool watching;
    const FileWatch* notifier;                // the file watch in use; null: polling
    std::map<std::string, FileStamp> stamps;  // polling: the files as last seen
    std::map<std::string, FileStamp> taken;   // the files as last passed on
    std::vector<std::string> pending;         // noticed since the last look
    std::string lastHashed;                   // polling: where the next look's hashing starts
    std::vector<std::string> reported;        // names that are not regular files, said once
};
WatchRecord watch;

// The data folder, its pictures, and a story project's sources.
const char* const FOLDERS[] = {"", "bmp/", "pictures/", "songs/"};

// Names are UTF-8 on every system; a name the system cannot spell is not there.
std::string NameOf(const fs::path& path) {
    try {
        std::u8string name = path.u8string();
        return std::string(name.begin(), name.end());
    } catch (...) {
        return "";
    }
}

bool PathOf(const std::string& name, fs::path* path) {
    try {
        *path = fs::path(std::u8string(name.begin(), name.end()));
        return true;
    } catch (...) {
        return false;
    }
}

uint64_t HashOf(const fs::path& path) {
    std::ifstream file;
    file.rdbuf()->pubsetbuf(nullptr, 0);  // read straight into the block below
    file.open(path, std::ios::binary);
    if (!file) return 0;
    uint64_t hash = 1469598103934665603ull;
    char block[8192];
    while (file.read(block, sizeof block) || file.gcount() > 0) {
        for (std::streamsize i = 0; i < file.gcount(); ++i) hash = (hash ^ uint8_t(block[i])) * 1099511628211ull;
        if (!file) break;
    }
    return hash;
}

// A FIFO, device or socket where a data file could be: the game never reads it. Said once per name.
void ReportNotRegular(const std::string& name, fs::file_type type) {
    if (type == fs::file_type::directory || type == fs::file_type::not_found || type == fs::file_type::none ||
        watch.reported.size() >= MAX_PENDING)
        return;
    if (std::find(watch.reported.begin(), watch.reported.end(), name) != watch.reported.end()) return;
    watch.reported.push_back(name);
    std::fprintf(stderr, "kirake: %s is not a regular file (%s); the game does not read it\n", name.c_str(),
                 type == fs::file_type::fifo ? "a FIFO" : type == fs::file_type::socket ? "a socket" : "a device");
}

// A regular file's time stamp and size (the type as the directory listing knows it where it does), and
// whether it is recent enough to be hashed. 1, or 0 when it is not there or not a regular file.
int StampOf(const fs::directory_entry& entry, const std::string& name, FileStamp* stamp, bool* recent) {
    std::error_code error;
    if (!entry.is_regular_file(error)) {
        if (!error) {
            fs::file_status status = entry.status(error);
            if (!error) ReportNotRegular(name, status.type());
        }
        return 0;
    }
    uintmax_t size = entry.file_size(error);
    if (error) return 0;
    fs::file_time_type time = entry.last_write_time(error);
    if (error) return 0;
    *stamp = {(long long)time.time_since_epoch().count(), (long long)size, 0};
    *recent = fs::file_time_type::clock::now() - time <= RECENT && (long long)size <= MAX_HASHED_BYTES;
    return 1;
}

std::map<std::string, FileStamp> LookAtFiles() {
    std::map<std::string, FileStamp> files;
    std::vector<std::string> recent;
    for (const char* prefix : FOLDERS) {
        std::error_code error;
        fs::directory_iterator entry(*prefix ? fs::path(prefix) : fs::path("."), error), end;
        for (; !error && entry != end && files.size() < MAX_POLLED_FILES; entry.increment(error)) {
            std::string name = NameOf(entry->path().filename());
            FileStamp stamp;
            bool isRecent;
            if (name.empty() || !StampOf(*entry, prefix + name, &stamp, &isRecent)) continue;
            files[prefix + name] = stamp;
            if (isRecent) recent.push_back(prefix + name);
        }
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
        fs::path path;
        budget -= std::max(stamp.size, 1ll);
        if (PathOf(name, &path)) stamp.contents = HashOf(path);
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

// A noticed file as it is now: the look's stamp when polling saw it, else its own, with its bytes' hash
// while recent. 0 when it is gone or not a regular file.
int StampNow(const std::string& name, FileStamp* stamp) {
    auto seen = watch.stamps.find(name);
    if (seen != watch.stamps.end()) {
        *stamp = seen->second;
        return 1;
    }
    fs::path path;
    std::error_code error;
    if (!PathOf(name, &path)) return 0;
    fs::directory_entry entry(path, error);
    bool recent;
    if (error || !StampOf(entry, name, stamp, &recent)) return 0;
    if (recent) stamp->contents = HashOf(path);
    return 1;
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
    std::vector<std::string> noticed;
    noticed.swap(watch.pending);
    for (const std::string& name : noticed) {
        FileStamp stamp;
        if (!StampNow(name, &stamp)) {  // gone (or no longer a regular file): forgotten
            watch.taken.erase(name);
            continue;
        }
        auto last = watch.taken.find(name);
        if (last != watch.taken.end()) {
            if (last->second == stamp) continue;  // as last passed on: one of a save's steps
            last->second = stamp;
        } else if (watch.taken.size() < MAX_POLLED_FILES) {
            watch.taken[name] = stamp;
        }
        names->push_back(name);
    }
    return 1;
}

const char* WatchMethod() {
    if (!watch.watching) return "";
    return watch.notifier ? watch.notifier->method : "polling";
}
