// The program's arguments and its own folder on Linux and other POSIX systems.
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
