// What the game shows that pointing and the page's controls depend on: the answer lines of the choice
// open this frame, and whether the story has reached its last page. The game sets it once a frame; a
// backend that turns pointing (a tap, a click) into key presses reads it.
#pragma once

struct ShownState {
    int choiceCount;       // answer lines open now; 0: no choice is open
    int choiceIndex;       // the highlighted one
    int choiceTop;         // page y of the top of line 0
    int choiceLineHeight;  // line i covers choiceTop + i x choiceLineHeight to the next line's top
    int storyOver;         // 1: the last page, which stays until the game is closed
    int overlay;           // 1: an overlay of the player's own (history, settings, the offer to continue)
                           // is open: a tap outside it arrives as KEYCODE_TAP_OUTSIDE, a swipe as the wheel
};

void SetShownState(const ShownState& state);
ShownState CurrentShownState();
