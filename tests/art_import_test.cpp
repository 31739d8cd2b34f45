// kirake-art import: PNGs made into pictures of a fixed palette, as the game's BMP or as a picture source
// that draws the same; PNGs the game could not show refused with their name. And the live reload: a
// picture taken whose colour table differs from the palette the screen shows it in is reported over the
// page.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "run_program.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(KIRAKE_TOOLS_DIR) + "/art/" + ExecutableName("kirake-art");

// A PNG of 8-bit RGBA pixels (colour type 6), written here; `withPixels` false leaves the image data out.
std::string RgbaPng(int width, int height, const std::vector<uint8_t>& rgba, bool withPixels = true) {
    std::string out = "\x89PNG\r\n\x1a\n";
    auto be32 = [](std::string& s, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) s += char(uint8_t(v >> shift));
    };
    auto chunk = [&](const char* type, const std::string& data) {
        be32(out, uint32_t(data.size()));
        std::string body = type + data;
        out += body;
        be32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    };
    std::string head;
    be32(head, uint32_t(width));
    be32(head, uint32_t(height));
    head += std::string("\x08\x06\x00\x00\x00", 5);
    chunk("IHDR", head);
    if (withPixels) {
        std::string raw;
        for (int y = 0; y < height; ++y) {
            raw += '\0';
            raw.append(reinterpret_cast<const char*>(rgba.data()) + size_t(y) * width * 4, size_t(width) * 4);
        }
        uLongf size = compressBound(uLong(raw.size()));
        std::string packed(size, '\0');
        compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                 uLong(raw.size()));
        packed.resize(size);
        chunk("IDAT", packed);
    }
    chunk("IEND", "");
    return out;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // top row first
    uint8_t table[256][3] = {};
};

bool DecodeBmp(const std::string& b, Picture& p) {
    if (b.size() < 54 + 1024 || b[0] != 'B' || b[1] != 'M') return false;
    auto le = [&](size_t at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
               uint32_t(uint8_t(b[at + 3])) << 24;
    };
    p.width = int(le(18));
    p.height = int(le(22));
    if (b[28] != 8 || le(46) != 256) return false;
    size_t stride = (size_t(p.width) + 3) & ~size_t(3), offset = le(10);
    if (offset + stride * p.height != b.size()) return false;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) p.table[i][k] = uint8_t(b[54 + 4 * i + 2 - k]);
    p.pixels.clear();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.pixels.push_back(uint8_t(b[offset + stride * (p.height - 1 - y) + x]));
    return true;
}

const char* kPalette =
    "0 black #000000\n"
    "1 white #ffffff\n"
    "5 red #ff0000\n"
    "6 green #00ff00\n"
    "7 blue #0000ff\n"
    "9 key #ff00ff\n"
    "20 grey #808080\n";

class ArtImport : public testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        dir = MakeTempDir(std::string("art-import-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        WriteText(dir + "/t.pal", kPalette);
    }
    // Runs kirake-art with these arguments; its standard output and error together in *said.
    int Art(std::vector<std::string> arguments, std::string* said = nullptr) {
        arguments.insert(arguments.begin(), kTool);
        ProcessOptions options;
        options.capture = true;
        options.seconds = 60;
        ProcessResult r = RunProcess(arguments, options);
        if (said) *said = r.output;
        return r.status;
    }
    Picture Import(const std::string& png, const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments = {"import", dir + "/" + png, dir + "/out.BMP", "--palette", dir + "/t.pal"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        std::string said;
        EXPECT_EQ(Art(arguments, &said), 0) << said;
        Picture p;
        EXPECT_TRUE(DecodeBmp(ReadText(dir + "/out.BMP"), p));
        return p;
    }
};

// The palette's own colours come out as their indexes, the whole palette as the colour table; the picture
// source made instead draws the same BMP, byte for byte.
TEST_F(ArtImport, ExactColoursBecomeTheirIndexesAsBmpAndAsPictureSource) {
    const uint8_t rgb[] = {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0,  // black white red green
                           0, 0, 255, 128, 128, 128, 255, 0, 0, 255, 255, 255};  // blue grey red white
    ASSERT_EQ(WritePng((dir + "/exact.png").c_str(), rgb, 4, 2), 1);  // the game's own PNG writer
    Picture p = Import("exact.png");
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.pixels, (std::vector<uint8_t>{0, 1, 5, 6, 7, 20, 5, 1}));
    EXPECT_EQ(p.table[5][0], 255);
    EXPECT_EQ(p.table[9][2], 255);  // the whole palette, the key too
    EXPECT_EQ(p.table[20][1], 128);
    std::string bmp = ReadText(dir + "/out.BMP");

    std::string said;
    ASSERT_EQ(Art({"import", dir + "/exact.png", dir + "/exact.pic", "--palette", dir + "/t.pal"}, &said), 0) << said;
    std::string source = ReadText(dir + "/exact.pic");
    EXPECT_NE(source.find("size 4 2\npalette t\npixels 0 0 "), std::string::npos) << source;
    ASSERT_EQ(Art({dir + "/exact.pic", dir + "/drawn.BMP"}, &said), 0) << said;
    EXPECT_EQ(ReadText(dir + "/drawn.BMP"), bmp);

    // Colours near the palette's take the nearest; --range keeps the picture to its indexes.
    const uint8_t near[] = {240, 20, 10, 100, 110, 120, 250, 250, 240};
    ASSERT_EQ(WritePng((dir + "/near.png").c_str(), near, 3, 1), 1);
    EXPECT_EQ(Import("near.png").pixels, (std::vector<uint8_t>{5, 20, 1}));
    EXPECT_EQ(Import("near.png", {"--range", "0-7"}).pixels, (std::vector<uint8_t>{5, 0, 1}));
}

