// The story's constant data: title events, the first choice, the partner routes, the endings and the
// staff roll.
#pragma once
#include <cstdint>
#include "story/story.h"

// One event of the title: the piece shown, the effect played with it, and the frames to the next event.
struct TitleEvent {
    int slot;
    int effectSlot;
    int startsSong;  // 1: the title song starts after the effect
    int delayAfter;
};
constexpr int TITLE_EVENT_COUNT = 5;
extern const TitleEvent titleEvents[TITLE_EVENT_COUNT];

// The three answers of a choice, top to bottom, drawn at CHOICE_LINE_X and y CHOICE_LINE_Y + 24 x index.
constexpr int CHOICE_COUNT = 3;
constexpr int CHOICE_LINE_X = 130, CHOICE_LINE_Y = 362, CHOICE_LINE_HEIGHT = 24, CHOICE_SPACING = 24;
constexpr int CHOICE_CURSOR_Y = 359;  // the cursor of answer 0; answer i lies CHOICE_SPACING x i lower
extern const char* const firstChoiceLines[CHOICE_COUNT];

// A partner route: its chapter, step variable, pictures, message ids and choice.
struct RouteRecord {
    int chapter;
    int StoryState::*step;
    int firstAnswer;  // the answer at the first choice that leads here
    uint8_t openingMessage;
    const char* partnerPicture;
    const char* stagePicture;
    uint8_t stageMessage;
    uint8_t questionMessage;
    const char* choiceLines[CHOICE_COUNT];
    const char* matchPicture;
    uint8_t matchMessage;
    uint8_t missMessage;
};
constexpr int FIRST_ROUTE_CHAPTER = 2;
constexpr int ROUTE_COUNT = 3;
extern const RouteRecord routeRecords[ROUTE_COUNT];

// What the ending shows: rows 0-2 after a match (by first answer), row 3 after a miss.
struct EndingCase {
    const char* endingPicture;  // window sheet, shown first
    const char* portrait;       // character sheet, loaded in every case
    const char* paletteFrom;    // the last master palette of the switch
    int portraitShown;
};
constexpr int ENDING_MISS = 3;
extern const EndingCase endingCases[4];
extern const char closingPicture[];  // the window sheet under the staff roll

// The staff roll: each line at y = CREDITS_START_Y - rollScroll + offset.
struct CreditLine {
    int offset;
    const char* text;
};
constexpr int CREDITS_X = 350, CREDITS_START_Y = 540, CREDITS_HEIGHT = 20;
constexpr int CREDITS_GONE_Y = -80;  // the last line's y at which the credits end
constexpr int CREDIT_LINE_COUNT = 27;
extern const CreditLine creditLines[CREDIT_LINE_COUNT];
extern const char theEndLine[];
constexpr int THE_END_X = 450, THE_END_HEIGHT = 40, THE_END_STOP_SCROLL = 320;
