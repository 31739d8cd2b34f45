// The seam itself: every backend of the build fills its whole table, paths from a root are never looked
// for in the working folder, and a page shown again is known to be the same.
#include <gtest/gtest.h>
#include <filesystem>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/files.h"
#include "platform/glyphs.h"
#include "test_support.h"

namespace {

TEST(BackendTable, EveryBackendOfTheBuildFillsEveryServiceAndOneServesHeadlessRuns) {
    int count = 0;
    for (const Backend* const* entry = buildBackends; *entry; ++entry, ++count) {
        const Backend& b = **entry;
        SCOPED_TRACE(b.name);
        EXPECT_TRUE(b.start && b.stop && b.openWindow && b.closeWindow && b.hideCursor && b.messageBox &&
                    b.pumpEvents && b.waitEvents && b.readKeys && b.present && b.frameShown && b.tickCount &&
                    b.calendarTime);
        ASSERT_TRUE(b.sound);
        EXPECT_TRUE(b.sound->start && b.sound->stop && b.sound->openDevice && b.sound->frameShown &&
                    b.sound->frameSkipped && b.sound->pause && b.sound->hold);
        if (count == 0) {
            ASSERT_TRUE(b.text) << "the main backend draws every backend's text";
            EXPECT_TRUE(b.text->openFont && b.text->drawGlyph);
            EXPECT_FALSE(b.headless);
        }
        if (b.watch) {
            EXPECT_TRUE(b.watch->method && b.watch->start && b.watch->stop && b.watch->take);
        }
    }
    ASSERT_TRUE(BackendFor(true));
    EXPECT_TRUE(BackendFor(true)->headless);
    EXPECT_EQ(CurrentBackend(), BackendFor(true)) << "before PlatformStart";
    EXPECT_EQ(CurrentTextSource(), buildBackends[0]->text);
}

TEST(PlatformPaths, DrivesAndSharesAreRootsAndAreNeverLookedForHere) {
    std::filesystem::path before = std::filesystem::current_path();
    std::string dir = MakeTempDir("seam-paths");
    ASSERT_TRUE(ChangeFolder(dir));
    std::filesystem::create_directories("C:/data");
    WriteFile("C:/data/x.txt", {1});
    WriteFile("Keys.TXT", {1});
    EXPECT_EQ(FindDataFile("C:\\data\\x.txt"), "") << "a drive is not a folder of the working folder";
    EXPECT_EQ(FindDataFile("\\\\server\\share\\x.txt"), "");
    EXPECT_EQ(FindDataFile("keys.txt"), "Keys.TXT");
    EXPECT_EQ(FindDataFile((dir + "\\KEYS.txt").c_str()), dir + "/Keys.TXT");
    for (const char* root : {"/x", "\\x", "C:\\x", "c:/x", "\\\\server\\share", "//server/share/x"})
        EXPECT_TRUE(IsAbsolutePath(root)) << root;
    for (const char* relative : {"x", "C:x", "bmp\\x", "..\\x", ""}) EXPECT_FALSE(IsAbsolutePath(relative)) << relative;
    EXPECT_EQ(AbsolutePath("D:\\keys.txt"), "D:\\keys.txt");
    EXPECT_EQ(AbsolutePath("keys.txt"), std::filesystem::current_path().string() + "/keys.txt");
    EXPECT_TRUE(SameNameIgnoringCase("Stage1.BMP", "stage1.bmp"));
    EXPECT_FALSE(SameNameIgnoringCase("stage1.bmp", "stage1.bm"));
    EXPECT_FALSE(ChangeFolder(dir + "/missing"));
    ASSERT_TRUE(ChangeFolder(before.string()));
}

TEST(ShownPage, OnlyAChangedPageOrPaletteIsNew) {
    constexpr int pitch = 700;  // the rows' padding is not part of the page
    std::vector<uint8_t> page(size_t(pitch) * 480, 3);
    PaletteEntry palette[256] = {};
    ForgetShown();
    EXPECT_EQ(SameAsShown(page.data(), pitch, palette), 0);
    EXPECT_EQ(SameAsShown(page.data(), pitch, palette), 1);
    page[pitch - 1] = 9;
    EXPECT_EQ(SameAsShown(page.data(), pitch, palette), 1);
    page[size_t(pitch) * 479 + 639] = 4;  // the page's last pixel
    EXPECT_EQ(SameAsShown(page.data(), pitch, palette), 0);
    palette[255].blue = 1;
    EXPECT_EQ(SameAsShown(page.data(), pitch, palette), 0);
    EXPECT_EQ(SameAsShown(page.data(), pitch, nullptr), 0) << "all black is not that palette";
    EXPECT_EQ(SameAsShown(page.data(), pitch, nullptr), 1);
    ForgetShown();
    EXPECT_EQ(SameAsShown(page.data(), pitch, nullptr), 0);
}

}  // namespace
