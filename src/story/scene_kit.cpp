// Shared pieces of the scene handlers.
#include "story/scene_kit.h"
#include "app/comforts.h"
#include "input/input.h"
#include "story/story.h"
#include "story/tables.h"
#include "text/text.h"

void ReleaseSheet(Surface** sheet) {
    if (*sheet) {
        ReleaseSurface(*sheet);
        *sheet = nullptr;
    }
}

void SetSlot(int slot, int active, Surface* sheet) {
    sprites[slot].active = active;
    sprites[slot].surface = sheet;
}

int TypeStoryMessage(Window window, uint8_t messageId) {
    return TypeMessage(window, message.scriptText, message.textOriginX, message.textOriginY, 21, display.windowSheet,
                       255, 255, 255, messageId);
}

void DrawChoiceLines(const char* const lines[3]) {
    NoteChoiceOpened(lines, CHOICE_COUNT);  // the voice says the answers
    for (int i = 0; i < CHOICE_COUNT; ++i)
        DrawTextLine(lines[i], GAME_FACE, CHOICE_LINE_X, CHOICE_LINE_Y + CHOICE_SPACING * i, CHOICE_LINE_HEIGHT,
                     display.windowSheet, 255, 255, 255);
}

int MoveChoice(int choice) {
    if (keysPressed & KEY_UP) choice = (choice + 2) % CHOICE_COUNT;
    if (keysPressed & KEY_DOWN) choice = (choice + 1) % CHOICE_COUNT;
    return choice;
}

int ChoiceCursorY(int choice) { return CHOICE_CURSOR_Y + CHOICE_SPACING * choice; }

void AnimateCaption(Window window) {
    AnimateSprite(window, story.captionSequence, 263, 32, 5, &story.captionSequence[0], &story.captionSequence[21],
                  13);
}
