// Text: fonts and one-line text drawing on a surface, as on a surface's device context.
// Glyphs are drawn without anti-aliasing, in the index of the surface's colour table nearest to the
// asked colour; the background stays untouched. Used by BeginText, EndText, DrawTextString, DrawTextChar.
#pragma once
#include <cstdint>
#include "platform/display.h"

struct Font;
struct DrawContext;

// BeginText: a font from a face name (as the system stores it), a cell height, a weight and a
// pitch-and-family byte. Null when no font can be had.
Font* CreateTextFont(const char* faceName, int height, int weight, int pitchAndFamily);
void DeleteTextFont(Font* font);
// BeginText: the surface's drawing context; null when the surface is lost or released.
DrawContext* GetSurfaceDC(Surface* surface);
// EndText: gives the context back.
void ReleaseSurfaceDC(Surface* surface, DrawContext* context);
// Selects a font into the context; returns the one it replaces (may be null). Null context: nothing.
Font* SelectTextFont(DrawContext* context, Font* font);
// colour = red | green << 8 | blue << 16.
void SetTextColour(DrawContext* context, uint32_t colour);
void SetTransparentBackground(DrawContext* context);
// Draws length bytes at (x, y), the top-left of the text cell; clipped to the surface.
void PaintText(DrawContext* context, int x, int y, const char* bytes, int length);
