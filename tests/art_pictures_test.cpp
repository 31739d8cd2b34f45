// The built pictures: sizes, colour tables, where the transparent key may appear, the palette bands that
// the title and the fades rely on, and the message box that ClearMessageBox copies onto the window sheet.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace {

struct Picture {
    int width = 0, height = 0, bits = 0, colours = 0;
    uint8_t table[256][3] = {};
    std::vector<uint8_t> pixels;  // top row first
    uint8_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// The picture as the game reads it; bits stays 0 when it is not an 8-bit picture the game can load.
bool ReadPicture(const std::string& path, Picture& p) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bitmap* bitmap = DecodeBitmap(bytes.data(), bytes.size());
    if (!bitmap) return false;
    p.width = bitmap->width;
    p.height = bitmap->height;
    p.bits = 8;
    p.colours = bitmap->colourCount;
    std::memcpy(p.table, bitmap->table, sizeof p.table);
    p.pixels.assign(bitmap->pixels, bitmap->pixels + size_t(p.width) * p.height);
    FreeBitmap(bitmap);
    return true;
}

std::string PicturePath(const std::string& name) { return std::string(KIRAKE_DATA_DIR) + "/bmp/" + name + ".BMP"; }

// Each picture is read once; the map keeps the references it hands out valid.
const Picture& Load(const std::string& name) {
    static std::map<std::string, Picture> cache;
    auto found = cache.find(name);
    if (found != cache.end()) return found->second;
    Picture& p = cache[name];
    EXPECT_TRUE(ReadPicture(PicturePath(name), p)) << name;
    return p;
}

enum class Kind { Window, Stage, Partner, Portrait, Parts };

struct Expected {
    const char* name;
    int width, height;
    Kind kind;
    bool ending;  // carries the ending's colour table
};

const Expected kPictures[] = {
    {"game_w", 640, 480, Kind::Window, false},   {"game_w2", 640, 480, Kind::Window, false},
    {"black", 640, 480, Kind::Window, false},    {"ochi", 640, 480, Kind::Window, false},
    {"happy", 640, 480, Kind::Window, false},    {"ijyou", 640, 480, Kind::Window, false},
    {"sakura", 640, 480, Kind::Window, true},    {"System", 640, 384, Kind::Parts, false},
    {"system2", 640, 384, Kind::Parts, false},   {"stage1", 512, 272, Kind::Stage, false},
    {"stage2", 512, 272, Kind::Stage, false},    {"stage3", 512, 272, Kind::Stage, false},
    {"sensei", 512, 272, Kind::Partner, false},  {"hiyori", 512, 272, Kind::Partner, false},
    {"hiyori2", 512, 272, Kind::Partner, false}, {"heren", 512, 272, Kind::Partner, false},
    {"heren2", 512, 272, Kind::Partner, false},  {"fuuya1", 512, 272, Kind::Partner, false},
    {"fuuya2", 512, 272, Kind::Partner, false},  {"hiyorin", 300, 300, Kind::Portrait, true},
    {"Heren3", 300, 300, Kind::Portrait, true},  {"fuuya", 300, 300, Kind::Portrait, true},
};

long Count(const Picture& p, int x0, int y0, int x1, int y1, bool (*pred)(int)) {
    long n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += pred(p.At(x, y));
    return n;
}

bool IsKey(int i) { return i == 9; }
bool InTitleBand(int i) { return i >= 240 && i <= 254; }
bool InCaptionBand(int i) { return i >= 207 && i <= 239; }

// The index GDI would pick for a colour: the nearest entry, the lowest index on a tie.
int Nearest(const Picture& p, int r, int g, int b) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
        long dr = p.table[i][0] - r, dg = p.table[i][1] - g, db = p.table[i][2] - b;
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

bool SameTable(const Picture& a, const Picture& b) {
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k)
            if (a.table[i][k] != b.table[i][k]) return false;
    return true;
}

TEST(ArtPictures, EveryPictureHasItsSizeAndAFullColourTable) {
    for (const Expected& e : kPictures) {
        SCOPED_TRACE(e.name);
        const Picture& p = Load(e.name);
        EXPECT_EQ(p.width, e.width);
        EXPECT_EQ(p.height, e.height);
        EXPECT_EQ(p.bits, 8);
        EXPECT_EQ(p.colours, 256);
    }
}

