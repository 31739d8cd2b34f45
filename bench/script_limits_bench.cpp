// Reading the largest script the game takes in names: 100,000 commands, half of them labels and half
// variables, each name new, and a jump to the last label. Its time should grow with the script, not with
// the square of its names (50 s once; about 0.1 s now).
#include <benchmark/benchmark.h>
#include <string>
#include "story/script.h"

namespace {

void BM_ReadScriptOfManyNames(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 50000; ++i) text += "label l" + std::to_string(i) + "\n";
    for (int i = 0; i < 49999; ++i) text += "set v" + std::to_string(i) + " 1\n";
    text += "goto l49999\n";
    ScriptFileReader reader = [&](const std::string&, std::string* out, std::string*) { return *out = text, 1; };
    ScriptProgram program;
    for (auto _ : state) {
        int ok = ReadScript("scenes.txt", reader, &program);
        benchmark::DoNotOptimize(ok);
        if (!ok) return state.SkipWithError(ProblemText(program.problems.at(0)).c_str());
    }
    state.counters["commands"] = double(program.commands.size());
}
BENCHMARK(BM_ReadScriptOfManyNames)->Unit(benchmark::kMillisecond);

}  // namespace
