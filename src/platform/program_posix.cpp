// The program's arguments on Linux and other POSIX systems: as the C library has them.
#include <string>
#include <vector>
#include "platform/platform.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }
