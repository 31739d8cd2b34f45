// The palette a picture source names is kept between sources of one process (the game rebuilding
// pictures while it plays): an edit of the palette, or of the palette it is based on, is read again.
#include <gtest/gtest.h>

#include "../tools/art/art.h"
#include "authoring_util.h"

namespace {

TEST(ArtPalette, AKeptPaletteIsReadAgainWhenItOrItsBaseChanges) {
    authoring::ScratchDir dir;
    const std::vector<std::string> dirs = {dir.path().string()};
    authoring::WriteText(dir.path() / "base.pal", "1 ink #102030\n");
    authoring::WriteText(dir.path() / "main.pal", "base base\n2 paper #ffffff\n");
    EXPECT_EQ(KeptPalette("main", dirs).rgb[1][2], 0x30);
    authoring::WriteText(dir.path() / "base.pal", "1 ink #102031\n");
    EXPECT_EQ(KeptPalette("main", dirs).rgb[1][2], 0x31);
    authoring::WriteText(dir.path() / "main.pal", "base base\n2 paper #fffffe\n3 red #ff0000\n");
    const Palette& edited = KeptPalette("main", dirs);
    EXPECT_EQ(edited.rgb[2][2], 0xfe);
    EXPECT_EQ(edited.names.at("red"), 3);
    authoring::WriteText(dir.path() / "main.pal", "base base\n2 paper #ffffgg\n");
    EXPECT_THROW(KeptPalette("main", dirs), ArtError);
    std::filesystem::remove(dir.path() / "main.pal");
    EXPECT_THROW(KeptPalette("main", dirs), ArtError);
}

}  // namespace
