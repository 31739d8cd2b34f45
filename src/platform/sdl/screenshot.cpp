// The SDL backend's screenshots: F12 saves the page on the screen as a PNG in the pictures folder.
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include "platform/sdl/sdl.h"

namespace {
std::string PicturesFolder() {
    const char* pictures = std::getenv("XDG_PICTURES_DIR");
    if (pictures && *pictures) return std::string(pictures) + "/kirake";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/Pictures/kirake";
}

int MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    }
    return 1;
}

}  // namespace

// F12: the page on the screen as a 640x480 PNG, the same bytes as a headless capture of this frame.
void SdlScreenshot() {
    std::vector<uint8_t> rgb(size_t(PAGE_WIDTH) * PAGE_HEIGHT * 3);
    long frame = PlatformFrameNumber() - 1;
    if (frame < 0 || !CapturePage(rgb.data())) {
        std::fprintf(stderr, "kirake: no picture on the screen yet to save\n");
        return;
    }
    std::string folder = PicturesFolder();
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    std::string path = folder + "/kirake_" + stamp + ".png";
    struct stat info;
    for (int n = 2; stat(path.c_str(), &info) == 0 && n < 1000; ++n)
        path = folder + "/kirake_" + stamp + "_" + std::to_string(n) + ".png";
    if (!MakeFolders(folder) || !WritePng(path.c_str(), rgb.data(), PAGE_WIDTH, PAGE_HEIGHT)) {
        std::fprintf(stderr, "kirake: cannot save the screenshot to %s: %s\n", path.c_str(), std::strerror(errno));
        return;
    }
    std::fprintf(stderr, "kirake: screenshot of frame %ld saved to %s\n", frame, path.c_str());
}
