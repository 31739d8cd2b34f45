// The program's arguments, its own folder and the working folder on Linux and other POSIX systems.
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <string>
#include <vector>
#include "platform/platform.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::string ProgramFolder() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    std::string path(exe);
    return path.substr(0, path.rfind('/'));
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

int EnterFolder(const std::string& path) { return chdir(path.c_str()) == 0 ? 1 : 0; }

int FolderExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 1 : 0;
}
