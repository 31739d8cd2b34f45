#include <cstdio>
#include "song_tool.h"

int SongCompileMain(int, char**) {
    std::fprintf(stderr, "kirake-song: compile is not built yet\n");
    return 1;
}
