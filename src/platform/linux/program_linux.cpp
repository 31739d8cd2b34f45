// The running program's own file on Linux, as the kernel tells it.
#include <limits.h>
#include <unistd.h>
#include <string>
#include "platform/backend.h"

std::string LinuxProgramPath() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    return n > 0 ? std::string(exe, size_t(n)) : std::string();
}
