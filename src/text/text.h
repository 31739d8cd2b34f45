// Text and dialogue: text drawing on a surface, the script text and the message window.
#pragma once
#include <cstdint>
#include "platform/display.h"
#include "platform/window.h"

// The face every text of the game asks for, as stored: "ＭＳ ゴシック" in code page 932.
extern const char GAME_FACE[];

// Pen advance in pixels of each byte 0x00-0x7E (0x7F: not typed).
extern const uint8_t charWidthTable[128];

void BeginText(const char* faceName, int height, Surface* surface);
void EndText(Surface* surface);
void DrawTextString(int x, int y, const char* string, uint32_t colour);
void DrawTextLine(const char* string, const char* faceName, int x, int y, int height, Surface* surface, int red,
                  int green, int blue);

struct MessageState {
    uint8_t* scriptText;  // every byte of data.txt, unterminated
    uint32_t scriptSize;
    int scriptPos, penX, penY;
    int messageFound, keyWait;
    int textOriginX, textOriginY;
};
extern MessageState message;

void LoadScriptText(Window window);
int TypeMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                Surface* surface, int red, int green, int blue, uint8_t messageId);
