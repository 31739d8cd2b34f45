// kirake-storyboard DATA OUT/: plays every path of the story on the data folder without a display and
// writes OUT/index.html with a picture of every page and scene, and the checker's findings beside them.
#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include "read_input.h"
#include "storyboard.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
const char usage[] =
    "Usage: kirake-storyboard [--check PROGRAM] DATA OUT\n"
    "Plays every path of the story in the data folder DATA without a display (every first answer, every\n"
    "answer to the route's question, match and miss) and writes OUT/index.html: each page of each message\n"
    "as it waits for a key and each scene, once, with the paths it lies on, the song playing and the\n"
    "checker's findings beside the page they concern. Pictures go to OUT/pages/.\n"
    "\n"
    "Options:\n"
    "  --check PROGRAM  the checker to run (default: kirake-check beside this program, then on the PATH)\n"
    "  -h, --help       show this help and exit\n"
    "      --version    show the version and exit\n"
    "\n"
    "Exit status: 0 when every path was played, 1 when a path stopped or a file could not be written,\n"
    "2 on a bad command line.\n";

// kirake-check beside this program (installed) or in the build tree's tools folder; else the PATH's.
std::string FindChecker() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        fs::path dir = fs::path(exe).parent_path();
        for (fs::path candidate : {dir / "kirake-check", dir.parent_path() / "check" / "kirake-check"})
            if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return "kirake-check";
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    fs::path p = fs::absolute(path, error);
    return error ? path : p.lexically_normal().string();
}
}  // namespace

static int StoryboardMain(int argc, char** argv);

int main(int argc, char** argv) {
    return GuardToolMain("kirake-storyboard", [&] { return StoryboardMain(argc, argv); });
}

static int StoryboardMain(int argc, char** argv) {
    std::string checker, data, out;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("kirake-storyboard %s\n", KIRAKE_VERSION);
            return 0;
        } else if (arg == "--check" && i + 1 < argc) {
            checker = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "kirake-storyboard: unknown option \"%s\"\n%s", arg.c_str(), usage);
            return 2;
        } else if (data.empty()) {
            data = arg;
        } else if (out.empty()) {
            out = arg;
        } else {
            std::fprintf(stderr, "kirake-storyboard: one data folder and one output folder\n%s", usage);
            return 2;
        }
    }
    if (data.empty() || out.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    data = Absolute(data);
    out = Absolute(out);
    std::error_code error;
    if (!fs::is_directory(data, error)) {
        std::fprintf(stderr, "kirake-storyboard: %s is not a folder\n", data.c_str());
        return 1;
    }
    fs::create_directories(out, error);
    if (checker.empty()) checker = FindChecker();

    std::vector<Finding> findings;
    if (!RunChecker(checker, data, &findings))
        std::fprintf(stderr, "kirake-storyboard: could not run the checker %s; going on without it\n",
                     checker.c_str());

    std::vector<uint8_t> script;
    for (const auto& entry : fs::directory_iterator(data, error)) {
        std::string name = entry.path().filename().string();
        if (strcasecmp(name.c_str(), "data.txt") != 0) continue;
        std::string why;  // what the game does not read is drawn as no script
        if (!ReadInputFile(entry.path().string(), MAX_SCRIPT_BYTES, &script, &why))
            std::fprintf(stderr, "kirake-storyboard: %s: %s\n", entry.path().c_str(), why.c_str());
    }

    std::vector<StoryPath> paths;
    std::vector<std::vector<Moment>> moments;
    std::string why;
    if (!PlayEveryPath(data, out, &paths, &moments, &why)) {
        std::fprintf(stderr, "kirake-storyboard: %s\n", why.c_str());
        return 1;
    }
    int unfinished = 0;
    for (size_t p = 0; p < moments.size(); ++p)
        if (moments[p].empty() || moments[p].back().scene != "roll") ++unfinished;
    if (unfinished)
        std::fprintf(stderr, "kirake-storyboard: %d of %zu paths stopped before the staff roll (the page names them)\n",
                     unfinished, moments.size());
    BoardStats stats;
    if (!WriteBoard(out, data, paths, moments, script, findings, &stats, &why)) {
        std::fprintf(stderr, "kirake-storyboard: %s\n", why.c_str());
        return 1;
    }
    std::printf("%s/index.html: %zu paths, %d moments (%d message pages, %d scenes), %d findings, %d lines too long\n",
                out.c_str(), paths.size(), stats.items, stats.pages, stats.scenes, stats.findings, stats.overlong);
    return unfinished ? 1 : 0;
}
