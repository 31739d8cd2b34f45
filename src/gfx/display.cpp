// Taking the screen over: the display device, the flipping primary with its back buffer, the clipper,
// the four sheets, the master palette and the first pictures.
#include "app/app.h"
#include "gfx/gfx.h"

DisplayState display;

int InitDisplay(Window window) {
    if (!DisplayCreate()) return FatalError(window);
    display.device = 1;
    if (!DisplaySetCooperativeLevel(window)) return FatalError(window);
    if (!DisplayQueryInterface()) return FatalError(window);
    if (!DisplaySetMode(640, 480, 8)) return FatalError(window);

    display.primary = CreatePrimarySurface(1);
    if (!display.primary) return FatalError(window);
    display.backBuffer = GetBackBuffer(display.primary);
    if (!display.backBuffer) return FatalError(window);

    display.clipper = CreateClipper();
    if (!display.clipper) return FatalError(window);
    if (!ClipperSetWindow(display.clipper, window)) return FatalError(window);
    if (!SurfaceSetClipper(display.backBuffer, display.clipper)) return FatalError(window);

    struct SheetSize {
        Surface** sheet;
        int width, height;
    };
    const SheetSize sheets[] = {
        {&display.windowSheet, 640, 480},
        {&display.charSheet, 320, 240},
        {&display.systemSheet, 320, 240},
        {&display.bgSheet, 320, 240},
    };
    for (const SheetSize& s : sheets) {
        *s.sheet = CreateSurface(s.width, s.height);
        if (!*s.sheet) return FatalError(window);
    }

    if (!LoadMasterPalette("system.BMP") && !display.device) return 0;  // refused: FatalError already ran

    LoadSheet(&display.windowSheet, "game_w.BMP");
    LoadSheet(&display.charSheet, "heren.BMP");
    LoadSheet(&display.systemSheet, "System.BMP");
    LoadSheet(&display.bgSheet, "game_w2.BMP");

    Surface* keyed[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    for (Surface* sheet : keyed)
        if (!SetColorKey(sheet, COLOR_KEY)) return FatalError(window);
    return 1;
}
