// Glyph files: the glyphs of fonts drawn beforehand by the desktop's text source (kirake-glyphs), for the
// text source of the builds without FreeType (web/text_glyphs.cpp). All numbers little-endian:
//   "KGLY" u16 version u16 fonts
//   per font: u8 name length, name bytes (as the program stores them), i16 height, i16 weight,
//             u8 pitch-and-family, u16 cell height, then its glyphs:
//     version 1: the 95 printable ASCII characters 0x20-0x7E in order;
//     version 2: u32 count, then per glyph u32 code point (strictly rising, at most 0x10FFFF) before it.
//   a glyph: i16 advance, i16 left, i16 top (ink offset from the pen, top from the cell top),
//            u16 width, u16 height, ceil(width*height/8) bytes of ink bits, row by row, high bit first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/glyphs.h"

struct GlyphFileFont {
    std::string name;
    int height = 0, weight = 0, pitchAndFamily = 0;
    int cellHeight = 0;
    std::map<uint32_t, Glyph> glyphs;  // by code point
};

constexpr int GLYPH_FILE_MAX_FONTS = 64, GLYPH_FILE_MAX_SIDE = 1024;
// A story in UTF-8 brings the glyphs of its characters beyond ASCII in its data folder, in this file; it
// is read up to this size (the glyphs of some thousand characters take well under 1 MiB).
constexpr char STORY_GLYPH_FILE[] = "glyphs.kfnt";
constexpr uint64_t MAX_GLYPH_FILE_BYTES = uint64_t(16) << 20;

// Reads a glyph file of version 1 or 2, every length and count checked against the bytes there are.
// Appends the fonts read whole; a damaged file gives the fonts before the damage. 1 when the whole file
// was read; 0 when it is no glyph file, of another version, or damaged.
int ReadGlyphFile(const uint8_t* bytes, size_t size, std::vector<GlyphFileFont>* fonts);
// The fonts as a version 2 file. Sides beyond GLYPH_FILE_MAX_SIDE and names beyond 255 bytes are cut.
std::vector<uint8_t> WriteGlyphFile(const std::vector<GlyphFileFont>& fonts);
