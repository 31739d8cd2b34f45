// Data files found by name without regard to case, and the paths and names of the platform, on the
// standard library's file system. A name may hold "\" or "/" separators and "..".
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <string>
#include "platform/backend.h"
#include "platform/files.h"
#include "platform/platform.h"

// (The C library's calls, which every system here has: std::filesystem would bring its locale code into
// every program, half of a Windows one's size.)

namespace {
bool Exists(const std::string& path, bool regularOnly = false) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (!regularOnly || S_ISREG(info.st_mode));
}

std::string WorkingFolder() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();
}

std::string Join(const std::string& dir, const std::string& part) {
    if (dir.empty()) return part;
    return dir.back() == '/' ? dir + part : dir + "/" + part;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The root a path names its place from ("/", "C:/", "//server/share/"), with *length the characters it
// takes; "" for a relative path.
std::string RootOf(const std::string& path, size_t* length) {
    *length = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {  // \\server\share
        size_t server = path.find_first_of("/\\", 2), share = server == std::string::npos
                                                                 ? std::string::npos
                                                                 : path.find_first_of("/\\", server + 1);
        *length = share == std::string::npos ? path.size() : share + 1;
        std::string root = "//" + path.substr(2, *length - 2);
        for (char& c : root) c = c == '\\' ? '/' : c;
        return root.back() == '/' ? root : root + "/";
    }
    if (!path.empty() && IsSeparator(path[0])) {
        *length = 1;
        return "/";
    }
    bool letter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (letter && path[1] == ':' && IsSeparator(path[2])) {
        *length = 3;
        return path.substr(0, 2) + "/";
    }
    return "";
}

// The entry of dir whose name matches part: the exact spelling first, then any spelling.
bool FindEntry(const std::string& dir, const std::string& part, std::string* found) {
    if (Exists(Join(dir, part))) {
        *found = Join(dir, part);
        return true;
    }
    DIR* entries = opendir(dir.empty() ? "." : dir.c_str());
    if (!entries) return false;
    bool ok = false;
    while (dirent* entry = readdir(entries)) {
        if (SameNameIgnoringCase(entry->d_name, part.c_str())) {
            *found = Join(dir, entry->d_name);
            ok = true;
            break;
        }
    }
    closedir(entries);
    return ok;
}
}  // namespace

std::string FindDataFile(const char* name) {
    if (!name || !*name) return "";
    size_t rootLength = 0;
    std::string path = RootOf(name, &rootLength);
    // A drive or share this system has no such thing as holds no data file.
    if (!path.empty() && !SystemHasRoot(path)) return "";
    std::string part;
    for (const char* p = name + rootLength;; ++p) {
        if (IsSeparator(*p) || *p == 0) {
            if (part == "..") {
                path = Join(path, "..");
            } else if (!part.empty() && part != ".") {
                std::string next;
                if (!FindEntry(path, part, &next)) return "";
                path = next;
            }
            part.clear();
            if (*p == 0) break;
        } else {
            part += *p;
        }
    }
    if (path.empty() || !Exists(path, true)) return "";
    return path;
}

FILE* OpenDataFile(const char* name, const char* mode) {
    if (const Backend* backend = CurrentBackend(); backend && backend->busy) backend->busy();
    std::string path = FindDataFile(name);
    return path.empty() ? nullptr : std::fopen(path.c_str(), mode);
}

int GetDataFileSize(const char* name, uint32_t* size) {
    std::string path = FindDataFile(name);
    if (path.empty()) return 0;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || info.st_size < 0 || uint64_t(info.st_size) > 0x7fffffff) return 0;
    *size = uint32_t(info.st_size);
    return 1;
}

std::string DataFolder() {
    std::string folder = WorkingFolder();
    return folder.empty() ? std::string(".") : folder;
}

int IsAbsolutePath(const std::string& path) {
    size_t length;
    return RootOf(path, &length).empty() ? 0 : 1;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || IsAbsolutePath(path)) return path;
    std::string folder = WorkingFolder();
    return folder.empty() ? path : Join(folder, path);
}

int ChangeFolder(const std::string& path) {
    return chdir(path.c_str()) == 0 ? 1 : 0;
}

std::string ProgramFolder(const char* argv0) {
    // Where the system tells (the build's main backend), else from argv0.
    std::string program = buildBackends[0] && buildBackends[0]->programPath ? buildBackends[0]->programPath() : "";
    if (program.empty()) {
        if (!argv0 || !*argv0) return "";
        program = AbsolutePath(argv0);
    }
    size_t slash = program.find_last_of("/\\");
    return slash == std::string::npos ? "" : program.substr(0, slash);
}

int PathExists(const std::string& path) {
    return Exists(path) ? 1 : 0;
}

int SameNameIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb) return 0;
        if (!ca) return 1;
    }
}

bool ReadRegularFile(const std::string& path, uint64_t limit, std::string* bytes, std::string* why) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *why = "not a regular file";
        return false;
    }
    if (uint64_t(info.st_size) > limit) {
        *why = std::to_string(uint64_t(info.st_size)) + " bytes, more than " + std::to_string(limit >> 20) + " MiB";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *why = std::strerror(errno);
        return false;
    }
    bytes->clear();
    char chunk[65536];
    bool ok = true;
    for (size_t got; ok && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        if (bytes->size() + got > limit) {
            *why = "grew while it was read";
            ok = false;
        } else {
            bytes->append(chunk, got);
        }
    }
    if (ok && std::ferror(file)) {
        *why = "cannot be read";
        ok = false;
    }
    std::fclose(file);
    return ok;
}
