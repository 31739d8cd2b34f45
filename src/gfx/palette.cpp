// Fades on the display palette: each call is one step over a fixed range of entries.
#include "gfx/gfx.h"

namespace {
enum Rule { DOWN, UP, BLACK };

uint8_t Down(uint8_t channel, int step) {
    if (channel == 0) return 0;
    return channel - step > 0 ? uint8_t(channel - step) : 0;
}

uint8_t Up(uint8_t channel, uint8_t target, int step) {
    if (channel == target) return channel;
    return channel + step >= target ? target : uint8_t(channel + step);
}

// Reads the display palette, applies the rule to entries first..last (and first2..last2), writes it back.
void Apply(Rule rule, int step, int first, int last, int first2 = 1, int last2 = 0) {
    if (!display.displayPalette) return;
    PaletteEntry entries[256];
    if (!ReadPaletteEntries(display.displayPalette, entries)) return;
    auto change = [&](int i) {
        PaletteEntry& e = entries[i];
        const PaletteEntry& m = display.masterPalette[i];
        if (rule == DOWN) {
            e = {Down(e.red, step), Down(e.green, step), Down(e.blue, step), 0};
        } else if (rule == UP) {
            e = {Up(e.red, m.red, step), Up(e.green, m.green, step), Up(e.blue, m.blue, step), 0};
        } else {
            e = {0, 0, 0, 0};
        }
    };
    for (int i = first; i <= last; ++i) change(i);
    for (int i = first2; i <= last2; ++i) change(i);
    WritePaletteEntries(display.displayPalette, entries);
}
}  // namespace

void FadeOutStep(Window, int step) { Apply(DOWN, step, 0, 239); }
void FadeOutAllStep(Window, int step) { Apply(DOWN, step, 0, 255); }
void FadeOutOuterStep(Window, int step) { Apply(DOWN, step, 0, 206, 241, 255); }
void FadeInStep(Window, int step) { Apply(UP, step, 0, 239); }
void FadeInAllStep(Window, int step) { Apply(UP, step, 0, 255); }
void FadeInLowStep(Window, int step) { Apply(UP, step, 0, 206); }
void FadeInBandStep(Window, int step) { Apply(UP, step, 207, 239); }
void BlackOut(Window) { Apply(BLACK, 0, 0, 239); }
void BlackOutAll(Window) { Apply(BLACK, 0, 0, 255); }