// A grey ramp over black and white alone: the nearest colour cuts it in two, error diffusion mixes the two
// in proportion.
TEST_F(ArtImport, DitheringSpreadsAGradientWhereNearestColourCutsIt) {
    constexpr int W = 64, H = 8;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) rgb.insert(rgb.end(), 3, uint8_t(x * 255 / (W - 1)));
    ASSERT_EQ(WritePng((dir + "/ramp.png").c_str(), rgb.data(), W, H), 1);
    Picture nearest = Import("ramp.png", {"--range", "0-1"});
    Picture dithered = Import("ramp.png", {"--range", "0-1", "--dither"});
    ASSERT_EQ(nearest.pixels.size(), size_t(W * H));
    ASSERT_EQ(dithered.pixels.size(), size_t(W * H));
    EXPECT_NE(nearest.pixels, dithered.pixels);
    // One cut, near the middle (where the ramp is half as light as white: nearer the dark end in sRGB).
    int cut = 0;
    while (cut < W && nearest.pixels[size_t(cut)] == 0) ++cut;
    EXPECT_GT(cut, W / 4);
    EXPECT_LE(cut, W / 2);
    for (int x = cut; x < W; ++x) EXPECT_EQ(nearest.pixels[size_t(x)], 1) << x;
    // Each quarter of the ramp is lit about as much as it is bright.
    for (int quarter = 0; quarter < 4; ++quarter) {
        int white = 0;
        for (int y = 0; y < H; ++y)
            for (int x = quarter * W / 4; x < (quarter + 1) * W / 4; ++x) white += dithered.pixels[size_t(y * W + x)];
        double share = double(white) / (H * W / 4), want = (quarter + 0.5) / 4;
        EXPECT_NEAR(share, want, 0.08) << "quarter " << quarter;
    }
}

// Transparent pixels (--key-alpha) and pixels of one colour (--key) become the key, index 9; without
// --key-alpha the tool says how many pixels were see-through. Index 9 is never chosen for a colour.
TEST_F(ArtImport, TransparentPixelsBecomeTheKey) {
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 0, 255, 0, 40, 255, 0, 255, 255};
    WriteText(dir + "/alpha.png", RgbaPng(5, 1, rgba));
    Picture keyed = Import("alpha.png", {"--key-alpha"});
    ASSERT_EQ(keyed.pixels.size(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(keyed.pixels.begin(), keyed.pixels.begin() + 4), (std::vector<uint8_t>{5, 9, 1, 9}));
    EXPECT_NE(keyed.pixels[4], 9) << "the key's own colour, opaque, is a colour like any other";
    EXPECT_EQ(Import("alpha.png", {"--key", "255,0,0"}).pixels,
              (std::vector<uint8_t>{9, 0, 1, 6, keyed.pixels[4]}));
    std::string said;
    ASSERT_EQ(Art({"import", dir + "/alpha.png", dir + "/out.pic", "--palette", dir + "/t.pal"}, &said), 0);
    EXPECT_NE(said.find("2 pixels are more than half transparent; --key-alpha"), std::string::npos) << said;
}

