// Glyph files (glyph_file.h): read with every length checked, written in version 2.
#include "platform/core/glyph_file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t LAST_CODE_POINT = 0x10FFFF;
constexpr size_t GLYPH_HEAD = 10;  // advance, left, top, width, height

struct Reader {
    const uint8_t* bytes;
    size_t size, at = 0;
    bool ok = true;
    size_t left() const { return size - at; }
    int u8() {
        if (!ok || at >= size) return ok = false, 0;
        return bytes[at++];
    }
    int u16() { int low = u8(); return low | u8() << 8; }
    int i16() { return int16_t(uint16_t(u16())); }
    uint32_t u32() { uint32_t low = uint32_t(u16()); return low | uint32_t(u16()) << 16; }
};

bool ReadGlyph(Reader& in, Glyph* glyph) {
    glyph->advance = in.i16();
    glyph->left = in.i16();
    glyph->top = in.i16();
    glyph->width = in.u16();
    glyph->height = in.u16();
    if (!in.ok || glyph->width > GLYPH_FILE_MAX_SIDE || glyph->height > GLYPH_FILE_MAX_SIDE) return false;
    size_t cells = size_t(glyph->width) * size_t(glyph->height), length = (cells + 7) / 8;
    if (length > in.left()) return false;
    glyph->ink.resize(cells);
    for (size_t i = 0; i < cells; ++i) glyph->ink[i] = (in.bytes[in.at + i / 8] >> (7 - i % 8)) & 1;
    in.at += length;
    return true;
}

struct Writer {
    std::vector<uint8_t> bytes;
    void u8(int v) { bytes.push_back(uint8_t(v)); }
    void u16(int v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
    void u32(uint32_t v) { u16(int(v & 0xFFFF)); u16(int(v >> 16)); }
};

}  // namespace

int ReadGlyphFile(const uint8_t* bytes, size_t size, std::vector<GlyphFileFont>* fonts) {
    if (!bytes || size < 8 || std::memcmp(bytes, "KGLY", 4) != 0) return 0;
    Reader in{bytes, size, 4};
    int version = in.u16(), count = in.u16();
    if ((version != 1 && version != 2) || count > GLYPH_FILE_MAX_FONTS) return 0;
    for (int f = 0; f < count; ++f) {
        GlyphFileFont font;
        int length = in.u8();
        if (!in.ok || size_t(length) > in.left()) return 0;
        font.name.assign(reinterpret_cast<const char*>(bytes + in.at), size_t(length));
        in.at += size_t(length);
        font.height = in.i16();
        font.weight = in.i16();
        font.pitchAndFamily = in.u8();
        font.cellHeight = in.u16();
        if (version == 1) {
            for (uint32_t c = 0x20; c <= 0x7E; ++c)
                if (!ReadGlyph(in, &font.glyphs[c])) return 0;
        } else {
            uint32_t glyphs = in.u32();
            // Each glyph takes 14 bytes at least: a count beyond what is left is damage, not a size to make.
            if (!in.ok || glyphs > in.left() / (4 + GLYPH_HEAD)) return 0;
            uint32_t previous = 0;
            for (uint32_t g = 0; g < glyphs; ++g) {
                uint32_t codePoint = in.u32();
                if (!in.ok || codePoint > LAST_CODE_POINT || (g > 0 && codePoint <= previous)) return 0;
                previous = codePoint;
                Glyph glyph;
                if (!ReadGlyph(in, &glyph)) return 0;
                font.glyphs.emplace_hint(font.glyphs.end(), codePoint, std::move(glyph));
            }
        }
        if (!in.ok) return 0;
        fonts->push_back(std::move(font));
    }
    return in.at == size;
}

std::vector<uint8_t> WriteGlyphFile(const std::vector<GlyphFileFont>& fonts) {
    Writer out;
    for (char c : std::string("KGLY")) out.u8(c);
    out.u16(2);
    size_t count = std::min<size_t>(fonts.size(), GLYPH_FILE_MAX_FONTS);
    out.u16(int(count));
    for (size_t f = 0; f < count; ++f) {
        const GlyphFileFont& font = fonts[f];
        size_t length = std::min<size_t>(font.name.size(), 255);
        out.u8(int(length));
        out.bytes.insert(out.bytes.end(), font.name.begin(), font.name.begin() + ptrdiff_t(length));
        out.u16(font.height);
        out.u16(font.weight);
        out.u8(font.pitchAndFamily);
        out.u16(font.cellHeight);
        out.u32(uint32_t(font.glyphs.size()));
        for (const auto& [codePoint, glyph] : font.glyphs) {
            int width = std::clamp(glyph.width, 0, GLYPH_FILE_MAX_SIDE);
            int height = std::clamp(glyph.height, 0, GLYPH_FILE_MAX_SIDE);
            if (glyph.ink.size() < size_t(std::max(glyph.width, 0)) * size_t(std::max(glyph.height, 0))) width = height = 0;
            out.u32(codePoint);
            out.u16(glyph.advance);
            out.u16(glyph.left);
            out.u16(glyph.top);
            out.u16(width);
            out.u16(height);
            std::vector<uint8_t> bits((size_t(width) * size_t(height) + 7) / 8, 0);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    size_t i = size_t(y) * size_t(width) + size_t(x);
                    if (glyph.ink[size_t(y) * size_t(glyph.width) + size_t(x)]) bits[i / 8] |= uint8_t(0x80 >> (i % 8));
                }
            out.bytes.insert(out.bytes.end(), bits.begin(), bits.end());
        }
    }
    return out.bytes;
}
