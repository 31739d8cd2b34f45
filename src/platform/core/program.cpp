// The program's arguments, roots and language on Linux and other POSIX systems.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/platform.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

int SystemHasRoot(const std::string& root) { return root == "/" ? 1 : 0; }

namespace {
std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
}  // namespace

std::string EnvironmentLanguage() {
    std::string locale = Variable("LC_ALL");
    if (locale.empty()) locale = Variable("LC_MESSAGES");
    if (locale.empty()) locale = Variable("LANG");
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") return "";
    std::string list = Variable("LANGUAGE");
    for (size_t at = 0; at < list.size();) {  // "pt_BR:pt:es": its first entry
        size_t end = std::min(list.find(':', at), list.size());
        if (end > at) return list.substr(at, end - at);
        at = end + 1;
    }
    return locale;
}
