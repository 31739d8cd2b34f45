// Data files found by name without regard to case. A name may hold "\" or "/" separators and "..".
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <string>
#include "platform/files.h"

namespace {
std::string Join(const std::string& dir, const std::string& part) {
    if (dir.empty()) return part;
    return dir == "/" ? "/" + part : dir + "/" + part;
}

// The entry of dir whose name matches part: the exact spelling first, then any spelling.
bool FindEntry(const std::string& dir, const std::string& part, std::string* found) {
    struct stat info;
    if (stat(Join(dir, part).c_str(), &info) == 0) {
        *found = Join(dir, part);
        return true;
    }
    DIR* handle = opendir(dir.empty() ? "." : dir.c_str());
    if (!handle) return false;
    bool ok = false;
    while (dirent* entry = readdir(handle)) {
        if (strcasecmp(entry->d_name, part.c_str()) == 0) {
            *found = Join(dir, entry->d_name);
            ok = true;
            break;
        }
    }
    closedir(handle);
    return ok;
}
}  // namespace

std::string FindDataFile(const char* name) {
    if (!name || !*name) return "";
    std::string path = (name[0] == '/') ? "/" : "";
    std::string part;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
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
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    return path;
}

FILE* OpenDataFile(const char* name, const char* mode) {
    std::string path = FindDataFile(name);
    return path.empty() ? nullptr : std::fopen(path.c_str(), mode);
}

int GetDataFileSize(const char* name, uint32_t* size) {
    std::string path = FindDataFile(name);
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0 || info.st_size > 0x7fffffff) return 0;
    *size = uint32_t(info.st_size);
    return 1;
}

std::string DataFolder() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".");
}
