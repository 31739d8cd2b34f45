// Picture files: a fuzzed BMP decoded from memory, then found in the picture folder, loaded into a
// sheet, keyed, drawn, and taken as the master palette, as the scenes do.
#include <cstdlib>
#include <filesystem>
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/display.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!OpenFuzzDisplay()) std::abort();
    std::filesystem::create_directories(FuzzFolder() + "/Bmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    if (Bitmap* bitmap = DecodeBitmap(bytes.data(), bytes.size())) {
        uint32_t sum = 0;  // every pixel the decoder claims must be there
        for (size_t i = 0; i < size_t(bitmap->width) * size_t(bitmap->height); i += 97) sum += bitmap->pixels[i];
        if (sum == 0xFFFFFFFFu) __builtin_trap();  // never: keeps the reads
        FreeBitmap(bitmap);
    }
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
