// kirake-song plot where the build has no cairo to draw with (the Windows build).
#include <cstdio>
#include "song_tool.h"

int SongPlotMain(int, char**) {
    std::fprintf(stderr, "kirake-song plot: this build cannot draw pictures (use the Linux build)\n");
    return 2;
}
