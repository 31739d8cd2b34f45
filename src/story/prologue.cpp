// Chapter 0: the title. Five pieces appear with their sounds, the title song starts, the picture fades in,
// any key moves on, and the picture cross-fades to the caption.
#include "gfx/gfx.h"
#include "input/input.h"
#include "sound/sound.h"
#include "story/scene_kit.h"
#include "story/scenes.h"
#include "story/story.h"
#include "story/tables.h"

namespace {
constexpr int TITLE_FADE_LAST = 90;  // 91 fade-in steps
constexpr int OUTRO_LAST = 86;       // 87 cross-fade frames
constexpr int PALETTE_STEP = 3;
}  // namespace

void PrologueSetup(Window window) {
    ReleaseSheet(&display.windowSheet);
    ReleaseSheet(&display.charSheet);
    ReleaseSheet(&display.systemSheet);
    ReleaseSheet(&display.bgSheet);
    LoadSheet(&display.bgSheet, "stage1.BMP");
    LoadSheet(&display.windowSheet, "game_w.BMP");
    LoadSheet(&display.charSheet, "sensei.BMP");
    LoadSheet(&display.systemSheet, "system.BMP");
    SetSheetColorKeys(window);
    SetSlot(1, 0, display.bgSheet);
    SetSlot(2, 0, display.charSheet);
    SetSlot(4, 0, display.systemSheet);
    for (int slot = 7; slot <= 12; ++slot) SetSlot(slot, 0, display.systemSheet);
    SetSlot(13, 1, display.systemSheet);
    story.prologueStep = 1;
}

void PrologueTitle(Window window) {
    if (story.titleTimer == story.titleDelay) {
        if (story.titleStage >= TITLE_EVENT_COUNT) {
            if (story.titleFadeCount <= TITLE_FADE_LAST) {
                FadeInLowStep(window, PALETTE_STEP);
                story.titleFadeCount++;
            }
            if (keysPressed != 0) story.prologueStep = 2;
            story.titleDelay = 1;
        } else {
            const TitleEvent& event = titleEvents[story.titleStage];
            sprites[event.slot].active = 1;
            PlaySlot(event.effectSlot, 1);
            if (event.startsSong) SongControl(SONG_PLAY, nullptr);
            story.titleStage++;
            story.titleDelay = event.delayAfter;
        }
        story.titleTimer = 0;
    }
    story.titleTimer++;
}

void PrologueOutro(Window window) {
    AnimateCaption(window);
    if (story.outroCount <= OUTRO_LAST) {
        FadeOutOuterStep(window, PALETTE_STEP);
        FadeInBandStep(window, PALETTE_STEP);
        story.outroCount++;
    } else {
        story.prologueStep = 0;
        story.chapter++;
    }
}
