// A story project under --watch: from a saved source to the screen (or the song in memory). Each
// iteration saves one of two versions of a source into a copy of the default story as a project and
// runs frames as the frame loop does, one every 1/60 s, while the rebuild runs on its worker thread,
// until the change is there. The time is the whole way from the save to the frame that has it; the goals
// are 100 ms for a picture source, 50 ms for a song source and 2 frames for the story.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

enum class Source { Picture, Song, Story };

void SourceToScreen(benchmark::State& state, Source kind) {
    fs::path folder = fs::temp_directory_path() / ("kirake-project-bench-" + std::to_string(getpid()));
    char previous[4096];
    std::error_code error;
    fs::remove_all(folder, error);
    fs::copy(KIRAKE_DATA_DIR, folder, fs::copy_options::recursive, error);
    fs::copy(fs::path(KIRAKE_SOURCE_DIR) / "data" / "pictures", folder / "pictures", error);
    fs::copy(fs::path(KIRAKE_SOURCE_DIR) / "data" / "songs", folder / "songs", error);
    if (error || !getcwd(previous, sizeof previous) || chdir(folder.c_str()) != 0) {
        state.SkipWithError("cannot make the project");
        return;
    }
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    std::string why;
    PlatformStart(options, &why);
    StartRebuilds(0);
    app = {};
    app.appActive = app.displayActive = 1;
    sheetSources = {};
    sheetSources.keepPictures = 1;
    DisplayRelease();
    display = {};
    DisplayCreate();
    display.device = 1;
    DisplaySetCooperativeLevel(1);
    DisplaySetMode(640, 480, 8);
    display.primary = CreatePrimarySurface(1);
    display.backBuffer = GetBackBuffer(display.primary);
    LoadMasterPalette("System.BMP");
    LoadSheet(&display.windowSheet, "game_w.BMP");
    spriteState.baseRect = {0, 0, 640, 480};
    ResetSound();
    SongControl(SONG_LOAD, "koi.pmd");
    LoadScriptText(1);

    const char* sourceName = kind == Source::Picture ? "pictures/game_w.pic"
                             : kind == Source::Song  ? "songs/koi.song"
                                                     : "data.txt";
    std::string original = Read(sourceName);
    std::string versions[2];
    for (int v = 0; v < 2; ++v) {
        if (kind == Source::Picture)
            versions[v] = original + (v ? "rect white 300 220 40 40\n" : "rect black 300 220 40 40\n");
        else if (kind == Source::Song)
            versions[v] = original + (v ? "instrument 0\n  volume 111\nend\n" : "instrument 0\n  volume 99\nend\n");
        else
            versions[v] = original + (v ? "\nversion one\n" : "\nversion two\n");
    }
    auto shown = [&](int v) {
        if (kind == Source::Picture) {
            int pitch = 0;
            const uint8_t* page = LockSurface(display.primary, &pitch);
            return page && page[240 * pitch + 320] == (v ? 1 : 0);
        }
        if (kind == Source::Song) return music.header.instruments[0].volumeLevel == (v ? 111 : 99);
        return message.scriptSize == versions[v].size();
    };
    long frames = 0, saves = 0, missed = 0;
    for (auto _ : state) {
        int v = int(++saves % 2);
        auto begin = std::chrono::steady_clock::now();
        Write(sourceName, versions[v]);
        bool seen = false;
        for (int frame = 1; frame <= 120 && !seen; ++frame) {
            TakeSavedDataFiles(1);
            DrawBaseLayer(1);
            DrawSprites(1);
            FlipPage(1);
            FrameShown();
            if ((seen = shown(v))) frames += frame;
            else std::this_thread::sleep_until(begin + std::chrono::microseconds(16667 * frame));
        }
        missed += !seen;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    state.counters["frames"] = benchmark::Counter(double(frames) / double(saves));
    if (missed) state.SkipWithError("a saved version never arrived");
    StopRebuilds();
    DisplayRelease();
    display = {};
    ResetSound();
    PlatformStop();
    if (chdir(previous) != 0) state.SkipWithError("cannot go back to the working folder");
    fs::remove_all(folder, error);
}

void BM_ProjectPictureSourceToScreen(benchmark::State& state) { SourceToScreen(state, Source::Picture); }
void BM_ProjectSongSourceToMemory(benchmark::State& state) { SourceToScreen(state, Source::Song); }
void BM_ProjectStoryToScreen(benchmark::State& state) { SourceToScreen(state, Source::Story); }

}  // namespace

BENCHMARK(BM_ProjectPictureSourceToScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ProjectSongSourceToMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ProjectStoryToScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
