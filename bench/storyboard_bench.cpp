// The storyboard of the default data: every path played, every page captured, the checker run and the page
// written, by the kirake-storyboard binary built beside the benchmark. Goal: under 10 s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <string>

namespace {

std::string BuildDir() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));
    return dir.substr(0, dir.rfind('/'));
}

void BM_StoryboardOfTheDefaultData(benchmark::State& state) {
    std::string build = BuildDir(), tool = build + "/tools/storyboard/kirake-storyboard",
                data = build + "/gamedata", out = "/tmp/kirake-storyboard-bench-" + std::to_string(getpid());
    if (access(tool.c_str(), X_OK) != 0 || access((data + "/data.txt").c_str(), R_OK) != 0) {
        state.SkipWithError("no kirake-storyboard or no default data in the build");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        pid_t pid = fork();
        if (pid == 0) {
            int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0) dup2(quiet, 1), dup2(quiet, 2);
            execl(tool.c_str(), "kirake-storyboard", data.c_str(), out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("kirake-storyboard failed");
        // The processor time of the tool and the paths it forked: what the time is on an idle machine.
        cpu += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    std::system(("rm -rf '" + out + "'").c_str());
}
BENCHMARK(BM_StoryboardOfTheDefaultData)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
