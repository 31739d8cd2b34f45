// Live reload: from a picture saved into the watched data folder to the page that shows it. Each
// iteration saves the window picture (two versions in turn) and runs frames as the frame loop does
// until the page shows the saved version. "frames" is how many frames that took (the goal is at most 2
// after the save's notification); the time is the whole way from the save to the flip.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/clock.h"
#include "platform/platform.h"

namespace {

// An 8-bit 640x480 BMP filled with one index, with a grey-ramp colour table.
std::vector<uint8_t> Picture(uint8_t fill) {
    const uint32_t offset = 54 + 1024, size = offset + 640 * 480;
    std::vector<uint8_t> b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, 640);
    put32(22, 480);
    b[26] = 1;
    b[28] = 8;
    put32(46, 256);
    for (int i = 0; i < 256; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(i);
    std::fill(b.begin() + offset, b.end(), fill);
    return b;
}

void Save(const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen("game_w.BMP", "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void ReloadToScreen(benchmark::State& state, bool polling) {
    char folder[] = "/tmp/kirake-reload-bench-XXXXXX", previous[4096];
    if (!getcwd(previous, sizeof previous) || !mkdtemp(folder) || chdir(folder) != 0) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::vector<uint8_t> versions[2] = {Picture(60), Picture(200)};
    Save(versions[0]);
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    if (polling) options.faults.push_back("no-inotify");
    std::string error;
    PlatformStart(options, &error);
    app = {};
    app.appActive = app.displayActive = 1;
    sheetSources = {};
    sheetSources.keepPictures = 1;
    DisplayRelease();  // a display another benchmark made
    display = {};
    DisplayCreate();
    display.device = 1;
    DisplaySetCooperativeLevel(1);
    DisplaySetMode(640, 480, 8);
    display.primary = CreatePrimarySurface(1);
    display.backBuffer = GetBackBuffer(display.primary);
    LoadMasterPalette("game_w.BMP");
    LoadSheet(&display.windowSheet, "game_w.BMP");
    spriteState.baseRect = {0, 0, 640, 480};

    long frames = 0, saves = 0;
    for (auto _ : state) {
        int version = int(++saves % 2);
        auto begin = std::chrono::steady_clock::now();
        Save(versions[version]);
        for (int frame = 1; frame <= 10; ++frame) {
            TakeSavedDataFiles(1);
            DrawBaseLayer(1);
            DrawSprites(1);
            FlipPage(1);
            FrameShown();
            int pitch = 0;
            const uint8_t* page = LockSurface(display.primary, &pitch);
            if (page && page[240 * pitch + 320] == (version ? 200 : 60)) {
                frames += frame;
                break;
            }
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    state.counters["frames"] = benchmark::Counter(double(frames) / double(saves));
    DisplayRelease();
    display = {};
    PlatformStop();
    if (chdir(previous) != 0) state.SkipWithError("cannot go back to the working folder");
    std::system((std::string("rm -rf ") + folder).c_str());
}

void BM_SavedPictureToScreenInotify(benchmark::State& state) { ReloadToScreen(state, false); }
void BM_SavedPictureToScreenPolling(benchmark::State& state) { ReloadToScreen(state, true); }

}  // namespace

BENCHMARK(BM_SavedPictureToScreenInotify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_SavedPictureToScreenPolling)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
