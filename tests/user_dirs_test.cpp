// F12's folder: XDG_PICTURES_DIR from the environment first, else from the desktop's user-dirs.dirs
// (under $HOME or absolute, quoted, escaped, the last assignment counting), else ~/Pictures.
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include "platform/sdl/user_dirs.h"
#include "saved_variable.h"
#include "test_support.h"

TEST(UserDirs, PicturesFolderFollowsTheDesktopsSetting) {
    SavedVariable pictures("XDG_PICTURES_DIR"), home("HOME"), config("XDG_CONFIG_HOME");
    std::string dir = MakeTempDir("user_dirs");
    setenv("HOME", dir.c_str(), 1);
    unsetenv("XDG_PICTURES_DIR");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserPicturesFolder(), dir + "/Pictures") << "no user-dirs.dirs";

    MakeTempDir("user_dirs/.config");
    auto write = [&](const std::string& file, const std::string& text) { std::ofstream(file) << text; };
    write(dir + "/.config/user-dirs.dirs",
          "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
          "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(UserPicturesFolder(), dir + "/Bilder");
    write(dir + "/.config/user-dirs.dirs",
          "XDG_PICTURES_DIR=\"$HOME/old\"\nXDG_PICTURES_DIR=\"/srv/my \\\"shots\\\"/\"\n");
    EXPECT_EQ(UserPicturesFolder(), "/srv/my \"shots\"") << "absolute, escaped, the last one counts";
    write(dir + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"relative/path\"\nXDG_PICTURES_DIR=\"$HOME/unclosed\n");
    EXPECT_EQ(UserPicturesFolder(), dir + "/Pictures") << "unusable values are ignored";

    std::string other = MakeTempDir("user_dirs_config");
    write(other + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Images\"\n");
    setenv("XDG_CONFIG_HOME", other.c_str(), 1);
    EXPECT_EQ(UserPicturesFolder(), dir + "/Images") << "XDG_CONFIG_HOME";
    setenv("XDG_PICTURES_DIR", "/from/the/environment", 1);
    EXPECT_EQ(UserPicturesFolder(), "/from/the/environment");
}
