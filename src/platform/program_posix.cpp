// The program's arguments and roots on Linux and other POSIX systems.
#include <string>
#include <vector>
#include "platform/platform.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

int SystemHasRoot(const std::string& root) { return root == "/" ? 1 : 0; }
