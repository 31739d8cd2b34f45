// Data files found by name without regard to case, and the paths and names of the platform, on the
// standard library's file system. A name may hold "\" or "/" separators and "..".
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {
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
    std::error_code error;
    if (fs::exists(Join(dir, part), error)) {
        *found = Join(dir, part);
        return true;
    }
    fs::directory_iterator entries(dir.empty() ? "." : dir, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::string name = entries->path().filename().string();
        if (SameNameIgnoringCase(name.c_str(), part.c_str())) {
            *found = Join(dir, name);
            return true;
        }
    }
    return false;
}
}  // namespace

std::string FindDataFile(const char* name) {
    if (!name || !*name) return "";
    size_t rootLength = 0;
    std::string path = RootOf(name, &rootLength);
    // A drive or share this system has no such thing as holds no data file.
    if (!path.empty() && !fs::path(path).is_absolute() && path != "/") return "";
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
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error)) return "";
    return path;
}

FILE* OpenDataFile(const char* name, const char* mode) {
    std::string path = FindDataFile(name);
    return path.empty() ? nullptr : std::fopen(path.c_str(), mode);
}

int GetDataFileSize(const char* name, uint32_t* size) {
    std::string path = FindDataFile(name);
    if (path.empty()) return 0;
    std::error_code error;
    uintmax_t bytes = fs::file_size(path, error);
    if (error || bytes > 0x7fffffff) return 0;
    *size = uint32_t(bytes);
    return 1;
}

std::string DataFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? std::string(".") : folder.string();
}

int IsAbsolutePath(const std::string& path) {
    size_t length;
    return RootOf(path, &length).empty() ? 0 : 1;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || IsAbsolutePath(path)) return path;
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? path : Join(folder.string(), path);
}

int ChangeFolder(const std::string& path) {
    std::error_code error;
    fs::current_path(path, error);
    return error ? 0 : 1;
}

std::string ProgramFolder(const char* argv0) {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);  // Linux tells; elsewhere, argv0
    if (error || program.empty()) {
        if (!argv0 || !*argv0) return "";
        program = fs::absolute(argv0, error);
        if (error) return "";
    }
    return program.parent_path().string();
}

int PathExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error) ? 1 : 0;
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
