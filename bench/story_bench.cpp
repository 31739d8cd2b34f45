// A whole headless playthrough, title to "The End" stopped, with a fixed key script and no capture or
// trace: frames per second of the kirake binary (start-up, story, text, sound, compositing) on the virtual
// clock. Plays the default data built beside it, or plain pictures and short messages when there is none;
// the default story both ways: by the built-in scenes (/0) and from its story script (/1).
#include <benchmark/benchmark.h>
#include "bench_run.h"
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Put(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(value >> (8 * i));
}

// An 8-bit BMP of one colour index over a grey-ramp colour table.
void WriteBmp(const std::string& path, int width, int height, int index) {
    int stride = (width + 3) & ~3;
    uint32_t offset = 14 + 40 + 1024, size = offset + uint32_t(stride * height);
    std::vector<uint8_t> out(size, uint8_t(index));
    std::fill(out.begin(), out.begin() + offset, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put(out, 2, size);
    Put(out, 10, offset);
    Put(out, 14, 40);
    Put(out, 18, uint32_t(width));
    Put(out, 22, uint32_t(height));
    out[26] = 1;
    out[28] = 8;
    for (int i = 0; i < 256; ++i) out[54 + i * 4] = out[55 + i * 4] = out[56 + i * 4] = uint8_t(i);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(out.data(), 1, out.size(), f);
        std::fclose(f);
    }
}

struct BenchData {
    std::string dir, keys;
};

// The default data built beside the benchmark (pictures, story, effects, songs), if it is there.
std::string DefaultData() {
    std::string dir = BesideBenchmark("/../gamedata");
    return access((dir + "/data.txt").c_str(), R_OK) == 0 ? dir : "";
}

const BenchData& Data() {
    static BenchData data;
    if (!data.dir.empty()) return data;
    std::string scratch = "/tmp/kirake-story-bench-" + std::to_string(getpid());
    mkdir(scratch.c_str(), 0755);
    data.dir = DefaultData();
    data.keys = scratch + "/keys.txt";
    // A key on the title once it is complete, then Space every other frame: every message, picture, choice
    // and the ending move on as soon as they can.
    if (FILE* f = std::fopen(data.keys.c_str(), "w")) {
        std::fprintf(f, "200 press c\n");
        for (int frame = 202; frame < 3000; frame += 2) std::fprintf(f, "%d press space\n", frame);
        std::fclose(f);
    }
    if (!data.dir.empty()) return data;
    data.dir = scratch;
    for (const char* name : {"game_w.BMP", "black.BMP", "ochi.BMP", "game_w2.BMP", "happy.BMP", "ijyou.BMP",
                             "sakura.BMP", "system.BMP", "system2.BMP"})
        WriteBmp(data.dir + "/" + name, 640, 480, 40);
    for (const char* name : {"stage1.BMP", "stage2.BMP", "stage3.BMP", "sensei.BMP", "hiyori.BMP", "heren.BMP",
                             "fuuya1.BMP", "hiyori2.BMP", "heren2.BMP", "fuuya2.BMP"})
        WriteBmp(data.dir + "/" + name, 512, 272, 60);
    for (const char* name : {"hiyorin.BMP", "Heren3.BMP", "fuuya.BMP"}) WriteBmp(data.dir + "/" + name, 300, 300, 70);
    std::string text;
    for (const char* id = "0123456789#$%&:-?,."; *id; ++id)
        text += std::string("tx") + *id + "A message of about forty characters here.<!\r\n";
    if (FILE* f = std::fopen((data.dir + "/data.txt").c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return data;
}

constexpr long FRAMES = 4600;
constexpr long ROLL_FRAMES = 56 + 1371 + 320;  // fade-in, credits and "The End" rising to its stop

// Runs the game binary on the data and key script for FRAMES frames; 1 when it exits with 0.
int RunGame(const std::string& trace, bool script) {
    const BenchData& data = Data();
    std::vector<std::string> words = {"--headless", "--data", data.dir, "--keys", data.keys, "--frames",
                                      std::to_string(FRAMES)};
    if (!trace.empty()) words.insert(words.end(), {"--trace", trace});
    if (!script) words.push_back("--builtin-story");
    return RunGameQuietly(words);
}

// The line of the story script's staff roll ("scenes.txt:N"), or "" when the data has no script.
std::string RollLine() {
    std::ifstream in(Data().dir + "/scenes.txt");
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find("roll ") != std::string::npos && line.find('#') == std::string::npos)
            return "\"scene\":\"scenes.txt:" + std::to_string(n) + "\"";
    return "";
}

// Once, with a trace: the staff roll must start early enough for "The End" to stop before the last frame.
bool ReachesTheEnd(bool script) {
    std::string trace = "/tmp/kirake-story-bench-" + std::to_string(getpid()) + "/trace.jsonl";
    if (!RunGame(trace, script)) return false;
    std::string roll = script ? RollLine() : "\"chapter\":5,\"step\":2,";
    std::ifstream in(trace);
    std::string line;
    for (long frame = 0; !roll.empty() && std::getline(in, line); ++frame)
        if (line.find(roll) != std::string::npos) return frame + ROLL_FRAMES < FRAMES;
    return false;
}

void BM_StoryPlaythrough(benchmark::State& state) {
    bool script = state.range(0) == 1;
    if (script && RollLine().empty()) {
        state.SkipWithError("the data has no story script");
        return;
    }
    if (!ReachesTheEnd(script)) {
        state.SkipWithError("the playthrough does not reach \"The End\" stopped");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int ok = RunGame("", script);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok) {
            state.SkipWithError("the game did not exit with 0");
            return;
        }
        total += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["frames"] = double(FRAMES);
    state.counters["frames_per_second"] = benchmark::Counter(double(FRAMES) * double(state.iterations()) / total);
}
BENCHMARK(BM_StoryPlaythrough)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
