// Data files found by name without regard to case. A name may hold "\" or "/" separators and "..".
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <climits>
#include <string>
#include "platform/files.h"

namespace {
std::string Join(const std::string& dir, const std::string& part) {
    if (dir.empty()) return part;
    return dir.back() == '/' ? dir + part : dir + "/" + part;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Where an absolute name starts from: "/", a drive (C:\ or C:/) or a network share (\\server\share\ or
// //server/share/), and how many of the name's bytes that takes; 0 for a relative name.
size_t RootOf(const char* name, std::string* root) {
    if (std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && IsSeparator(name[2])) {
        *root = std::string(name, 2) + "/";
        return 3;
    }
    if (IsSeparator(name[0]) && IsSeparator(name[1]) && name[2] && !IsSeparator(name[2])) {
        size_t at = 2;
        for (int parts = 0; parts < 2; ++parts) {
            while (name[at] && !IsSeparator(name[at])) ++at;
            if (parts == 0 && name[at]) ++at;
        }
        *root = "//" + std::string(name + 2, at - 2) + "/";
        for (char& c : *root) c = IsSeparator(c) ? '/' : c;
        return name[at] ? at + 1 : at;
    }
    if (name[0] == '/') {  // a single leading backslash stays a separator inside the data folder
        *root = "/";
        return 1;
    }
    return 0;
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
    std::string path;
    std::string part;
    for (const char* p = name + RootOf(name, &path);; ++p) {
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
