// Continuing a game left at the staff roll of the longest route (the partner whose way there takes the
// most frames): the kirake binary from its start to the first frame shown, the kept frames played again
// unshown in between (goal: 100 ms). /0 starts afresh from the same kept session, for the start-up alone.
#include <benchmark/benchmark.h>
#include "bench_run.h"
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Kept {
    std::string data, state, keys;
    long frames = 0;  // where the roll begins
};

int Run(const Kept& kept, std::vector<std::string> words) {
    words.insert(words.begin(), {"--headless", "--builtin-story", "--data", kept.data});
    return RunGameQuietly(words, {"XDG_STATE_HOME=" + kept.state});
}

// Once: the way to each partner's roll; the longest is played and kept.
const Kept& KeptAtRoll() {
    static Kept kept;
    if (kept.frames) return kept;
    std::string scratch = "/tmp/kirake-session-bench-" + std::to_string(getpid());
    mkdir(scratch.c_str(), 0755);
    kept.data = BesideBenchmark("/../gamedata");
    kept.state = scratch + "/state";
    for (const char* scene : {"roll:match:hiyori", "roll:match:heren", "roll:match:fuuya", "roll:miss:hiyori",
                              "roll:miss:heren", "roll:miss:fuuya"}) {
        std::string keys = scratch + "/" + scene + ".txt";
        if (!Run(kept, {"--start", scene, "--start-keys", keys, "--frames", "1"})) continue;
        std::ifstream in(keys);
        std::string line;
        long begins = 0;
        while (std::getline(in, line))
            if (line.rfind("# ", 0) == 0) begins = std::atol(line.substr(line.rfind(' ') + 1).c_str());
        if (begins > kept.frames) kept.frames = begins, kept.keys = keys;
    }
    if (kept.frames && !Run(kept, {"--afresh", "--keys", kept.keys, "--frames", std::to_string(kept.frames + 1)}))
        kept.frames = 0;
    return kept;
}

void BM_ContinueAtTheRoll(benchmark::State& state) {
    const Kept& kept = KeptAtRoll();
    if (!kept.frames) {
        state.SkipWithError("no default data, or the roll was not reached");
        return;
    }
    std::string session = kept.state + "/kirake/session";
    std::ifstream in(session, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool continuing = state.range(0) == 1;
    std::string shownAfter = std::to_string(kept.frames + 2);
    for (auto _ : state) {
        std::ofstream(session, std::ios::binary) << bytes;  // each run keeps its own game on quitting
        auto start = std::chrono::steady_clock::now();
        // One frame shown: the one after the frame left, or the title's first.
        int ok = Run(kept, {continuing ? "--continue" : "--afresh", "--frames", continuing ? shownAfter : "1"});
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!ok) {
            state.SkipWithError("the game did not exit with 0");
            return;
        }
    }
    state.counters["frames_replayed"] = continuing ? double(kept.frames + 1) : 0;
}
BENCHMARK(BM_ContinueAtTheRoll)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
