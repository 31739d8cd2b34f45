// Picture files as the scenes take them: a fuzzed BMP found in the picture folder (whatever the case of
// its name), loaded into a sheet, keyed, drawn, and taken as the master palette.
#include <cstdlib>
#include <filesystem>
#include "gfx/gfx.h"
#include "platform/display.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!OpenFuzzDisplay()) std::abort();
    std::filesystem::create_directories(FuzzFolder() + "/Bmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    if (!WriteBytes(FuzzFolder() + "/Bmp/Fuzz.bmp", bytes.data(), bytes.size())) return 0;
    static const std::string name = FuzzFolder() + "/bmp/fuzz.BMP";  // found as Bmp/Fuzz.bmp
    Palette* palette = display.displayPalette;
    LoadSheet(&display.bgSheet, name.c_str());
    SetSheetColorKeys(1);
    if (display.bgSheet) {
        Rect whole = {0, 0, 640, 480};
        Blit(display.backBuffer, &whole, display.bgSheet, &whole, BLIT_KEYSRC);
    }
    LoadMasterPalette(name.c_str());
    // The sheet and the palette made here go with the run (most inputs make neither, and the display's
    // own pages are costly to make again).
    if (display.bgSheet || display.displayPalette != palette) RenewFuzzDisplay();
    return 0;
}
