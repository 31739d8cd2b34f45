// One composed frame: the base layer, the stage, the partner and two cursors, the flip, and the page
// turned into RGB through the palette as the headless capture and the real backend do. Compared with a
// plain copy of the same pixel traffic.
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/platform.h"

namespace {
struct Scene {
    Scene() {
        PlatformOptions options;
        options.headless = true;
        std::string error;
        PlatformStart(options, &error);
        app.appActive = app.displayActive = 1;
        DisplayCreate();
        display.device = 1;
        DisplaySetCooperativeLevel(1);
        DisplaySetMode(640, 480, 8);
        display.primary = CreatePrimarySurface(1);
        display.backBuffer = GetBackBuffer(display.primary);
        display.clipper = CreateClipper();
        ClipperSetWindow(display.clipper, 1);
        SurfaceSetClipper(display.backBuffer, display.clipper);
        PaletteEntry entries[256];
        for (int i = 0; i < 256; ++i) entries[i] = {uint8_t(i), uint8_t(i * 3), uint8_t(i * 7), 0};
        display.displayPalette = CreateSurfacePalette(entries);
        AttachPalette(display.primary, display.displayPalette);
        display.windowSheet = Picture(640, 480, 0);
        display.bgSheet = Picture(512, 272, 40);
        display.charSheet = Picture(512, 272, 9);  // a partner: a figure on a transparent ground
        display.systemSheet = Picture(640, 384, 200);
        spriteState.baseRect = {0, 0, 640, 480};
        sprites[1] = {1, 60, 41, 0, 0, 512, 272, display.bgSheet};
        sprites[2] = {1, 60, 45, 0, 0, 512, 272, display.charSheet};
        sprites[4] = {1, 550, 412, 544, 0, 576, 32, display.systemSheet};
        sprites[5] = {1, 90, 359, 544, 32, 576, 64, display.systemSheet};
    }
    Surface* Picture(int w, int h, uint8_t ground) {
        Surface* s = CreateSurface(w, h);
        int pitch;
        uint8_t* p = LockSurface(s, &pitch);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool figure = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < h * h / 5;
                p[y * pitch + x] = figure ? uint8_t(100 + (x ^ y) % 100) : ground;
            }
        SetColorKey(s, COLOR_KEY);
        return s;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_ComposedFrame(benchmark::State& state) {
    TheScene();
    std::vector<uint8_t> rgb(640 * 480 * 3);
    for (auto _ : state) {
        DrawBaseLayer(1);
        DrawSprites(1);
        FlipPage(1);
        CapturePage(rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_ComposedFrame)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);

// The same pixel traffic as plain copies: base layer, stage, partner, two cursors, flip page, RGB output.
void BM_PlainCopyOfTheSameTraffic(benchmark::State& state) {
    size_t bytes = 640 * 480 + 2 * 512 * 272 + 2 * 32 * 32;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    std::vector<uint8_t> rgbFrom(640 * 480 * 3, 2), rgbTo(640 * 480 * 3);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        std::memcpy(rgbTo.data(), rgbFrom.data(), rgbFrom.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::DoNotOptimize(rgbTo.data());
    }
}
BENCHMARK(BM_PlainCopyOfTheSameTraffic)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
}  // namespace
