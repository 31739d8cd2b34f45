// Inside the platform: what a text source gives the one text drawing core (text.cpp). A source finds
// fonts and draws their characters as monochrome ink; the core keeps them, picks the colour and paints.
#pragma once
#include <cstdint>
#include <vector>

struct Glyph {
    int advance = 0;            // pixels the pen moves on
    int left = 0, top = 0;      // where the ink starts: right of the pen, below the top of the text cell
    int width = 0, height = 0;
    std::vector<uint8_t> ink;   // width * height, 1 = painted
};

struct TextSource {
    // A font from a face name (code page 932 bytes, at most 31), a cell height, a weight and a
    // pitch-and-family byte, with its cell height in *cellHeight; null when the source has no such font.
    // Asked once for each font; the source keeps what it returns for the program's life.
    void* (*openFont)(const char* faceName, int height, int weight, int pitchAndFamily, int* cellHeight);
    // The glyph of a character of the font; one the font lacks stays empty (no ink, no advance).
    void (*drawGlyph)(void* font, uint32_t character, Glyph* glyph);
};
