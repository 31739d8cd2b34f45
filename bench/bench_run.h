// Benchmarks that time the game binary as a player starts it: where it is and one quiet run of it.
#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <string>
#include <vector>

// A file of the build, by its path from the benchmark's own folder ("/../src/kirake"); "" when unknown.
inline std::string BesideBenchmark(const std::string& path) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    std::string dir(exe);
    return dir.substr(0, dir.rfind('/')) + path;
}

// Runs the game built beside the benchmark with these words (after the program's name), its output
// thrown away, with the environment's "NAME=VALUE" words added; 1 when it exits with 0.
inline int RunGameQuietly(std::vector<std::string> words, std::vector<std::string> environment = {}) {
    std::string binary = BesideBenchmark("/../src/kirake");
    words.insert(words.begin(), "kirake");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) dup2(quiet, 1), dup2(quiet, 2);
        for (std::string& variable : environment) putenv(variable.data());
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
