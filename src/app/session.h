// Leave and come back: the session is the game played so far, kept so that the next start of the same
// story can continue it. It holds what a game's frames depend on beyond the story's data: the keys of each
// frame and the comforts' part (where they change), the music's clock where it differs from a steady
// 60 Hz, the seeds of the story's draws (the calendar time of each), and the frames run and shown.
// Continuing plays the kept frames again unshown and shows the frame left, as it was.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/window.h"

// main: --continue (1) or --afresh (0) answers the offer from the command line. 1, or 0 for another word.
int SetSessionAnswer(const char* answer);
// main, before WinMain: what kind of run this is. A run that starts at a scene or watches the data folder
// keeps no session (its frames are not the title's, or its data changes under it); only a run with a
// display and no key script is asked whether to continue. `frames`: --frames (-1 none); a continued run
// whose last frame comes before the frame left ends at once.
void SetSessionRun(int headless, int scripted, int startsAtScene, int watchesData, long frames);
// WinMain, before the first frame: reads the kept session of this story; asks (an overlay) or takes the
// command line's answer; on "continue" replays the kept frames unshown. Then keeps this game. 1, or 0 when
// the program was closed while asking.
int BeginSession(Window window);
// RunFrame, once the frame's keys and comforts are decided: notes them for the session.
void NoteSessionFrame();
// Writes the session now (on quit, and from the platform's suspend notice); it is also written every few
// seconds of play. Nothing is written when nothing changed since the last write.
void KeepSession();

// The session file's text, and reading it back (tests, the benchmark). A session is the record below.
struct SessionKeys {
    long frame;
    uint16_t held, pressed;
};
struct SessionComfort {
    long frame;
    uint8_t textSpeed, advance;
};
struct SessionClock {
    long call;  // the music's clock reading, counted from the first
    uint32_t ms;
};
struct SessionDraw {
    long frame;
    unsigned seed;
};
struct KeptSession {
    std::string identity;   // StoryIdentity() of the story played
    std::string textName;   // the story text played (data.txt or a translation's)
    int builtin = 0;        // --builtin-story
    long frames = 0;        // game frames run
    long shown = 0;         // display frames shown (the frame numbers go on from here)
    uint32_t clock = 0;     // the music's clock when kept
    std::vector<SessionKeys> keys;         // the keys from each frame where they change
    std::vector<SessionComfort> comforts;  // the comforts from each frame where they change
    std::vector<SessionClock> clockSteps;  // readings that differ from the steady clock's
    std::vector<SessionDraw> draws;        // the seeds of the draws
};
std::string SessionText(const KeptSession& s);
// 1, or 0 with *why naming the line at fault.
int ParseSession(const std::string& text, KeptSession* out, std::string* why);
constexpr size_t MAX_SESSION_ENTRIES = 1u << 20;     // each list's; a longer game is no longer kept
constexpr size_t MAX_SESSION_BYTES = 32u << 20;
