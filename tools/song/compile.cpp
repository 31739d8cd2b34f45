// kirake-song compile SONG.song -o SONG.pmd
#include <cstdio>
#include <cstring>
#include <string>
#include "../common/read_input.h"
#include "../common/wav58.h"
#include "song_tool.h"
#include "songlang.h"

int SongCompileMain(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            output = argv[++i];
        else if (!input)
            input = argv[i];
        else
            input = nullptr, i = argc;  // too many names
    }
    if (!input || !output) {
        std::fprintf(stderr, "usage: kirake-song compile SONG.song -o SONG.pmd\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadInputFile(input, MAX_SOURCE_BYTES, &bytes, &why)) {
        std::fprintf(stderr, "kirake-song: %s: %s\n", input, why.c_str());
        return 1;
    }
    CompiledSong song;
    std::vector<std::string> messages;
    bool ok = CompileSongText(std::string(bytes.begin(), bytes.end()), input, &song, &messages);
    for (const std::string& message : messages) std::fprintf(stderr, "%s\n", EscapeBytes(message).c_str());
    if (!ok) return 1;
    if (!WriteFileBytes(output, EncodeSong(song))) {
        std::fprintf(stderr, "kirake-song: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
