// kirake-song compile SONG.song -o SONG.pmd
#include <cstdio>
#include <cstring>
#include <string>
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
    // Read with C streams: the C++ ones would bring their locale code into the program (on Windows,
    // half of its size).
    std::string text;
    FILE* file = std::fopen(input, "rb");
    if (file) {
        char block[4096];
        for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, n);
    }
    if (!file || std::ferror(file)) {
        if (file) std::fclose(file);
        std::fprintf(stderr, "kirake-song: cannot read %s\n", input);
        return 1;
    }
    std::fclose(file);
    CompiledSong song;
    std::vector<std::string> messages;
    bool ok = CompileSongText(text, input, &song, &messages);
    for (const std::string& message : messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (!ok) return 1;
    if (!WriteFileBytes(output, EncodeSong(song))) {
        std::fprintf(stderr, "kirake-song: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
