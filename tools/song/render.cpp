#include <cstdio>
#include "song_tool.h"

int SongRenderMain(int, char**) {
    std::fprintf(stderr, "kirake-song: render is not built yet\n");
    return 1;
}
