// The palette and the includes a picture source names are kept between sources of one process (the game
// rebuilding pictures while it plays): an edit of any file they were read from is read again.
#include <gtest/gtest.h>

#include "art/art.h"
#include "test_support.h"

namespace {

TEST(ArtPalette, AKeptPaletteIsReadAgainWhenItOrItsBaseChanges) {
    authoring::ScratchDir dir;
    const std::vector<std::string> dirs = {dir.path().string()};
    WriteText(dir.path() / "base.pal", "1 ink #102030\n");
    WriteText(dir.path() / "main.pal", "base base\n2 paper #ffffff\n");
    EXPECT_EQ(KeptPalette("main", dirs)->rgb[1][2], 0x30);
    WriteText(dir.path() / "base.pal", "1 ink #102031\n");
    EXPECT_EQ(KeptPalette("main", dirs)->rgb[1][2], 0x31);
    WriteText(dir.path() / "main.pal", "base base\n2 paper #fffffe\n3 red #ff0000\n");
    auto edited = KeptPalette("main", dirs);
    EXPECT_EQ(edited->rgb[2][2], 0xfe);
    EXPECT_EQ(edited->names.at("red"), 3);
    WriteText(dir.path() / "main.pal", "base base\n2 paper #ffffgg\n");
    EXPECT_THROW(KeptPalette("main", dirs), ArtError);
    std::filesystem::remove(dir.path() / "main.pal");
    EXPECT_THROW(KeptPalette("main", dirs), ArtError);
}

TEST(ArtPalette, AKeptIncludeIsReadAgainWhenItOrWhatItReadChanges) {
    authoring::ScratchDir dir;
    auto load = [&] {
        Program program;
        LoadProgram((dir.path() / "a.pic").string(), program);
        return program;
    };
    WriteText(dir.path() / "p.pal", "1 ink #000001\n");
    WriteText(dir.path() / "b.inc", "include c.inc\nfill ink\n");
    WriteText(dir.path() / "c.inc", "size 4 4\npalette p\n");
    WriteText(dir.path() / "a.pic", "def x\nrect ink 0 0 1 1\nend\ninclude b.inc\nuse x\n");
    Program first = load();
    EXPECT_EQ(first.width, 4);
    ASSERT_EQ(first.main.size(), 2u);
    EXPECT_EQ(first.main[0].words[0], "fill");
    WriteText(dir.path() / "c.inc", "size 5 4\npalette p\ndef x\nrect ink 1 1 1 1\nend\n");
    WriteText(dir.path() / "p.pal", "1 ink #000002\n");
    Program second = load();
    EXPECT_EQ(second.width, 5);
    EXPECT_EQ(second.palette->rgb[1][2], 2);
    EXPECT_EQ((*second.defs.at("x"))[0].words[2], "1");  // the include's def replaced the one before it
    WriteText(dir.path() / "c.inc", "size 5 4\ninclude c.inc\n");
    EXPECT_THROW(load(), ArtError);
}

}  // namespace
