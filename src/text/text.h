// Text and dialogue: text drawing on a surface, the script text and the message window.
#pragma once
#include <cstdint>
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/text.h"
#include "platform/window.h"

// The face every text of the game asks for, as stored: "ＭＳ ゴシック" in code page 932.
extern const char GAME_FACE[];

// Pen advance in pixels of each byte 0x00-0x7E (0x7F: not typed).
extern const uint8_t charWidthTable[128];

// The text drawing context: valid only between BeginText and the matching EndText; never nested.
struct TextContext {
    DrawContext* textDC;   // the surface's drawing context (null when the surface is lost)
    Font* textFont;        // the font made for this drawing
    Font* previousFont;    // what was selected into textDC before textFont
};
extern TextContext textContext;
inline DrawContext*& textDC = textContext.textDC;
inline Font*& textFont = textContext.textFont;
inline Font*& previousFont = textContext.previousFont;

constexpr int TEXT_WEIGHT = 1000;             // heavier than the heaviest named weight
constexpr int TEXT_PITCH_AND_FAMILY = 0x12;   // variable pitch, roman family

void BeginText(const char* faceName, int height, Surface* surface);
void EndText(Surface* surface);
void DrawTextString(int x, int y, const char* string, uint32_t colour);
void DrawTextLine(const char* string, const char* faceName, int x, int y, int height, Surface* surface, int red,
                  int green, int blue);

// The message window. scriptText is the whole of data.txt, unterminated, scriptSize bytes long;
// TypeMessage and DrawTextChar read no further than scriptSize.
struct MessageState {
    uint8_t* scriptText;  // every byte of data.txt, unterminated
    uint32_t scriptSize;
    int scriptPos, penX, penY;
    int messageFound, keyWait;
    int textOriginX, textOriginY;
    uint8_t messageId;    // the id of the message under way (while messageFound is 1)
    // The key-wait cursor's animation, stepped by TypeMessage while a page waits for a key.
    AnimationSequence keyWaitSequence = {0, 17, 18, 17, 19, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
};
extern MessageState message;

void LoadScriptText(Window window);
// Live reload: data.txt was saved. The new text replaces the old and a message under way starts again
// from its first page. 1, or 0 with *why set when the file cannot be read, is empty or lacks the
// message under way (the old text stays).
int ReloadScriptText(Window window, const char** why);
// One frame of the message window; 1 on the frame the message ends. scriptText must be
// message.scriptText (its length is message.scriptSize).
int TypeMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                Surface* surface, int red, int green, int blue, uint8_t messageId);
// Between BeginText and EndText: the byte at message.scriptPos, at (x + penX, y + penY).
void DrawTextChar(int x, int y, const uint8_t* scriptText, uint32_t colour);
