// Story: game state, sprite defaults, animation sequences, chapter and step dispatch, scene handlers.
#pragma once
#include <cstdint>
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/pointing.h"
#include "platform/window.h"

// An animation sequence: [0] frame counter, [1..20] cell columns ending with 99, [21] position (from 1),
// [21 + n] the row of the cell at position n.

struct StoryState {
    int chapter;
    int prologueStep, openingStep, hiyoriStep, herenStep, fuuyaStep, endingStep;
    int8_t firstAnswer;
    int8_t goodEnding;

    // Prologue.
    int titleStage, titleTimer, titleDelay, titleFadeCount, outroCount;
    // Opening.
    int introFadeCount, pictureFadeCount, stageFadeCount, teacherFadeCount;
    int pictureState, choiceState, choiceIndex;
    // Routes: one set per route chapter (2, 3, 4), indexed by chapter - 2.
    struct Route {
        int routeState, routeFadeCount, routeChoice, routeDraw, matchState;
    } routes[3];
    // Ending.
    int sequenceState, sequenceFadeCount, rollFadeCount, rollScroll, rollDone;

    AnimationSequence choiceCursorSequence = {0, 17, 18, 19, 18, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              1, 1, 1, 1, 1};
    AnimationSequence captionSequence = {0, 0, 0, 0, 0, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         1, 10, 9, 8, 11};
    AnimationSequence routeCursorSequence = {0, 17, 18, 19, 18, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             1, 1, 1, 1, 1};
};
extern StoryState story;

using SceneHandler = void (*)(Window window);
using ChapterDispatcher = void (*)(Window window);

constexpr int CHAPTER_COUNT = 6;
extern const ChapterDispatcher chapterTable[CHAPTER_COUNT];

void InitStoryState(Window window);
void ReplaceSheet(Surface** sheet, const char* fileName);
// The frame loop's step: the dispatcher of the current chapter (nothing for a chapter outside the table).
void RunChapter(Window window);
// The step number of the current chapter (for the trace), or -1 outside the table.
int CurrentStep();
// The route's random draw, 0-2, as RouteMain takes it at this moment (it reseeds from the calendar time).
int DrawRouteNumber();
// What is on the screen for pointing and the page's controls: the open choice (the first choice or a
// route question) and whether the staff roll has come to rest on its last page.
ShownState StoryShownState();

void RunPrologue(Window window);
void RunOpening(Window window);
void RunHiyoriRoute(Window window);
void RunHerenRoute(Window window);
void RunFuuyaRoute(Window window);
void RunEnding(Window window);
