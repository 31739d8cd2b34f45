// The program's arguments and roots, by the build's main backend or as on Linux and other POSIX systems;
// the language a POSIX environment names.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/platform.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    if (buildBackends[0] && buildBackends[0]->arguments) return buildBackends[0]->arguments(argc, argv);
    return std::vector<std::string>(argv, argv + argc);
}

int SystemHasRoot(const std::string& root) {
    if (buildBackends[0] && buildBackends[0]->hasRoot) return buildBackends[0]->hasRoot(root);
    return root == "/" ? 1 : 0;
}

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