TEST(ArtPictures, TheKeyAppearsOnlyWhereTransparencyIsMeant) {
    for (const Expected& e : kPictures) {
        SCOPED_TRACE(e.name);
        const Picture& p = Load(e.name);
        if (p.pixels.empty()) continue;
        long keys = Count(p, 0, 0, p.width, p.height, IsKey);
        long all = long(p.width) * p.height;
        switch (e.kind) {
            case Kind::Window:  // the base layer is drawn keyed too: a 9 would show stale screen
            case Kind::Stage:   // a 9 in the stage would show the window sheet through it
                EXPECT_EQ(keys, 0);
                break;
            case Kind::Partner:
                // a figure on a see-through ground; its lowest four rows (drawn 4 rows below the stage,
                // over the frame) stay clear
                EXPECT_GT(keys, all / 4);
                EXPECT_LT(keys, all * 9 / 10);
                EXPECT_EQ(Count(p, 0, 268, 512, 272, IsKey), 512 * 4);
                EXPECT_EQ(p.At(0, 0), 9);
                EXPECT_EQ(p.At(511, 0), 9);
                break;
            case Kind::Portrait:
                EXPECT_EQ(p.At(0, 0), 9);
                EXPECT_EQ(p.At(299, 299), 9);
                EXPECT_NE(p.At(150, 150), 9);
                break;
            case Kind::Parts:
                EXPECT_GT(keys, 0);
                break;
        }
    }
}

TEST(ArtPictures, OneTableBeforeTheEndingAndOneSharedByTheEnding) {
    const Picture& master = Load("System");
    const Picture& ending = Load("sakura");
    ASSERT_FALSE(master.pixels.empty());
    ASSERT_FALSE(ending.pixels.empty());
    for (const Expected& e : kPictures) {
        SCOPED_TRACE(e.name);
        EXPECT_TRUE(SameTable(Load(e.name), e.ending ? ending : master));
    }
    EXPECT_FALSE(SameTable(master, ending));
}

TEST(ArtPictures, TextColoursAreLitEntries) {
    // Text is drawn in the entry nearest white, its shadow in the one nearest black; both must be exact
    // and must not be the key or entry 255 (which the screen never takes from a picture).
    for (const char* name : {"System", "sakura"}) {
        SCOPED_TRACE(name);
        const Picture& p = Load(name);
        int white = Nearest(p, 255, 255, 255), black = Nearest(p, 0, 0, 0);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(p.table[white][k], 255);
            EXPECT_EQ(p.table[black][k], 0);
        }
        for (int i : {white, black}) {
            EXPECT_NE(i, 9);
            EXPECT_TRUE(i <= 206 || (i >= 240 && i <= 254)) << i;
        }
    }
}

TEST(ArtPictures, EndingRollColumnIsCalmAndDark) {
    const Picture& p = Load("sakura");
    const uint8_t* c = p.table[220];
    int luma = (c[0] * 3 + c[1] * 6 + c[2]) / 10;
    EXPECT_LT(luma, 80);
    EXPECT_GT(luma, 10);  // a colour, not plain black
}

struct Rect {
    int left, top, right, bottom;
};

const Rect kTitlePieces[] = {
    {134, 117, 227, 193}, {233, 108, 424, 154}, {229, 156, 504, 199}, {0, 202, 500, 260}, {0, 108, 120, 195}};

TEST(ArtPictures, TitlePiecesAreDrawnInTheEntriesLitDuringTheTitle) {
    const Picture& p = Load("System");
    ASSERT_EQ(p.width, 640);
    for (const Rect& r : kTitlePieces) {
        SCOPED_TRACE(r.left);
        long area = long(r.right - r.left) * (r.bottom - r.top);
        long lit = Count(p, r.left, r.top, r.right, r.bottom, InTitleBand);
        long keys = Count(p, r.left, r.top, r.right, r.bottom, IsKey);
        EXPECT_EQ(lit + keys, area);
        EXPECT_GT(lit, area / 10);
    }
}

