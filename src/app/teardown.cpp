// Giving the screen back: the release of the display, and the one fatal-error exit.
#include "app/app.h"
#include "gfx/gfx.h"

void ReleaseDisplay() {
    if (!display.device) return;
    if (display.displayPalette) ReleasePalette(display.displayPalette);
    if (display.primary) ReleaseSurface(display.primary);  // the back buffer goes with it
    if (display.windowSheet) ReleaseSurface(display.windowSheet);
    if (display.charSheet) ReleaseSurface(display.charSheet);
    if (display.systemSheet) ReleaseSurface(display.systemSheet);
    if (display.bgSheet) ReleaseSurface(display.bgSheet);
    DisplayRelease();  // with it the clipper and every replaced surface and palette
    display.displayPalette = nullptr;
    display.primary = display.backBuffer = nullptr;
    display.clipper = nullptr;
    display.windowSheet = display.charSheet = display.systemSheet = display.bgSheet = nullptr;
    display.device = 0;
}

int FatalError(Window window) {
    ReleaseDisplay();
    ReportFailure(DisplayFailure());
    ShowMessageBox(window, "Error!", "何でじゃあ");
    DestroyMainWindow(window);
    return 0;
}
