// The story's constant data.
#include "story/tables.h"

const TitleEvent titleEvents[TITLE_EVENT_COUNT] = {
    {7, 2, 0, 15},   // title piece 1, "Houtyo.wav"
    {8, 2, 0, 15},   // title piece 2
    {9, 2, 0, 50},   // title piece 3
    {10, 3, 1, 50},  // title piece 4, "Han.wav", and the title song
    {11, 3, 0, 30},  // title piece 5
};

const char* const firstChoiceLines[CHOICE_COUNT] = {"I'm not sure yet", "Take over the world", "Become a hero"};

const RouteRecord routeRecords[ROUTE_COUNT] = {
    {2, &StoryState::hiyoriStep, 0, '4', "hiyori.BMP", "stage2.BMP", '5', '6',
     {"Let's go do karaoke", "How about fishing?", "Let's go eat something"}, "hiyori2.BMP", '7', '8'},
    {3, &StoryState::herenStep, 1, '9', "heren.BMP", "stage2.BMP", '#', '$',
     {"Go shoplifting", "Parking violations", "Dig up flowerbeds"}, "heren2.BMP", '%', '&'},
    {4, &StoryState::fuuyaStep, 2, ':', "fuuya1.BMP", "stage2.BMP", '-', '?',
     {"Where is the demon lord?", "Is there a legendary sword?", "Is there a princess?"}, "fuuya2.BMP", ',', '.'},
};

const EndingCase endingCases[4] = {
    {"happy.BMP", "hiyorin.BMP", "hiyorin.BMP", 1},
    {"happy.BMP", "Heren3.BMP", "Heren3.BMP", 1},
    {"happy.BMP", "fuuya.BMP", "fuuya.BMP", 1},
    {"ijyou.BMP", "fuuya.BMP", "sakura.BMP", 0},
};
const char closingPicture[] = "sakura.BMP";

const CreditLine creditLines[CREDIT_LINE_COUNT] = {
    {0, "Merivalde"},
    {40, "         --Staff--"},
    {90, "         -Design-"},
    {110, "            TK5"},
    {150, "        -Program-"},
    {170, "            TK5"},
    {210, "       -Character-"},
    {230, "            TK5"},
    {270, "  -Character Design-"},
    {290, "            TK5"},
    {330, "            -BG-"},
    {350, "            Lumet"},
    {390, "          -Music-"},
    {410, "            Lumet"},
    {450, "           -SFX-"},
    {470, "            Lumet"},
    {490, "            TK5"},
    {530, "        -Graphics-"},
    {550, "            TK5"},
    {570, "            Lumet"},
    {590, "            OSA"},
    {630, "      -Test Player-"},
    {650, "             Vink"},
    {690, "    -Special Thanks-"},
    {710, "            Lumet"},
    {730, "         Pomerinu"},
    {750, "         Friend #2"},
};
const char theEndLine[] = "The End";
