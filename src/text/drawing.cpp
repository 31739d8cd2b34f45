// Text drawing on a surface: one font and the surface's drawing context around each drawing.
#include <cstring>

#include "text/text.h"

extern const char GAME_FACE[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
TextContext textContext;

void BeginText(const char* faceName, int height, Surface* surface) {
    textFont = CreateTextFont(faceName, height, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
    textDC = GetSurfaceDC(surface);
    previousFont = SelectTextFont(textDC, textFont);
    SetTransparentBackground(textDC);
}

void EndText(Surface* surface) {
    SelectTextFont(textDC, previousFont);
    DeleteTextFont(textFont);
    ReleaseSurfaceDC(surface, textDC);
    textContext = {};
}

void DrawTextString(int x, int y, const char* string, uint32_t colour) {
    SetTextColour(textDC, colour);
    if (string) PaintText(textDC, x, y, string, static_cast<int>(std::strlen(string)));
}

void DrawTextLine(const char* string, const char* faceName, int x, int y, int height, Surface* surface, int red,
                  int green, int blue) {
    BeginText(faceName, height, surface);
    DrawTextString(x, y, string, (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
    EndText(surface);
}
