// Pieces the scene handlers share: sheet release, slot switching, the story's message and choice calls.
#pragma once
#include <cstdint>
#include "gfx/gfx.h"
#include "platform/window.h"

// Releases the sheet's surface if it holds one and clears the reference.
void ReleaseSheet(Surface** sheet);
// Sets a slot's active flag and points it at a sheet's current surface.
void SetSlot(int slot, int active, Surface* sheet);
// One frame of the message window with the story's standard arguments; 1 on the frame the message ends.
int TypeStoryMessage(Window window, uint8_t messageId);
// Draws three choice lines onto the window sheet, top to bottom.
void DrawChoiceLines(const char* const lines[3]);
// Moves a choice cursor by the frame's Up and Down keys (Up first); returns the new highlighted answer.
int MoveChoice(int choice);
// The choice cursor's y for an answer.
int ChoiceCursorY(int choice);
// One step of the caption slot's animation (slot 13, 263 x 32 strips, period 5).
void AnimateCaption(Window window);
