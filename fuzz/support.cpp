#include "support.h"
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/platform.h"

namespace {
std::string folder;

void RemoveFolder() {
    if (folder.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

bool platformStarted = false;

int OpenDisplay() {
    display = DisplayState{};
    if (!DisplayCreate() || !DisplaySetCooperativeLevel(1) || !DisplaySetMode(640, 480, 8)) return 0;
    display.device = 1;
    display.primary = CreatePrimarySurface(1);
    display.backBuffer = GetBackBuffer(display.primary);
    display.clipper = CreateClipper();
    ClipperSetWindow(display.clipper, 1);
    SurfaceSetClipper(display.backBuffer, display.clipper);
    PaletteEntry grey[256];
    for (int i = 0; i < 256; ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), PALETTE_NOCOLLAPSE};
    for (int i = 0; i < 256; ++i) display.masterPalette[i] = grey[i];
    display.displayPalette = CreateSurfacePalette(grey);
    AttachPalette(display.primary, display.displayPalette);
    return display.primary && display.backBuffer ? 1 : 0;
}
}  // namespace

const std::string& FuzzFolder() {
    if (folder.empty()) {
        // In memory where the system has such a folder: every run writes its input there.
        char inMemory[] = "/dev/shm/kirake-fuzz-XXXXXX", onDisk[] = "/tmp/kirake-fuzz-XXXXXX";
        const char* made = mkdtemp(inMemory);
        if (!made) made = mkdtemp(onDisk);
        if (!made) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder = made;
        std::atexit(RemoveFolder);
    }
    return folder;
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

int OpenFuzzDisplay() {
    FuzzFolder();
    if (!platformStarted) {
        PlatformOptions options;
        options.headless = true;
        std::string error;
        if (!PlatformStart(options, &error)) {
            std::fprintf(stderr, "fuzz: %s\n", error.c_str());
            return 0;
        }
        platformStarted = true;
        app.mainWindow = 1;
        app.appActive = app.displayActive = 1;
        return OpenDisplay();
    }
    return display.primary ? 1 : OpenDisplay();
}

void RenewFuzzDisplay() {
    DisplayRelease();
    OpenDisplay();
}

std::vector<uint8_t> ExpandInput(const uint8_t* data, size_t size) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    return std::vector<uint8_t>(data, data + size);
#endif
    if (size < 10 || data[0] != 'X' || data[1] != 'P' || data[2] != 'N' || data[3] != 'D')
        return std::vector<uint8_t>(data, data + size);
    uint32_t total = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 | uint32_t(data[7]) << 24;
    size_t headLength = size_t(data[8]) | size_t(data[9]) << 8;
    if (total > MAX_EXPANDED_BYTES) total = MAX_EXPANDED_BYTES;
    const uint8_t* rest = data + 10;
    size_t restSize = size - 10;
    if (headLength > restSize) headLength = restSize;
    std::vector<uint8_t> out(rest, rest + headLength);
    const uint8_t* pattern = rest + headLength;
    size_t patternSize = restSize - headLength;
    if (out.size() < total) {
        out.resize(total, 0);
        if (patternSize > 0)
            for (size_t i = headLength, k = 0; i < total; ++i, k = k + 1 == patternSize ? 0 : k + 1) out[i] = pattern[k];
    }
    return out;
}
