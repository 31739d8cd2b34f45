// kirake-storyboard DATA OUT/: plays every path of the story on the data folder without a display and
// writes OUT/index.html with a picture of every page and scene, and the checker's findings beside them.
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include "read_input.h"
#include "storyboard.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
const char usage[] =
    "Usage: kirake-storyboard [OPTION]... DATA OUT\n"
    "Plays every path of the story in the data folder DATA without a display, and writes OUT/index.html:\n"
    "each page of each message as it waits for a key and each scene that waits for the player, once, with\n"
    "the paths it lies on, the song playing and the checker's findings beside the page they concern.\n"
    "Pictures go to OUT/pages/.\n"
    "\n"
    "A folder with a story script (scenes.txt) is played from it: every answer of every choice and every\n"
    "outcome of every draw (outcomes that lead the story on alike are taken once), each page and scene\n"
    "labelled by its place in the script. A folder without one plays the built-in story's 18 paths (every\n"
    "first answer, every answer to the route's question, match and miss).\n"
    "\n"
    "Options:\n"
    "  --check PROGRAM  the checker to run (default: kirake-check beside this program, then on the PATH)\n"
    "  --builtin-story  play the built-in story even where the folder has a story script\n"
    "  --frames N       a path is played at most N frames, 40000 by default (11 minutes at 60 frames a\n"
    "                   second): one still going then stops there, and the page and the messages say so;\n"
    "                   a longer story needs more\n"
    "  --loops N        a path that meets one choice or draw more than N times ends there: a loop is\n"
    "                   followed N times (default 3)\n"
    "  --paths N        play at most N paths of a script (default 200)\n"
    "  -h, --help       show this help and exit\n"
    "      --version    show the version and exit\n"
    "\n"
    "Exit status: 0 when every path was played to its end (the staff roll, the script's last line, or a\n"
    "loop followed N times), 1 when a path stopped, the script cannot be played, paths were left over\n"
    "--paths or a file could not be written, 2 on a bad command line.\n";

// A whole number from MIN to MAX, all of `text`.
bool ParseCount(const char* text, long min, long max, long* value) {
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 10);
    if (errno || end == text || *end || number < min || number > max) return false;
    *value = number;
    return true;
}

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
    BoardOptions options;
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
        } else if (arg == "--builtin-story") {
            options.builtin = true;
        } else if ((arg == "--frames" || arg == "--loops" || arg == "--paths") && i + 1 < argc) {
            long value = 0;
            long max = arg == "--frames" ? 100000000 : arg == "--loops" ? 1000 : 1000000;
            if (!ParseCount(argv[++i], 1, max, &value)) {
                std::fprintf(stderr, "kirake-storyboard: %s takes a whole number from 1 to %ld, not \"%s\"\n%s",
                             arg.c_str(), max, argv[i], usage);
                return 2;
            }
            if (arg == "--frames") options.frameLimit = value;
            else if (arg == "--loops") options.loopLimit = int(value);
            else options.pathLimit = int(value);
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

    PlayedStory played;
    std::string why;
    if (!PlayEveryPath(data, out, options, &played, &why)) {
        std::fprintf(stderr, "kirake-storyboard: %s\n", why.c_str());
        return 1;
    }
    for (const std::string& problem : played.problems)
        std::fprintf(stderr, "kirake-storyboard: the story script cannot be played: %s\n", problem.c_str());
    int unfinished = 0, atLimit = 0;
    for (size_t p = 0; p < played.moments.size(); ++p) {
        unfinished += PathFinished(played, p) ? 0 : 1;
        atLimit += PathAtFrameLimit(played, p) ? 1 : 0;
    }
    if (unfinished)
        std::fprintf(stderr, "kirake-storyboard: %d of %zu paths stopped before %s (the page names them)\n",
                     unfinished, played.moments.size(), played.script ? "their end" : "the staff roll");
    if (atLimit)
        std::fprintf(stderr,
                     "kirake-storyboard: %d of them %s still going at the frame limit of %ld frames; a longer story "
                     "needs a higher --frames\n",
                     atLimit, atLimit == 1 ? "was" : "were", options.frameLimit);
    if (played.capped)
        std::fprintf(stderr, "kirake-storyboard: more paths were left after the first %zu (--paths)\n",
                     played.moments.size());
    BoardPage page = played.script ? DescribeScript(played) : DescribeBuiltin(played);
    BoardStats stats;
    if (!WriteBoard(out, data, page, script, findings, &stats, &why)) {
        std::fprintf(stderr, "kirake-storyboard: %s\n", why.c_str());
        return 1;
    }
    std::printf("%s/index.html: %zu paths, %d moments (%d message pages, %d scenes), %d findings, %d lines too long\n",
                out.c_str(), played.moments.size(), stats.items, stats.pages, stats.scenes, stats.findings,
                stats.overlong);
    return unfinished || played.capped || !played.problems.empty() ? 1 : 0;
}
