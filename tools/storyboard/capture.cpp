// What both players share: the game run in this process from a fresh start, the page on the screen
// written as a PNG named by its contents, and the name of the song playing.
#include <strings.h>
#include <unistd.h>
#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "read_input.h"
#include "story/story.h"
#include "storyboard.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
// FNV-1a over 64-bit words (the size is a multiple of 8).
uint64_t Hash(const uint8_t* bytes, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        h = (h ^ word) * 1099511628211ull;
    }
    return h;
}

// Every record of the game as it is when the program starts, for the next run. The slots' sounds go back
// to the platform while it still runs. (The story script's player starts afresh when the script is read.)
void ResetGame() {
    ResetSound();
    std::free(message.scriptText);
    app = {};
    display = {};
    spriteState = {};
    sheetSources = {};
    input = {};
    textContext = {};
    message = {};
    story = {};
}
}  // namespace

std::vector<SongFile> SongsIn(const std::string& dir) {
    std::vector<SongFile> songs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        std::string name = entry.path().filename().string();
        if (name.size() < 4 || strcasecmp(name.c_str() + name.size() - 4, ".pmd") != 0) continue;
        std::string why;
        int fd = OpenInputFile(entry.path().string(), UINT64_MAX, &why);  // never a FIFO or device
        uint8_t bytes[SONG_HEADER_BYTES];
        bool whole = fd >= 0 && read(fd, bytes, sizeof bytes) == ssize_t(sizeof bytes);
        if (fd >= 0) close(fd);
        if (!whole) continue;
        SongFile song{name, {}};
        DecodeSongHeader(bytes, &song.header);
        songs.push_back(song);
    }
    return songs;
}

std::string SongPlaying(const std::vector<SongFile>& songs) {
    if (!music.songPlaying) return "";
    for (const SongFile& song : songs)
        if (std::memcmp(&song.header, &music.header, sizeof(SongHeader)) == 0) return song.name;
    return "a song";
}

std::string CapturePicture(const std::string& out) {
    static std::vector<uint8_t> rgb(640 * 480 * 3);
    CapturePage(rgb.data());
    char name[40];
    std::snprintf(name, sizeof name, "pages/%016llx.png", (unsigned long long)Hash(rgb.data(), rgb.size()));
    std::string file = out + "/" + name;
    std::error_code error;
    if (fs::exists(file, error)) return name;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480);
    cairo_surface_flush(surface);
    uint8_t* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < 480; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < 640; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * 640 + size_t(x)) * 3];
            row[x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    cairo_surface_mark_dirty(surface);
    cairo_surface_write_to_png(surface, file.c_str());
    cairo_surface_destroy(surface);
    return name;
}

PlatformOptions PlayerOptions(long frames) {
    PlatformOptions options;
    options.headless = true;
    options.frames = frames;
    options.faults.push_back("no-sound");  // nothing is heard; the songs are still stepped through
    return options;
}

int RunGame(const PlatformOptions& options, std::string* error) {
    if (!PlatformStart(options, error)) return 0;
    WinMain();
    ResetGame();
    PlatformStop();
    return 1;
}