// What the game could not show, or what is no PNG, is refused with the file's name, and nothing is written.
TEST_F(ArtImport, PngsTooLargeBrokenOrNotPngAreRefusedByName) {
    std::string png = dir + "/huge.png";
    WriteText(png, RgbaPng(2000, 10, {}, false));  // refused by its head: the pixel data is not even there
    std::string said;
    EXPECT_EQ(Art({"import", png, dir + "/out.BMP", "--palette", dir + "/t.pal"}, &said), 1);
    EXPECT_NE(said.find(png + ": is 2000x10 pixels; the game loads no picture wider or higher than 1024"),
              std::string::npos) << said;

    std::string text = dir + "/notes.png";
    WriteText(text, "just some text\n");
    EXPECT_EQ(Art({"import", text, dir + "/out.pic", "--palette", dir + "/t.pal"}, &said), 1);
    EXPECT_NE(said.find(text + ": not a PNG picture"), std::string::npos) << said;

    std::string cut = dir + "/cut.png", whole = RgbaPng(8, 8, std::vector<uint8_t>(256, 7));
    WriteText(cut, whole.substr(0, whole.size() - 20));
    EXPECT_EQ(Art({"import", cut, dir + "/out.BMP", "--palette", dir + "/t.pal"}, &said), 1);
    EXPECT_NE(said.find(cut + ": a broken PNG"), std::string::npos) << said;

    std::string fifo = dir + "/pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Art({"import", fifo, dir + "/out.BMP", "--palette", dir + "/t.pal"}, &said), 1);
    EXPECT_NE(said.find(fifo + ": not a regular file"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(dir + "/out.BMP"));
    EXPECT_FALSE(fs::exists(dir + "/out.pic"));
}

// Without --palette the palette is the story project's pictures/main.pal, and the tool says so; outside a
// project it asks for one.
TEST_F(ArtImport, TheProjectsMainPaletteByDefault) {
    fs::create_directories(dir + "/story/pictures");
    fs::create_directories(dir + "/story/bmp");
    WriteText(dir + "/story/pictures/main.pal", kPalette);
    const uint8_t rgb[] = {0, 255, 0, 128, 128, 128};
    ASSERT_EQ(WritePng((dir + "/leaf.png").c_str(), rgb, 2, 1), 1);
    std::string said;
    ASSERT_EQ(Art({"import", dir + "/leaf.png", dir + "/story/bmp/leaf.BMP"}, &said), 0) << said;
    EXPECT_NE(said.find("with the palette "), std::string::npos) << said;
    EXPECT_NE(said.find("story/pictures/main.pal, indexes 0-206, nearest colour"), std::string::npos) << said;
    ASSERT_EQ(Art({"import", dir + "/leaf.png", dir + "/story/pictures/leaf.pic"}, &said), 0) << said;
    EXPECT_NE(ReadText(dir + "/story/pictures/leaf.pic").find("\npalette main\n"), std::string::npos);
    EXPECT_EQ(Art({"import", dir + "/leaf.png", dir + "/leaf.BMP"}, &said), 2);
    EXPECT_NE(said.find("give one with --palette"), std::string::npos) << said;
}

// Under --watch, a stage picture saved with other colours in its table at indexes it uses is taken, and
// the line over the page says that the screen shows the palette's colours there; saved again with the
// palette's colours, the line goes, and the run is a run that never saw the other table.
TEST(ArtImportReload, APictureWhoseColoursDifferFromThePaletteIsReportedOverThePage) {
    std::string data = KIRAKE_DATA_DIR;
    if (!fs::exists(data + "/data.txt")) GTEST_SKIP() << "no default data";
    std::string run = MakeTempDir("palette-mismatch"), clean = MakeTempDir("palette-clean");
    CopyFolder(data, run + "/data");
    CopyFolder(data, clean + "/data");
    std::string picture = ReadText(data + "/bmp/stage1.BMP");
    ASSERT_GT(picture.size(), 54u + 1024u);
    // Every colour of the pictures' part of the palette but the key's another red.
    std::string other = picture;
    for (int i = 2; i <= 206; ++i)
        if (i != 9) other[size_t(54 + 4 * i + 2)] = char(uint8_t(other[size_t(54 + 4 * i + 2)]) ^ 0x40);
    WriteText(run + "/other.BMP", other);
    WriteText(run + "/same.BMP", picture);
    auto play = [&](const std::string& dir, const std::string& keys, std::string* errors) {
        WriteText(dir + "/keys.txt", keys);
        int code = RunKirake({"--headless", "--data", dir + "/data", "--start", "route:hiyori", "--watch",
                              "--frames", "60", "--keys", dir + "/keys.txt", "--trace", dir + "/trace.jsonl",
                              "--capture-dir", dir, "--capture", "9,30,59"},
                             errors);
        EXPECT_EQ(code, 0) << *errors;
    };
    std::string errors, cleanErrors;
    play(run, "10 save bmp/stage1.BMP " + run + "/other.BMP\n40 save bmp/stage1.BMP " + run + "/same.BMP\n", &errors);
    play(clean, "40 save bmp/stage1.BMP " + run + "/same.BMP\n", &cleanErrors);
    EXPECT_NE(errors.find("kirake: bmp/stage1.BMP: its colours differ from the palette at indexes "),
              std::string::npos) << errors;
    EXPECT_NE(errors.find("; the screen shows the palette's (system.BMP's)"), std::string::npos) << errors;
    size_t first = errors.find("differ from the palette");
    EXPECT_EQ(errors.find("differ from the palette", first + 1), std::string::npos)
        << "the second save, with the palette's colours, is not reported: " << errors;
    EXPECT_EQ(cleanErrors.find("differ from the palette"), std::string::npos) << cleanErrors;
    EXPECT_EQ(ReadLines(run + "/trace.jsonl"), ReadLines(clean + "/trace.jsonl"));
    auto page = [](const std::string& dir, int frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06d.png", frame);
        return ReadText(dir + name);
    };
    EXPECT_TRUE(page(run, 9) == page(clean, 9));
    EXPECT_TRUE(page(run, 30) != page(clean, 30));  // the line over the page
    EXPECT_TRUE(page(run, 59) == page(clean, 59));
}

}  // namespace
