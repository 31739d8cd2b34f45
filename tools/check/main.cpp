// kirake-check DIR: the data checker's command line (check.h does the checking).
#include <cstdio>
#include <sys/stat.h>
#include <string>
#include "check.h"
#include "platform/files.h"
#include "read_input.h"
#include "tool_help.h"

static const char help[] =
    "Usage: kirake-check DIR\n"
    "Checks a game data folder: the story text (data.txt), and every picture, sound effect and song the\n"
    "story uses. A folder with a story script (scenes.txt) is checked by what the script does, every way it\n"
    "can go: what the game's reader of the script reports, the messages, pictures, songs and effects it\n"
    "names, variables read before they are set, scenes and labels no way reaches, and the colours each\n"
    "picture is shown in.\n"
    "Prints one line per problem (FILE:LINE: where the line is known) and ends with a summary line. Lines\n"
    "with \"note:\" (a picture or named message the script never uses) are not problems.\n"
    "\n"
    "Options:\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 when the folder is clean, 1 when it has problems, 2 on a bad command line.\n";

static int CheckCommand(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-check", help)) return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: kirake-check DIR\n");
        return 2;
    }
    struct stat info;
    if (stat(argv[1], &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "kirake-check: %s is not a folder\n", argv[1]);
        return 2;
    }
    // Checked from inside, as the game plays it: what the game finds in its working folder (a story's own
    // glyphs.kfnt, read by the glyph files' text source of the Windows and browser builds) is the story's.
    std::string folder = AbsolutePath(argv[1]);
    if (!ChangeFolder(folder)) {
        std::fprintf(stderr, "kirake-check: cannot enter the folder %s\n", argv[1]);
        return 2;
    }
    int problems = CheckDataFolder(folder);
    if (problems == 0) {
        std::printf("kirake-check: %s is clean\n", argv[1]);
        return 0;
    }
    std::printf("kirake-check: %d problem%s in %s\n", problems, problems == 1 ? "" : "s", argv[1]);
    return 1;
}

int main(int argc, char** argv) {
    return GuardToolMain("kirake-check", [&] { return CheckCommand(argc, argv); });
}
