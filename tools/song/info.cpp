#include <cstdio>
#include "song_tool.h"

int SongInfoMain(int, char**) {
    std::fprintf(stderr, "kirake-song: info is not built yet\n");
    return 1;
}