TEST(ArtPictures, CaptionStripsAreDrawnInTheCrossFadeBand) {
    for (const char* name : {"System", "system2"}) {
        SCOPED_TRACE(name);
        const Picture& p = Load(name);
        ASSERT_EQ(p.height, 384);
        for (int top : {256, 288, 320, 352}) {
            long area = 263L * 32, band = Count(p, 0, top, 263, top + 32, InCaptionBand);
            EXPECT_EQ(band + Count(p, 0, top, 263, top + 32, IsKey), area) << top;
            EXPECT_GT(band, area / 20) << top;
        }
        // the four rows shared by title piece 4 and the first strip belong to neither
        EXPECT_EQ(Count(p, 0, 256, 263, 260, IsKey), 263 * 4);
    }
}

TEST(ArtPictures, CursorCellsSitOnTheKey) {
    for (const char* name : {"System", "system2"}) {
        const Picture& p = Load(name);
        ASSERT_EQ(p.width, 640);
        for (int row = 0; row < 2; ++row)
            for (int col = 17; col <= 19; ++col) {
                SCOPED_TRACE(std::string(name) + " cell " + std::to_string(col) + "," + std::to_string(row));
                int x = col * 32, y = row * 32;
                long keys = Count(p, x, y, x + 32, y + 32, IsKey);
                EXPECT_GT(keys, 32 * 32 / 3);
                EXPECT_LT(keys, 32 * 32);
                EXPECT_EQ(Count(p, x, y, x + 32, y + 32, InTitleBand) + keys, 32 * 32);
                // the cells of one animation differ from each other
                if (col > 17) {
                    bool differs = false;
                    for (int yy = 0; yy < 32 && !differs; ++yy)
                        for (int xx = 0; xx < 32 && !differs; ++xx) differs = p.At(x + xx, y + yy) != p.At(x - 32 + xx, y + yy);
                    EXPECT_TRUE(differs);
                }
            }
    }
}

TEST(ArtPictures, MessageBoxMatchesTheWindowPicturesAndStaysLit) {
    const Picture& parts = Load("System");
    const Picture& parts2 = Load("system2");
    ASSERT_EQ(parts.width, 640);
    ASSERT_EQ(parts2.width, 640);
    long opaque = 0;
    for (int y = 0; y < 106; ++y)
        for (int x = 0; x < 542; ++x) {
            uint8_t v = parts.At(x, y);
            ASSERT_EQ(parts2.At(x, y), v);
            if (v == 9) continue;
            ++opaque;
            ASSERT_TRUE(InTitleBand(v) || v == 240) << x << "," << y;
        }
    EXPECT_GT(opaque, 542L * 106 * 9 / 10);
    for (const char* name : {"game_w", "game_w2", "black"}) {
        SCOPED_TRACE(name);
        const Picture& w = Load(name);
        ASSERT_EQ(w.width, 640);
        long mismatches = 0;
        for (int y = 0; y < 106; ++y)
            for (int x = 0; x < 542; ++x) {
                uint8_t v = parts.At(x, y);
                if (v != 9) mismatches += w.At(48 + x, 342 + y) != v;
            }
        EXPECT_EQ(mismatches, 0);
        // The frame and the box use the entries that the story's fades leave lit.
        EXPECT_EQ(Count(w, 0, 320, 640, 480, [](int i) { return i >= 240 && i <= 254; }), 640L * 160);
    }
}

TEST(ArtPictures, TitleScreenHidesNothingInTheCaptionBand) {
    // During the title the caption band is dark; the title screen itself draws nothing in it.
    const Picture& p = Load("game_w");
    ASSERT_FALSE(p.pixels.empty());
    EXPECT_EQ(Count(p, 0, 0, 640, 480, InCaptionBand), 0);
}

TEST(ArtPictures, WindowIconIsA32x32Picture) {
    Picture p;
    ASSERT_TRUE(ReadPicture(std::string(KIRAKE_DATA_DIR) + "/../res/icon.bmp", p));
    EXPECT_EQ(p.width, 32);
    EXPECT_EQ(p.height, 32);
    EXPECT_EQ(p.colours, 256);
    EXPECT_TRUE(SameTable(p, Load("System")));
}

}  // namespace
