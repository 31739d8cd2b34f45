// Chapters 2 to 4: the partner routes, one set of handlers over the route record of the current chapter.
// A route changes the scene, asks its question, and compares the answer with a random draw.
#include <cstdlib>
#include "gfx/gfx.h"
#include "story/random.h"
#include "input/input.h"
#include "platform/clock.h"
#include "story/scene_kit.h"
#include "story/scenes.h"
#include "story/script.h"
#include "story/story.h"
#include "story/tables.h"

namespace {
constexpr int ROUTE_FADE_LAST = 26;
constexpr int KEY_WAIT_SLOT = 4, CHOICE_CURSOR_SLOT = 5;
enum RouteMainState { OPENING_MESSAGE, SCENE_FADE_OUT, STAGE_MESSAGE, QUESTION_MESSAGE, CHOICE_OPEN };

// The record and the state set of the route chapter that is running (the first route outside 2 to 4).
int RouteIndex() {
    int index = story.chapter - FIRST_ROUTE_CHAPTER;
    return index >= 0 && index < ROUTE_COUNT ? index : 0;
}
}  // namespace

// The route draw: the standard generator seeded with the calendar time at confirmation, reduced to 0-2.
int DrawRouteNumber() {
    StorySeed(unsigned(GetCalendarTime()));
    return StoryRandom() % CHOICE_COUNT;
}

ShownState StoryShownState() {
    if (scriptPlayer.active) return ScriptShownState();
    ShownState shown{0, 0, CHOICE_CURSOR_Y, CHOICE_SPACING, 0, 0};
    bool routeChapter = story.chapter >= FIRST_ROUTE_CHAPTER && story.chapter < FIRST_ROUTE_CHAPTER + ROUTE_COUNT;
    if (story.chapter == 1 && story.openingStep == 5 && story.choiceState == 1) {
        shown.choiceCount = CHOICE_COUNT;
        shown.choiceIndex = story.choiceIndex;
    } else if (routeChapter && CurrentStep() == 0 && story.routes[RouteIndex()].routeState == CHOICE_OPEN) {
        shown.choiceCount = CHOICE_COUNT;
        shown.choiceIndex = story.routes[RouteIndex()].routeChoice;
    }
    shown.storyOver = EndingAtRest();
    return shown;
}

void RouteMain(Window window) {
    const RouteRecord& route = routeRecords[RouteIndex()];
    StoryState::Route& state = story.routes[RouteIndex()];

    if (state.routeState == CHOICE_OPEN) {
        sprites[KEY_WAIT_SLOT].active = 0;
        int* sequence = story.routeCursorSequence;
        AnimateSprite(window, sequence, 32, 32, 5, &sequence[0], &sequence[21], CHOICE_CURSOR_SLOT);
        state.routeChoice = MoveChoice(state.routeChoice);
        sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorY(state.routeChoice);
        if (keysPressed & KEY_SPACE) {
            state.routeDraw = DrawRouteNumber();
            story.*route.step = state.routeChoice == state.routeDraw ? 1 : 2;
            sprites[CHOICE_CURSOR_SLOT].active = 0;
            ClearMessageBox(window);
        }
    }
    if (state.routeState == OPENING_MESSAGE && TypeStoryMessage(window, route.openingMessage)) {
        state.routeState = SCENE_FADE_OUT;
        sprites[KEY_WAIT_SLOT].active = 0;
    }
    if (state.routeState == SCENE_FADE_OUT) {
        if (state.routeFadeCount <= ROUTE_FADE_LAST) {
            FadeOutStep(window, 10);
            state.routeFadeCount++;
        } else {
            ReleaseSheet(&display.charSheet);
            ReleaseSheet(&display.bgSheet);
            LoadSheet(&display.charSheet, route.partnerPicture);
            LoadSheet(&display.bgSheet, route.stagePicture);
            SetSheetColorKeys(window);
            SetSlot(1, 1, display.bgSheet);
            SetSlot(2, 0, display.charSheet);
            state.routeState = STAGE_MESSAGE;
            state.routeFadeCount = 0;
        }
    }
    if (state.routeState == STAGE_MESSAGE) {
        if (state.routeFadeCount <= ROUTE_FADE_LAST) {
            FadeInStep(window, 10);
            state.routeFadeCount++;
        } else if (TypeStoryMessage(window, route.stageMessage)) {
            state.routeState = QUESTION_MESSAGE;
            sprites[2].active = 1;
        }
    }
    if (state.routeState == QUESTION_MESSAGE && TypeStoryMessage(window, route.questionMessage)) {
        state.routeState = CHOICE_OPEN;
        DrawChoiceLines(route.choiceLines);
        sprites[KEY_WAIT_SLOT].active = 0;
        sprites[CHOICE_CURSOR_SLOT].active = 1;
    }
}

void RouteMatch(Window window) {
    const RouteRecord& route = routeRecords[RouteIndex()];
    StoryState::Route& state = story.routes[RouteIndex()];
    if (state.matchState == 0) {
        ReplaceSheet(&display.charSheet, route.matchPicture);
        SetSheetColorKeys(window);
        SetSlot(2, 1, display.charSheet);
        state.matchState = 1;
    }
    if (state.matchState == 1 && TypeStoryMessage(window, route.matchMessage)) {
        story.chapter = 5;
        story.goodEnding = 1;
    }
}

void RouteMiss(Window window) {
    const RouteRecord& route = routeRecords[RouteIndex()];
    if (TypeStoryMessage(window, route.missMessage)) story.chapter = 5;
}
