#include <cstdio>
#include <cstring>
#include "song_tool.h"

int main(int argc, char** argv) {
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
