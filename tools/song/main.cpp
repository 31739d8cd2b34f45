#include <cstdio>
#include <cstring>
#include "read_input.h"
#include "song_tool.h"
#include "tool_help.h"

static const char help[] =
    "Usage: kirake-song compile SONG.song -o SONG.pmd\n"
    "  or:  kirake-song render FILE.pmd OUT.wav [--seconds S]\n"
    "  or:  kirake-song info FILE.pmd\n"
    "  or:  kirake-song plot SONG.song|SONG.pmd OUT.png\n"
    "Makes the game's songs and shows them: compiles a song from the song language into the game's song\n"
    "file, plays a song file into a WAV with the game's own sequencer, describes a song file, or draws a\n"
    "song (a source or a song file) as a piano roll with its instruments' waves and envelopes (PNG).\n"
    "\n"
    "Options:\n"
    "  -o SONG.pmd    compile: the song file to write\n"
    "  --seconds S    render: how many seconds to play (default: one pass and two seconds to ring out)\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 on success, 1 on a fault in the input, 2 on a bad command line.\n";

static int SongMain(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-song", help)) return 0;
    if (argc >= 2 && std::strcmp(argv[1], "compile") == 0) return SongCompileMain(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "render") == 0) return SongRenderMain(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return SongInfoMain(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "plot") == 0) return SongPlotMain(argc - 1, argv + 1);
    std::fprintf(stderr,
                 "usage: kirake-song compile SONG.song -o SONG.pmd\n"
                 "       kirake-song render FILE.pmd OUT.wav [--seconds S]\n"
                 "       kirake-song info FILE.pmd\n"
                 "       kirake-song plot SONG.song|SONG.pmd OUT.png\n");
    return 2;
}

int main(int argc, char** argv) {
    return GuardToolMain("kirake-song", [&] { return SongMain(argc, argv); });
}
