// The player's settings: kept between runs, changed in the settings overlay (F10), overruled by the
// command line. Played with the defaults, the game is exactly the one without them.
#pragma once
#include <string>

struct PlayerSettings {
    int textSpeed = 1;          // characters typed a frame: 1, 2 or 4; 0 types a whole page at once
    int autoAdvance = 0;        // at a wait for a key, go on by itself (never at a question)
    int autoPauseMs = 1500;     // the pause before going on: this, plus autoPerCharMs for each character
    int autoPerCharMs = 40;
    int musicVolume = 100;      // percent of the music's own level
    int effectVolume = 100;     // percent of the effects' own level
    int fullscreen = 1;         // the desktop's window: full screen (1) or a window (0)
    int selfVoicing = 0;        // say the text aloud (speech.h)
    std::string language;       // a translation of the story ("" the story's own, or the system's)
};
extern PlayerSettings settings;
