// The user's folders as the desktop names them (user_dirs.cpp).
#pragma once
#include <string>

// The pictures folder: XDG_PICTURES_DIR from the environment, else as ~/.config/user-dirs.dirs (in
// XDG_CONFIG_HOME) sets it, else ~/Pictures.
std::string UserPicturesFolder();
