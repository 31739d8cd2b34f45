// Kept files on POSIX systems: the settings in $XDG_CONFIG_HOME/kirake (~/.config/kirake), the state in
// $XDG_STATE_HOME/kirake (~/.local/state/kirake). A file is written whole as NAME.tmp-PID, synced and
// renamed over the old one, so that a failed or cut-off write leaves the old file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"

namespace {

// An absolute folder from the variable, else HOME + fallback; "" when neither is usable.
std::string Folder(KeptKind kind) {
    const char* variable = std::getenv(kind == KEPT_SETTINGS ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME");
    std::string base;
    if (variable && variable[0] == '/') base = variable;  // relative values are ignored, as the XDG folders say
    else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return "";
        base = std::string(home) + (kind == KEPT_SETTINGS ? "/.config" : "/.local/state");
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/kirake";
}

std::string Place(KeptKind kind, const char* name) {
    std::string folder = Folder(kind);
    return folder.empty() ? std::string("(no home folder)/") + name : folder + "/" + name;
}

std::string Reason() { return std::strerror(errno); }

// mkdir -p: 1 when the folder is there.
int MakeFolders(const std::string& folder, std::string* why) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/') continue;
        std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *why = "cannot make the folder " + part + ": " + Reason();
            return 0;
        }
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *why = folder + " is not a folder";
        return 0;
    }
    return 1;
}

int ReadPosix(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why) {
    std::string folder = Folder(kind);
    if (folder.empty()) return 0;  // no home folder: nothing was kept
    std::string path = folder + "/" + name;
    // Not blocking on a FIFO put there, and not following a link out of the folder.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) *why = path + ": " + Reason();
        return 0;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *why = path + ": not a regular file";
        close(fd);
        return 0;
    }
    char buffer[16384];
    while (bytes->size() <= maxBytes) {
        size_t want = std::min(sizeof buffer, maxBytes + 1 - bytes->size());
        ssize_t got = read(fd, buffer, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *why = path + ": " + Reason();
            close(fd);
            bytes->clear();
            return 0;
        }
        if (got == 0) break;
        bytes->append(buffer, size_t(got));
    }
    close(fd);
    if (bytes->size() > maxBytes) {
        *why = path + ": larger than " + std::to_string(maxBytes) + " bytes";
        bytes->clear();
        return 0;
    }
    return 1;
}

int WritePosix(KeptKind kind, const char* name, const std::string& bytes, std::string* why) {
    std::string folder = Folder(kind);
    if (folder.empty()) {
        *why = std::string("no home folder (HOME is not set) to keep ") + name + " in";
        return 0;
    }
    if (!MakeFolders(folder, why)) return 0;
    std::string path = folder + "/" + name, temporary = path + ".tmp-" + std::to_string(long(getpid()));
    unlink(temporary.c_str());  // one left by an earlier run of the same process id
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *why = temporary + ": " + Reason();
        return 0;
    }
    errno = 0;
    size_t done = 0, limit = bytes.size();
    if (FaultRefuses("keep-write")) limit /= 2;  // the disk fills half way (--fault keep-write)
    while (done < limit) {
        ssize_t put = write(fd, bytes.data() + done, limit - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += size_t(put);
    }
    bool written = done == bytes.size();
    if (!written) *why = temporary + ": " + (errno ? Reason() : std::string("the disk is full (--fault keep-write)"));
    if (written && fsync(fd) != 0) {
        *why = temporary + ": " + Reason();
        written = false;
    }
    if (close(fd) != 0 && written) {
        *why = temporary + ": " + Reason();
        written = false;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        *why = "cannot rename " + temporary + " to " + path + ": " + Reason();
        written = false;
    }
    if (!written) unlink(temporary.c_str());
    return written ? 1 : 0;
}

int SetAsidePosix(KeptKind kind, const char* name) {
    std::string folder = Folder(kind);
    if (folder.empty()) return 0;
    std::string path = folder + "/" + name;
    return rename(path.c_str(), (path + ".bad").c_str()) == 0 ? 1 : 0;
}

}  // namespace

const KeptStore posixKept = {
    .read = ReadPosix,
    .write = WritePosix,
    .setAside = SetAsidePosix,
    .place = Place,
};
