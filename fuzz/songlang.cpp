// The song language: fuzzed source compiled, and encoded when it compiles.
#include <string>
#include "song/songlang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CompiledSong song;
    std::vector<std::string> messages;
    if (CompileSongText(text, "fuzz.song", &song, &messages)) {
        std::vector<uint8_t> bytes = EncodeSong(song);
        if (bytes.size() != 1048 + 16 * size_t(song.trackLength)) __builtin_trap();
    }
    return 0;
}
