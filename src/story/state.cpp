// The story's state, the sprite table's start-up layout, and the two-level chapter and step dispatch.
#include <iterator>
#include "gfx/gfx.h"
#include "app/hooks.h"
#include "story/scene_kit.h"
#include "story/scenes.h"
#include "story/script.h"
#include "story/story.h"
#include "text/text.h"

StoryState story;

namespace {
enum SheetId { BACKGROUND, CHARACTER, SYSTEM };

struct SlotDefault {
    int slot, active, x, y, left, top, right, bottom;
    SheetId sheet;
};

const SlotDefault slotDefaults[] = {
    {1, 0, 60, 41, 0, 0, 512, 272, BACKGROUND},      // stage
    {2, 1, 60, 45, 0, 0, 512, 272, CHARACTER},       // partner
    {4, 1, 550, 412, 544, 0, 576, 32, SYSTEM},       // key-wait cursor
    {5, 0, 90, 359, 544, 32, 576, 64, SYSTEM},       // choice cursor
    {6, 0, 50, 80, 0, 0, 300, 300, CHARACTER},       // ending portrait
    {7, 0, 0, 17, 134, 117, 227, 193, SYSTEM},       // title piece 1
    {8, 0, 40, 20, 233, 108, 424, 154, SYSTEM},      // title piece 2
    {9, 0, 50, 60, 229, 156, 504, 199, SYSTEM},      // title piece 3
    {10, 0, 80, 190, 0, 202, 500, 260, SYSTEM},      // title piece 4
    {11, 0, 30, 380, 0, 108, 120, 195, SYSTEM},      // title piece 5
    {12, 0, 281, 254, 192, 352, 256, 384, SYSTEM},   // a piece no scene shows
    {13, 0, 179, 240, 0, 352, 32, 384, SYSTEM},      // caption
};

Surface* SheetSurface(SheetId sheet) {
    switch (sheet) {
        case BACKGROUND: return display.bgSheet;
        case CHARACTER: return display.charSheet;
        case SYSTEM: return display.systemSheet;
    }
    return nullptr;
}

const SceneHandler prologueSteps[] = {PrologueSetup, PrologueTitle, PrologueOutro};
const SceneHandler openingSteps[] = {OpeningSetup,   OpeningIntro,   OpeningPicture,
                                     OpeningStage,   OpeningTeacher, OpeningChoice};
const SceneHandler routeSteps[] = {RouteMain, RouteMatch, RouteMiss};
const SceneHandler endingSteps[] = {EndingPicture, EndingSequence, StaffRoll};

// Calls the handler at the step number; a step outside the table runs nothing.
template <size_t N>
void RunStep(const SceneHandler (&steps)[N], int step, Window window) {
    if (step >= 0 && size_t(step) < N) steps[step](window);
}

int* StepOf(int chapter) {
    switch (chapter) {
        case 0: return &story.prologueStep;
        case 1: return &story.openingStep;
        case 2: return &story.hiyoriStep;
        case 3: return &story.herenStep;
        case 4: return &story.fuuyaStep;
        case 5: return &story.endingStep;
    }
    return nullptr;
}
}  // namespace

const ChapterDispatcher chapterTable[CHAPTER_COUNT] = {RunPrologue,    RunOpening,   RunHiyoriRoute,
                                                       RunHerenRoute,  RunFuuyaRoute, RunEnding};

void InitStoryState(Window window) {
    for (SpriteSlot& slot : spriteState.sprites) slot = {0, 0, 0, 0, 0, 0, 0, display.windowSheet};
    for (const SlotDefault& d : slotDefaults)
        sprites[d.slot] = {d.active, d.x, d.y, d.left, d.top, d.right, d.bottom, SheetSurface(d.sheet)};
    message.textOriginX = 60;
    message.textOriginY = 355;
    message.scriptPos = 0;
    message.penX = 0;
    message.penY = 0;
    spriteState.baseRect = {0, 0, 640, 480};
    BlackOut(window);
}

void ReplaceSheet(Surface** sheet, const char* fileName) {
    if (*sheet) {
        ReleaseSurface(*sheet);
        *sheet = nullptr;
    }
    LoadSheet(sheet, fileName);
}

void RunChapter(Window window) {
    if (hooks.beforeScene) hooks.beforeScene(window);
    if (scriptPlayer.active) RunScriptFrame(window);
    else if (story.chapter >= 0 && story.chapter < CHAPTER_COUNT) chapterTable[story.chapter](window);
}

int CurrentStep() {
    int* step = StepOf(story.chapter);
    return step ? *step : -1;
}

void RunPrologue(Window window) { RunStep(prologueSteps, story.prologueStep, window); }

void RunOpening(Window window) {
    RunStep(openingSteps, story.openingStep, window);
    AnimateCaption(window);
}

void RunHiyoriRoute(Window window) { RunStep(routeSteps, story.hiyoriStep, window); }
void RunHerenRoute(Window window) { RunStep(routeSteps, story.herenStep, window); }
void RunFuuyaRoute(Window window) { RunStep(routeSteps, story.fuuyaStep, window); }
void RunEnding(Window window) { RunStep(endingSteps, story.endingStep, window); }
