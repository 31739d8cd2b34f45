// The picture source language of kirake-art: a fuzzed source (with the default pictures' includes and
// palettes within reach) read, drawn and encoded. It is drawn on at most 96 x 72 pixels: what lies
// further out is clipped as at any size, and a run stays short.
#include <algorithm>
#include <string>
#include "art/art.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzFolder() + "/fuzz.pic";
    if (!WriteBytes(path, data, size)) return 0;
    Program program;
    program.searchDirs = {FuzzFolder(), KIRAKE_SOURCE_DIR "/data/pictures"};
    try {
        LoadProgram(path, program);
        program.width = std::min(program.width, 96);
        program.height = std::min(program.height, 72);
        IndexImage image = Render(program);
        EncodeBmp(image, *program.palette);
    } catch (const ArtError&) {
    }
    return 0;
}
