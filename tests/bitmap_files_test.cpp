// Pictures and data files: the BMP reader on good and broken files, the case-blind search, sheets.
#include <gtest/gtest.h>
#include <filesystem>
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/files.h"
#include "test_support.h"

namespace {
TEST(Bitmap, ReadsIndicesAndTableBottomUpAndTopDown) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6};
    std::vector<PaletteEntry> table = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    std::vector<uint8_t> file = MakeBmp(3, 2, pixels, table);
    Bitmap* b = DecodeBitmap(file.data(), file.size());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, 3);
    EXPECT_EQ(b->height, 2);
    EXPECT_EQ(b->colourCount, 256);
    EXPECT_EQ(std::vector<uint8_t>(b->pixels, b->pixels + 6), pixels);
    EXPECT_EQ(b->table[1][0], 40);
    EXPECT_EQ(b->table[1][2], 60);
    FreeBitmap(b);

    // The same picture stored top-down (negative height).
    for (int i = 0; i < 4; ++i) file[22 + i] = uint8_t((uint32_t(-2) >> (8 * i)) & 0xFF);
    std::swap_ranges(file.begin() + 54 + 1024, file.begin() + 54 + 1024 + 4, file.begin() + 54 + 1024 + 4);
    b = DecodeBitmap(file.data(), file.size());
    ASSERT_TRUE(b);
    EXPECT_EQ(std::vector<uint8_t>(b->pixels, b->pixels + 6), pixels);
    FreeBitmap(b);
}

TEST(Bitmap, RejectsEveryTruncationAndWrongDepthWithoutReadingPastTheEnd) {
    std::vector<uint8_t> file = MakeBmp(13, 7, std::vector<uint8_t>(13 * 7, 4));
    // The last row's 3 bytes of padding may be missing; anything shorter is refused.
    for (size_t cut = 0; cut < file.size() - 3; ++cut) {
        std::vector<uint8_t> part(file.begin(), file.begin() + cut);  // exact-size buffer for ASan
        Bitmap* b = DecodeBitmap(part.data(), part.size());
        EXPECT_EQ(b, nullptr) << "cut at " << cut;
        FreeBitmap(b);
    }
    std::vector<uint8_t> deep = file;
    deep[28] = 24;
    EXPECT_EQ(DecodeBitmap(deep.data(), deep.size()), nullptr);
    std::vector<uint8_t> huge = file;
    huge[21] = 0x7F;  // width beyond any picture
    EXPECT_EQ(DecodeBitmap(huge.data(), huge.size()), nullptr);
}

TEST(Bitmap, DecodesRunLengthPictures) {
    std::vector<uint8_t> file = MakeBmp(4, 2, {}, {}, 256);
    file.resize(54 + 1024);
    // bottom row: four 7s; top row: literal 1 2 3 then one 8; end of picture.
    const uint8_t rle[] = {4, 7, 0, 0, 0, 3, 1, 2, 3, 0, 1, 8, 0, 1};
    file.insert(file.end(), std::begin(rle), std::end(rle));
    file[30] = 1;  // RLE8
    Bitmap* b = DecodeBitmap(file.data(), file.size());
    ASSERT_TRUE(b);
    EXPECT_EQ(std::vector<uint8_t>(b->pixels, b->pixels + 8), (std::vector<uint8_t>{1, 2, 3, 8, 7, 7, 7, 7}));
    FreeBitmap(b);
}

class DataFolder : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        cwd = std::filesystem::current_path();
        root = MakeTempDir("folder");
        std::filesystem::create_directories(root + "/work/bmp");
        std::filesystem::current_path(root + "/work");
    }
    void TearDown() override {
        std::filesystem::current_path(cwd);
        DisplayTest::TearDown();
    }
    std::filesystem::path cwd;
    std::string root;
};

TEST_F(DataFolder, NamesMatchWithoutRegardToCase) {
    WriteFile("Data.TXT", {1});
    // As spelled in the folder; where the file system itself ignores case (Windows), as asked.
    const bool caseBlind = std::filesystem::exists("DATA.txt");
    EXPECT_EQ(FindDataFile("data.txt"), caseBlind ? "data.txt" : "Data.TXT");
    WriteFile("bmp/system.bmp", MakeBmp(2, 2, {}));
    EXPECT_EQ(FindDataFile("bmp\\System.BMP"), caseBlind ? "bmp/System.BMP" : "bmp/system.bmp");
    EXPECT_EQ(FindDataFile("missing.bmp"), "");
    uint32_t size = 0;
    EXPECT_EQ(GetDataFileSize("DATA.txt", &size), 1);
    EXPECT_EQ(size, 1u);
}

TEST_F(DataFolder, PicturesAreFoundHereThenInTheParentThenInBmp) {
    auto value = [](uint8_t v) { return MakeBmp(2, 2, std::vector<uint8_t>(4, v)); };
    WriteFile("bmp/stage1.bmp", value(3));
    Surface* sheet = nullptr;
    ASSERT_EQ(LoadSheet(&sheet, "stage1.BMP"), 1);
    EXPECT_EQ(LockSurface(sheet, nullptr)[0], 3);
    WriteFile(root + "/STAGE1.bmp", value(2));
    LoadSheet(&sheet, "stage1.BMP");
    EXPECT_EQ(LockSurface(sheet, nullptr)[0], 2);
    WriteFile("Stage1.Bmp", value(1));
    LoadSheet(&sheet, "stage1.BMP");
    EXPECT_EQ(LockSurface(sheet, nullptr)[0], 1);
}

TEST_F(DataFolder, LoadSheetTakesThePictureSizeAndNoColourKey) {
    WriteFile("stage2.bmp", MakeBmp(512, 272, std::vector<uint8_t>(512 * 272, 9)));
    display.bgSheet = CreateSurface(320, 240);
    Surface* before = display.bgSheet;
    ASSERT_EQ(LoadSheet(&display.bgSheet, "stage2.bmp"), 1);
    EXPECT_NE(display.bgSheet, before);
    EXPECT_EQ(SurfaceWidth(display.bgSheet), 512);
    EXPECT_EQ(SurfaceHeight(display.bgSheet), 272);
    Rect from = {0, 0, 1, 1}, to = {0, 0, 1, 1};
    Blit(display.backBuffer, &to, display.bgSheet, &from, BLIT_KEYSRC);
    EXPECT_EQ(LockSurface(display.backBuffer, nullptr)[0], 9) << "index 9 is opaque until the key is set";
    EXPECT_EQ(LoadSheet(&display.bgSheet, "nothere.bmp"), 0);
    EXPECT_EQ(SurfaceWidth(display.bgSheet), 512) << "a failed load leaves the sheet";
}

TEST_F(DataFolder, MasterPaletteTakesEntries0To254AndKeeps255) {
    std::vector<PaletteEntry> table(256);
    for (int i = 0; i < 256; ++i) table[i] = {uint8_t(i), 1, 2, 0};
    WriteFile("system.bmp", MakeBmp(2, 2, {}, table));
    display.masterPalette[255] = {9, 9, 9, 0};
    ASSERT_EQ(LoadMasterPalette("System.BMP"), 1);
    EXPECT_EQ(DisplayEntry(254).red, 254);
    EXPECT_EQ(DisplayEntry(254).flags, PALETTE_NOCOLLAPSE);
    EXPECT_EQ(DisplayEntry(255).red, 9);
    EXPECT_EQ(LoadMasterPalette("none.bmp"), 0);
}
}  // namespace
