// Reading the default story's script: the time from scenes.txt on disk to a program ready to play (every
// line read, every jump resolved), which the game spends once at start-up and again at each save under
// --watch.
#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>
#include <string>
#include "story/script.h"

namespace {

void BM_ReadDefaultScript(benchmark::State& state) {
    std::string path = std::string(KIRAKE_SOURCE_DIR) + "/data/story/scenes.txt";
    ScriptFileReader reader = [&](const std::string&, std::string* text, std::string* why) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return *why = "missing", 0;
        text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return 1;
    };
    ScriptProgram program;
    for (auto _ : state) {
        int ok = ReadScript("scenes.txt", reader, &program);
        benchmark::DoNotOptimize(ok);
        if (!ok) {
            state.SkipWithError(program.problems.empty() ? "no program" : ProblemText(program.problems[0]).c_str());
            return;
        }
    }
    state.counters["commands"] = double(program.commands.size());
}
BENCHMARK(BM_ReadDefaultScript)->Unit(benchmark::kMicrosecond);

}  // namespace
