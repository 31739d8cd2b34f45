// kirake-art SOURCE.pic OUT.bmp [--preview OUT.png] [-I DIR]...
// Draws a picture source into an 8-bit BMP (and optionally a PNG preview). Exit code 0 on success,
// 1 on a fault in the source (reported on stderr, nothing written), 2 on bad usage.
// kirake-art import IN.png OUT.BMP|OUT.pic [options]: a PNG made into a picture of the palette
// (import.cpp).
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
    "  or:  kirake-art import IN.png OUT.BMP|OUT.pic [IMPORT OPTION]...\n"
    "Draws the game's 8-bit BMP pictures from picture sources and PNGs; nothing is written on a fault.\n"
    "\n"
    "Options:\n"
    "  --preview OUT.png  also write the picture as a PNG, to look at\n"
    "  -I DIR             look for included files and palettes in DIR too (repeatable)\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "import makes a PNG (at most 1024x1024) into a picture of the story's palette: OUT.BMP is the\n"
    "game's 8-bit BMP, OUT.pic a picture source (\"pixels\" lines, one a row) to draw on further.\n"
    "Each pixel takes the palette colour nearest to it (CIE Lab). Import options:\n"
    "  --palette FILE.pal  the palette (default: pictures/main.pal of the story project that OUT or\n"
    "                      IN lies in; the one used is said)\n"
    "  --range A-B         the palette indexes the picture may use (default 0-206, the pictures' part\n"
    "                      of the palette plan); 9, the transparent key, is never chosen for a colour\n"
    "  --dither            Floyd-Steinberg error diffusion instead of the nearest colour alone\n"
    "  --key R,G,B         pixels of this colour become the transparent index 9\n"
    "  --key-alpha         pixels more than half transparent become the transparent index 9\n"
    "  --size WxH          refuse a PNG of any other size\n"
    "\n"
    "Exit status: 0 when the picture is written, 1 on a fault in the source or the PNG, 2 on a bad\n"
    "command line.\n";

static int ArtMain(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-art", help)) return 0;
    if (argc > 1 && std::strcmp(argv[1], "import") == 0) {
        for (int i = 2; i < argc; ++i)
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                std::fputs(help, stdout);
                return 0;
            }
        return ImportCommand(argc - 1, argv + 1);
    }
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
