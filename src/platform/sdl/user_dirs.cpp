// The pictures folder the desktop has set for the user. xdg-user-dirs writes it to user-dirs.dirs in the
// configuration folder as a shell assignment, XDG_PICTURES_DIR="$HOME/Pictures", the value either under
// $HOME or absolute, with backslash escapes; the folder name is translated (Bilder, Images, ...).
#include "platform/sdl/user_dirs.h"
#include <cstdlib>
#include <fstream>

namespace {

// The variable's value; `otherwise` when it is unset or empty.
std::string Environment(const char* name, const char* otherwise = "") {
    const char* value = std::getenv(name);
    return value && *value ? value : otherwise;
}

// The value of KEY="..." in the file, with $HOME at its start made HOME; "" when unset or unusable.
std::string ReadUserDir(const std::string& file, const std::string& key, const std::string& home) {
    std::ifstream in(file);
    std::string line, found;
    while (std::getline(in, line)) {
        size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, key.size() + 2, key + "=\"") != 0) continue;
        std::string value;
        bool closed = false;
        for (at += key.size() + 2; at < line.size(); ++at) {
            if (line[at] == '"') {
                closed = true;
                break;
            }
            if (line[at] == '\\' && at + 1 < line.size()) ++at;
            value += line[at];
        }
        if (!closed) continue;
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0) found = home + value.substr(5);
        else if (!value.empty() && value[0] == '/') found = value;
        // the last assignment counts, as in the shell
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

}  // namespace

std::string UserPicturesFolder() {
    std::string pictures = Environment("XDG_PICTURES_DIR");
    if (!pictures.empty()) return pictures;
    std::string home = Environment("HOME", ".");
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home + "/.config";
    pictures = ReadUserDir(config + "/user-dirs.dirs", "XDG_PICTURES_DIR", home);
    return pictures.empty() ? home + "/Pictures" : pictures;
}
