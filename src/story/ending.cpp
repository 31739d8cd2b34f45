// Chapter 5: the ending picture, the switch to the closing picture with the ending song, and the staff
// roll with "The End".
#include "gfx/gfx.h"
#include "input/input.h"
#include "sound/sound.h"
#include "story/scene_kit.h"
#include "story/scenes.h"
#include "story/story.h"
#include "story/tables.h"
#include "text/text.h"

namespace {
constexpr int SEQUENCE_FADE_LAST = 26;  // 27 fade-out frames
constexpr int ROLL_FADE_LAST = 55;      // 56 fade-in frames
constexpr int WIPE_COLOUR = 220;
constexpr int PORTRAIT_SLOT = 6;

const EndingCase& CurrentEnding() {
    if (story.goodEnding != 1) return endingCases[ENDING_MISS];
    int answer = story.firstAnswer;
    return endingCases[answer >= 0 && answer < ENDING_MISS ? answer : 0];
}
}  // namespace

void EndingPicture(Window window) {
    SongControl(SONG_STOP, nullptr);
    ReplaceSheet(&display.windowSheet, CurrentEnding().endingPicture);
    PlaySlot(0, 1);
    SetSheetColorKeys(window);
    SetSlot(1, 0, display.bgSheet);
    SetSlot(2, 0, display.charSheet);
    SetSlot(4, 0, display.systemSheet);
    story.endingStep = 1;
}

void EndingSequence(Window window) {
    if (story.sequenceState == 1) {
        if (story.sequenceFadeCount <= SEQUENCE_FADE_LAST) {
            FadeOutAllStep(window, 10);
            story.sequenceFadeCount++;
        } else {
            FillScreenRect(window, 0, 0, 640, 480, WIPE_COLOUR);
            FlipPage(window);
            FillScreenRect(window, 0, 0, 640, 480, WIPE_COLOUR);
            ReleaseSheet(&display.windowSheet);
            ReleaseSheet(&display.charSheet);
            LoadSheet(&display.windowSheet, closingPicture);
            LoadMasterPalette(closingPicture);
            const EndingCase& ending = CurrentEnding();
            LoadSheet(&display.charSheet, ending.portrait);
            LoadMasterPalette(ending.paletteFrom);
            SetSlot(PORTRAIT_SLOT, ending.portraitShown, display.charSheet);
            SetSheetColorKeys(window);
            BlackOutAll(window);
            SongControl(SONG_LOAD, "end.pmd");
            SongControl(SONG_PLAY, nullptr);
            story.endingStep = 2;
        }
    }
    if (story.sequenceState == 0 && (keysPressed & KEY_SPACE)) story.sequenceState = 1;
}

void StaffRoll(Window window) {
    FillWindowSheetRect(window, CREDITS_X, 0, 640, 480, WIPE_COLOUR);
    if (story.rollFadeCount <= ROLL_FADE_LAST) {
        FadeInAllStep(window, 5);
        story.rollFadeCount++;
        return;
    }
    if (story.rollDone == 0) {
        for (const CreditLine& line : creditLines) {
            int y = CREDITS_START_Y - story.rollScroll + line.offset;
            if (y > 0 && y < 480)
                DrawTextLine(line.text, GAME_FACE, CREDITS_X, y, CREDITS_HEIGHT, display.windowSheet, 255, 255, 255);
        }
        int lastY = CREDITS_START_Y - story.rollScroll + creditLines[CREDIT_LINE_COUNT - 1].offset;
        if (lastY <= CREDITS_GONE_Y) {
            story.rollDone = 1;
            story.rollScroll = 0;
        } else {
            story.rollScroll++;
        }
    }
    if (story.rollDone == 1) {
        DrawTextLine(theEndLine, GAME_FACE, THE_END_X, CREDITS_START_Y - story.rollScroll, THE_END_HEIGHT,
                     display.windowSheet, 255, 255, 255);
        if (story.rollScroll != THE_END_STOP_SCROLL) story.rollScroll++;
    }
}

int EndingAtRest() {
    return story.chapter == 5 && story.endingStep == 2 && story.rollDone == 1 &&
                   story.rollScroll == THE_END_STOP_SCROLL
               ? 1
               : 0;
}
