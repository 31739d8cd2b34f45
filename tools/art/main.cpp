// kirake-art SOURCE.pic OUT.bmp [--preview OUT.png] [-I DIR]...
// Draws a picture source into an 8-bit BMP (and optionally a PNG preview). Exit code 0 on success,
// 1 on a fault in the source (reported on stderr, nothing written), 2 on bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "art.h"
#include "read_input.h"
#include "tool_help.h"

static int Usage() {
    std::fprintf(stderr, "usage: kirake-art SOURCE.pic OUT.bmp [--preview OUT.png] [-I DIR]...\n");
    return 2;
}

static const char help[] =
    "Usage: kirake-art SOURCE.pic OUT.bmp [--preview OUT.png] [-I DIR]...\n"
    "Draws a picture source into the game's 8-bit BMP; nothing is written when the source has a fault.\n"
    "\n"
    "Options:\n"
    "  --preview OUT.png  also write the picture as a PNG, to look at\n"
    "  -I DIR             look for included files and palettes in DIR too (repeatable)\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 when the picture is written, 1 on a fault in the source, 2 on a bad command line.\n";

static int ArtMain(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-art", help)) return 0;
    std::string source, output, preview;
    Program program;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) {
            preview = argv[++i];
        } else if (std::strcmp(argv[i], "-I") == 0 && i + 1 < argc) {
            program.searchDirs.push_back(argv[++i]);
        } else if (argv[i][0] == '-') {
            return Usage();
        } else if (source.empty()) {
            source = argv[i];
        } else if (output.empty()) {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (source.empty() || output.empty()) return Usage();
    try {
        if (!program.searchDirs.empty()) {
            size_t slash = source.find_last_of('/');
            program.searchDirs.insert(program.searchDirs.begin(),
                                      slash == std::string::npos ? "." : source.substr(0, slash));
        }
        LoadProgram(source, program);
        IndexImage image = Render(program);
        std::vector<uint8_t> bytes = EncodeBmp(image, *program.palette);
        std::string temp = output + ".tmp";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) throw ArtError("cannot write " + output);
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = std::fclose(f) == 0 && ok;
        if (!ok || std::rename(temp.c_str(), output.c_str()) != 0) {
            std::remove(temp.c_str());
            throw ArtError("cannot write " + output);
        }
        if (!preview.empty()) WritePreview(image, *program.palette, preview);
    } catch (const ArtError& e) {
        std::fprintf(stderr, "kirake-art: %s\n", e.what());
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    return GuardToolMain("kirake-art", [&] { return ArtMain(argc, argv); });
}
