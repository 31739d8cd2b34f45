// Placeholder until the text drawing lands: no fonts, nothing drawn.
#include "platform/text.h"

Font* CreateTextFont(const char*, int, int, int) { return nullptr; }
void DeleteTextFont(Font*) {}
DrawContext* GetSurfaceDC(Surface*) { return nullptr; }
void ReleaseSurfaceDC(Surface*, DrawContext*) {}
Font* SelectFont(DrawContext*, Font*) { return nullptr; }
void SetTextColor(DrawContext*, uint32_t) {}
void SetTransparentBackground(DrawContext*) {}
void TextOut(DrawContext*, int, int, const char*, int) {}
