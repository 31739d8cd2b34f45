// Stories in UTF-8: telling one character from the bytes of the script text.
#include "text/text.h"

int ScriptIsUtf8(const uint8_t* text, uint32_t size) {
    return text && size >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF;
}

int DecodeUtf8(const uint8_t* p, uint32_t available, uint32_t* codePoint) {
    if (!available || p[0] < 0xC2 || p[0] > 0xF4) return 0;  // ASCII, a continuation, or never a lead byte
    int length = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : 2;
    if (available < uint32_t(length)) return 0;
    uint32_t value = p[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

int WideCharAdvance(uint32_t codePoint) {
    Font* font = CreateTextFont(GAME_FACE, MESSAGE_TEXT_HEIGHT, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
    int advance = TextAdvanceOf(font, codePoint);
    DeleteTextFont(font);
    return advance;
}
