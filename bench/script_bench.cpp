// Reading the default story's script: the time from scenes.txt on disk to a program ready to play (every
// line read, every jump resolved), which the game spends once at start-up and again at each save under
// --watch; and that with the check of the story's text against it (every message the script names found,
// every typed line, answer and credit measured), as the game does after each save.
#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include "platform/platform.h"
#include "story/script.h"
#include "text/text.h"

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

void BM_ReadAndCheckDefaultScript(benchmark::State& state) {
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(KIRAKE_DATA_DIR) != 0) {
        state.SkipWithError("no default data");
        return;
    }
    PlatformOptions options;
    options.headless = true;
    std::string why;
    PlatformStart(options, &why);
    LoadScriptText(1);
    std::vector<std::string> findings;
    for (auto _ : state) {
        scriptPlayer.active = ReadDataFolderScript(&scriptPlayer.program) && scriptPlayer.program.problems.empty();
        CheckScriptText(&findings);
        benchmark::DoNotOptimize(findings.data());
    }
    if (!scriptPlayer.active || !findings.empty())
        state.SkipWithError(findings.empty() ? "the default script does not read" : findings[0].c_str());
    scriptPlayer = ScriptPlayer{};
    PlatformStop();
    if (chdir(previous) != 0) state.SkipWithError("cannot go back");
}
BENCHMARK(BM_ReadAndCheckDefaultScript)->Unit(benchmark::kMicrosecond);

}  // namespace
