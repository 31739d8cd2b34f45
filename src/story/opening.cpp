// Chapter 1: the opening. Four messages over four pictures, the change from the title song to "koi.pmd",
// and the first choice, which picks the partner route.
#include "gfx/gfx.h"
#include "input/input.h"
#include "sound/sound.h"
#include "story/scene_kit.h"
#include "story/scenes.h"
#include "story/story.h"
#include "story/tables.h"

namespace {
constexpr int INTRO_FADE_LAST = 26, PICTURE_FADE_LAST = 52, STAGE_FADE_LAST = 54, TEACHER_FADE_LAST = 26;
constexpr int CHOICE_CURSOR_SLOT = 5, KEY_WAIT_SLOT = 4;
}  // namespace

void OpeningSetup(Window window) {
    ReleaseSheet(&display.windowSheet);
    ReleaseSheet(&display.systemSheet);
    ReleaseSheet(&display.bgSheet);
    LoadSheet(&display.windowSheet, "black.BMP");
    LoadSheet(&display.systemSheet, "system2.BMP");
    LoadSheet(&display.bgSheet, "stage3.BMP");
    SetSheetColorKeys(window);
    SetSlot(1, 0, display.bgSheet);
    SetSlot(2, 0, display.charSheet);
    SetSlot(KEY_WAIT_SLOT, 0, display.systemSheet);
    for (int slot = 7; slot <= 12; ++slot) SetSlot(slot, 0, display.systemSheet);
    SetSlot(13, 1, display.systemSheet);
    story.openingStep = 1;
}

void OpeningIntro(Window window) {
    if (story.introFadeCount <= INTRO_FADE_LAST) {
        FadeInAllStep(window, 10);
        story.introFadeCount++;
        return;
    }
    if (!TypeStoryMessage(window, '0')) return;
    story.openingStep = 2;
    ReleaseSheet(&display.windowSheet);
    ReleaseSheet(&display.charSheet);
    ReleaseSheet(&display.systemSheet);
    ReleaseSheet(&display.bgSheet);
    LoadSheet(&display.windowSheet, "ochi.BMP");
    LoadSheet(&display.charSheet, "sensei.BMP");
    LoadSheet(&display.systemSheet, "system.BMP");
    LoadSheet(&display.bgSheet, "stage3.BMP");
    SetSheetColorKeys(window);
    SetSlot(1, 0, display.bgSheet);
    SetSlot(2, 0, display.charSheet);
    SetSlot(KEY_WAIT_SLOT, 0, display.systemSheet);
    SetSlot(12, 0, display.systemSheet);
    SetSlot(13, 0, display.systemSheet);
    SongControl(SONG_STOP, nullptr);
    SongControl(SONG_LOAD, "koi.pmd");
    PlaySlot(3, 1);
}

void OpeningPicture(Window window) {
    if (story.pictureState == 1) {
        if (story.pictureFadeCount <= PICTURE_FADE_LAST) {
            FadeOutAllStep(window, 5);
            story.pictureFadeCount++;
        } else {
            ReplaceSheet(&display.windowSheet, "game_w2.BMP");
            SetSheetColorKeys(window);
            SetSlot(1, 1, display.bgSheet);
            BlackOutAll(window);
            story.openingStep = 3;
        }
    }
    if (story.pictureState == 0 && (keysPressed & KEY_SPACE)) story.pictureState = 1;
}

void OpeningStage(Window window) {
    if (story.stageFadeCount <= STAGE_FADE_LAST) {
        FadeInAllStep(window, 5);
        story.stageFadeCount++;
        return;
    }
    if (!TypeStoryMessage(window, '1')) return;
    story.openingStep = 4;
    ReplaceSheet(&display.bgSheet, "stage1.BMP");
    SetSheetColorKeys(window);
    SetSlot(1, 1, display.bgSheet);
    SetSlot(2, 0, display.charSheet);
    SetSlot(KEY_WAIT_SLOT, 0, display.systemSheet);
    BlackOut(window);
    SongControl(SONG_PLAY, nullptr);
}

void OpeningTeacher(Window window) {
    if (story.teacherFadeCount <= TEACHER_FADE_LAST) {
        FadeInStep(window, 10);
        story.teacherFadeCount++;
        return;
    }
    if (!TypeStoryMessage(window, '2')) return;
    story.openingStep = 5;
    SetSlot(1, 1, display.bgSheet);
    SetSlot(2, 1, display.charSheet);
    SetSlot(KEY_WAIT_SLOT, 0, display.systemSheet);
}

void OpeningChoice(Window window) {
    if (story.choiceState == 1) {
        sprites[KEY_WAIT_SLOT].active = 0;
        int* sequence = story.choiceCursorSequence;
        AnimateSprite(window, sequence, 32, 32, 5, &sequence[0], &sequence[21], CHOICE_CURSOR_SLOT);
        story.choiceIndex = MoveChoice(story.choiceIndex);
        sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorY(story.choiceIndex);
        if (keysPressed & KEY_SPACE) {
            story.chapter += story.choiceIndex + 1;
            story.firstAnswer = int8_t(story.choiceIndex);
            sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorY(0);
            sprites[CHOICE_CURSOR_SLOT].active = 0;
            ClearMessageBox(window);
        }
    }
    if (story.choiceState == 0 && TypeStoryMessage(window, '3')) {
        story.choiceState = 1;
        DrawChoiceLines(firstChoiceLines);
        SetSlot(CHOICE_CURSOR_SLOT, 1, display.systemSheet);
        sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorY(0);
    }
}
