// kirake-song's readers: a fuzzed file described by info, and read by plot (a source compiled, or a song
// file decoded).
#include <cstdio>
#include <string>
#include "song/song_tool.h"
#include "song/songlang.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = FuzzFolder() + "/fuzz.pmd";
    if (!WriteBytes(path, data, size)) return 0;
    char name[] = "info";
    char* argv[] = {name, path.data(), nullptr};
    SongInfoMain(2, argv);
    std::fflush(stdout);
    CompiledSong song{};
    ReadSongToPlot(path.c_str(), &song);
    return 0;
}
