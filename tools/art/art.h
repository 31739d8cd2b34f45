// kirake-art: pictures drawn from small text sources onto an 8-bit palette.
//
// A picture source is a list of drawing commands, one a line. Colours are named entries of a palette
// file (.pal); every shape is filled or stroked in exactly one palette index, without anti-aliasing, so
// the result is a plain index image that is written as an 8-bit BMP with the palette as its colour table.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct ArtError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What one picture may read and draw. Each file read (the source, an include, a palette) is at most
// MAX_PICTURE_SOURCE_BYTES, and so is the picture's text with every include's counted each time it is
// met; at most MAX_PICTURE_INCLUDES includes are met in all. Drawing costs the pixels each command may
// paint (the part of the picture its shape covers) and MAX_PICTURE_COMMAND_COST for the command itself:
// at most MAX_PICTURE_DRAWING_COST in all.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr uint64_t MAX_PICTURE_SOURCE_BYTES = uint64_t(1) << 20;
constexpr long MAX_PICTURE_INCLUDES = 1024;
constexpr double MAX_PICTURE_DRAWING_COST = double(1 << 26);
#else  // fuzzers: small inputs reach the limits, and a run stays short
constexpr uint64_t MAX_PICTURE_SOURCE_BYTES = uint64_t(16) << 10;
constexpr long MAX_PICTURE_INCLUDES = 16;
constexpr double MAX_PICTURE_DRAWING_COST = double(1 << 16);
#endif
constexpr double MAX_PICTURE_COMMAND_COST = 1024;

struct Palette {
    uint8_t rgb[256][3] = {};
    bool assigned[256] = {};
    std::map<std::string, int> names;
};

// One command line: its words (a quoted string is one word, quotes removed) and where it came from.
struct Command {
    std::vector<std::string> words;
    std::string where;  // "file:line"
};

// What a source defines and names is shared, never changed once read: the palettes and the defs of an
// include that many sources name are read once.
using Commands = std::vector<Command>;

struct Program {
    int width = 0, height = 0;
    std::shared_ptr<const Palette> palette;  // none until a "palette" line
    std::vector<Command> main;
    std::map<std::string, std::shared_ptr<const Commands>> defs;
    std::vector<std::string> searchDirs;
};

struct IndexImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // top row first
};

// Splits one source line (line index of file) into words; '#' outside quotes starts a comment. Throws
// ArtError.
std::vector<std::string> SplitWords(const std::string& line, const std::string& file, size_t index);
// Reads a palette file into `palette` (a "base NAME" line first loads another palette). Throws ArtError.
void LoadPalette(const std::string& name, const std::vector<std::string>& dirs, Palette& palette, int depth = 0);
// The palette LoadPalette reads from nothing, kept (the last few) for the next source that names it: read
// again only when one of the files it came from reads differently (or another file is found first).
// Throws ArtError.
std::shared_ptr<const Palette> KeptPalette(const std::string& name, const std::vector<std::string>& dirs);
// Drops the includes and palettes this thread keeps (the next read of each reads its files).
void ForgetKeptSources();
// Reads a picture source (with its includes, defs and palette). Throws ArtError.
void LoadProgram(const std::string& path, Program& program);
// The family fontconfig gives for `family` when it is another one (the font is not installed), else "".
std::string SubstitutedFontFamily(const std::string& family, bool bold);
// While *flag is set, reading and drawing on this thread stop at the next include or command with an
// ArtError (the game abandons a rebuild so when it quits); null: never.
void SetArtStop(const std::atomic<bool>* flag);
// Throws the ArtError that says so when the flag set for this thread is set.
void ArtStopPoint();
// Draws the program. Throws ArtError.
IndexImage Render(const Program& program);
// The bytes of an 8-bit BMP with a 256-entry colour table.
std::vector<uint8_t> EncodeBmp(const IndexImage& image, const Palette& palette);
// A true-colour PNG preview of the image (for looking at it).
void WritePreview(const IndexImage& image, const Palette& palette, const std::string& path);
// kirake-art import IN.png OUT.BMP|OUT.pic [options] (argv[0] is "import"): a PNG made into a picture of a
// palette. The exit status: 0 written, 1 a fault in the PNG or the palette, 2 a bad command line.
int ImportCommand(int argc, char** argv);
