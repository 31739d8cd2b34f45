// Leave and come back: the session of the game under way, kept as a file of the player's state, and the
// game continued from it at the next start by playing its frames again, unshown, to the frame left.
#include "app/session.h"
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "app/app.h"
#include "app/comforts.h"
#include "app/hooks.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/keep.h"
#include "platform/keyboard.h"
#include "platform/overlay.h"
#include "platform/platform.h"
#include "platform/pointing.h"
#include "sound/sound.h"
#include "story/random.h"
#include "story/script.h"
#include "story/story.h"
#include "text/text.h"

namespace {
constexpr const char* SESSION_NAME = "session";
constexpr const char* SESSION_MAGIC = "kirake-session 1";
constexpr long KEEP_EVERY_FRAMES = 300;  // five seconds of play
constexpr long MAX_SESSION_FRAMES = 1L << 30;  // numbers read stay below twice this: a 32-bit long holds them

enum Answer { ANSWER_ASK, ANSWER_CONTINUE, ANSWER_AFRESH };

struct SessionState {
    Answer answer = ANSWER_ASK;
    // A run never asks unless main says it may (a player's run: a display, no key script, no --frames);
    // a game run inside a test program is told nothing and never waits for an answer.
    bool headless = true, scripted = false, startsAtScene = false, watchesData = false;
    long lastFrame = -1;   // --frames: the run ends once this many frames are numbered
    bool keeping = false;  // this game is noted and kept
    bool tooLong = false;  // said once; no longer kept
    KeptSession game;      // this game so far
    // the frames noted
    uint16_t lastHeld = 0, lastPressed = 0;
    ComfortFrame lastComfort;
    // the music's clock
    bool clockHooked = false;
    bool replaying = false;
    KeptSession replayed;      // the game replayed, while it is
    long calls = 0;            // readings so far
    long lastCallFrames = 0;   // game frames noted at the last reading
    uint32_t lastCallMs = 0;
    size_t nextClockStep = 0;  // replay: the next kept reading that differs
    uint32_t clockOffset = 0;  // added to the platform's clock (a continued game's clock goes on)
    // writing
    long keptFrames = -1;      // game frames at the last write
    long keptShown = -1;
};
SessionState session;

uint32_t SteadyMs(uint64_t refreshes) { return uint32_t(refreshes * 1000 / 60); }

// The reading a steady 60 Hz clock gives `frames` frames after it gave lastMs, lastFrames frames in.
uint32_t SteadyReading(uint32_t lastMs, long lastFrames, long frames) {
    if (frames == lastFrames) return lastMs;
    uint64_t refreshes = (uint64_t(lastMs) * 60 + 999) / 1000;  // the first refresh at or after lastMs
    if (SteadyMs(refreshes) == lastMs && frames > lastFrames) return SteadyMs(refreshes + uint64_t(frames - lastFrames));
    return lastMs + (SteadyMs(uint64_t(frames)) - SteadyMs(uint64_t(lastFrames)));
}

// The music's clock: the platform's, noted where a steady 60 Hz clock would not have given it (the real
// clock's jitter, a game inactive for a while), and in a replay the kept readings instead.
uint32_t SessionMusicClock() {
    SessionState& s = session;
    long frames = s.game.frames;
    uint32_t steady = s.calls ? SteadyReading(s.lastCallMs, s.lastCallFrames, frames) : SteadyMs(uint64_t(frames - 1));
    uint32_t value;
    if (s.replaying) {
        value = steady;
        const std::vector<SessionClock>& kept = s.replayed.clockSteps;
        if (s.nextClockStep < kept.size() && kept[s.nextClockStep].call == s.calls) value = kept[s.nextClockStep++].ms;
    } else {
        value = ClockMilliseconds() + s.clockOffset;
        if (value != steady && s.keeping) s.game.clockSteps.push_back({s.calls, value});
    }
    ++s.calls;
    s.lastCallFrames = frames;
    s.lastCallMs = value;
    return value;
}

uint32_t ClockNow() { return session.clockHooked ? ClockMilliseconds() + session.clockOffset : ClockMilliseconds(); }

bool TooLong(const KeptSession& g) {
    return g.keys.size() > MAX_SESSION_ENTRIES || g.comforts.size() > MAX_SESSION_ENTRIES ||
           g.clockSteps.size() > MAX_SESSION_ENTRIES || g.draws.size() > MAX_SESSION_ENTRIES ||
           g.frames >= MAX_SESSION_FRAMES;
}

// A game too long to keep (or that cannot be written) is kept no more; the kept file is emptied, so that
// no older part of it is offered either.
void StopKeeping() {
    std::string why;
    KeptSession none;
    none.identity = session.game.identity;
    WriteKept(KEPT_STATE, SESSION_NAME, SessionText(none), &why);
    session.keeping = false;
    storyDraws.keep = false;
    session.game.keys.clear();
    session.game.comforts.clear();
    session.game.clockSteps.clear();
    storyDraws.taken.clear();
}

// Reads the kept session: 1 with *kept; 0 when there is none or it was set aside (said on one line).
int ReadSession(KeptSession* kept) {
    std::string bytes, why;
    if (!ReadKept(KEPT_STATE, SESSION_NAME, MAX_SESSION_BYTES, &bytes, &why)) {
        if (why.empty()) return 0;
    } else if (ParseSession(bytes, kept, &why)) {
        return 1;
    }
    SetKeptAside(KEPT_STATE, SESSION_NAME);
    std::fprintf(stderr, "kirake: the kept game %s was set aside (%s); the game starts afresh\n",
                 KeptPlace(KEPT_STATE, SESSION_NAME).c_str(), why.c_str());
    return 0;
}

// Whether the kept session is of the story about to play; *why says what differs.
bool SameStory(const KeptSession& kept, std::string* why) {
    if (kept.builtin != (StoryScriptChosen() ? 0 : 1)) {
        *why = kept.builtin ? "it played the built-in story" : "it played the story script";
        return false;
    }
    if (kept.textName != ScriptTextName()) {
        *why = "it played " + kept.textName;
        return false;
    }
    if (kept.identity != StoryIdentity()) {
        *why = "the story has changed since";
        return false;
    }
    return true;
}

// The offer, over the dimmed page: 1 continue, 0 afresh, -1 the program is closing. Nothing of the game
// runs meanwhile. Keys held when it opens count only once let go.
int AskToContinue(Window window, bool changed, const std::string& why) {
    std::string line1 = changed ? "The game you left cannot be continued: " + why + "." : "A game was left at frame " +
                                                                                         std::to_string(session.game.shown) + ".";
    const char* lines[] = {line1.c_str(), "", changed ? "Any key: start afresh" : "Space or a tap: continue",
                           changed ? "" : "Any other key: start afresh"};
    OverlayPanel panel = {changed ? "The story has changed" : "Continue where you left?", lines, 4, -1, nullptr};
    ShowOverlayPanel(&panel);
    ShownState shown = CurrentShownState();
    ShownState asking = shown;
    asking.overlay = 1;
    SetShownState(asking);
    uint8_t before[256] = {};
    KeyboardGetState(before);
    int result = 0, flips = 0;
    for (;;) {
        if (PeekWindowMessage(&app.msg)) {
            if (!GetWindowMessage(&app.msg)) {
                PostQuit(int(app.msg.wParam));  // for the frame loop, which ends on it
                result = -1;
                break;
            }
            if (app.msg.id == MSG_KEYDOWN && app.msg.wParam == VKEY_ESCAPE) break;  // a key: afresh
            DispatchWindowMessage(&app.msg);
            continue;
        }
        if (!app.appActive) {
            WaitWindowMessage();
            continue;
        }
        uint8_t now[256] = {};
        if (KeyboardGetState(now) == KEYBOARD_INPUT_LOST) KeyboardAcquire();
        int pressed = -1;
        for (int code = 0; code < 256 && pressed < 0; ++code) {
            if (now[code] && !before[code]) pressed = code;
            if (!now[code]) before[code] = 0;
        }
        if (pressed >= 0) {
            result = !changed && (pressed == KEYCODE_SPACE || pressed == KEYCODE_TAP_OUTSIDE) ? 1 : 0;
            break;
        }
        FlipPage(window);  // shows the panel; the game's page is black yet
        ++flips;
        if (!display.device) break;
    }
    if (flips % 2) FlipPage(window);  // the page and the back buffer as they were
    ShowOverlayPanel(nullptr);
    SetShownState(shown);
    return result;
}

// The frames of the kept game, again, unshown: its keys, comforts, draws and clock.
void Replay(Window window) {
    SessionState& s = session;
    const KeptSession& kept = s.replayed;
    s.replaying = true;
    storyDraws.planned.clear();
    for (const SessionDraw& draw : kept.draws) storyDraws.planned.push_back({draw.frame, draw.seed});
    storyDraws.nextPlanned = 0;
    QuietComforts(1);
    BeginUnshownFrames();
    size_t nextKeys = 0, nextComfort = 0;
    for (long frame = 0; frame < kept.frames; ++frame) {
        if (nextKeys < kept.keys.size() && kept.keys[nextKeys].frame == frame) {
            s.lastHeld = kept.keys[nextKeys].held;
            s.lastPressed = kept.keys[nextKeys++].pressed;
        }
        if (nextComfort < kept.comforts.size() && kept.comforts[nextComfort].frame == frame) {
            s.lastComfort.textSpeed = kept.comforts[nextComfort].textSpeed;
            s.lastComfort.advance = kept.comforts[nextComfort++].advance;
        }
        keysHeld = s.lastHeld;
        keysPressed = s.lastPressed;
        comfortFrame = s.lastComfort;
        storyDraws.frame = frame;
        s.game.frames = frame + 1;
        if (!RunUnshownFrame(window)) break;
    }
    EndUnshownFrames();
    ContinueFrameNumbers(kept.shown);
    SetTraceFrame(kept.shown);
    ForgetTracePlays();
    QuietComforts(0);
    SetShownState(StoryShownState());
    storyDraws.planned.clear();
    s.replaying = false;
    s.clockOffset = kept.clock - ClockMilliseconds();
    // What the left game noted goes on being kept, up to the frame left.
    s.game.keys = kept.keys;
    s.game.comforts = kept.comforts;
    s.game.clockSteps.assign(kept.clockSteps.begin(), kept.clockSteps.begin() + long(s.nextClockStep));
    storyDraws.taken.clear();
    for (const SessionDraw& draw : kept.draws) storyDraws.taken.push_back({draw.frame, draw.seed});
}

bool ReadNumber(const char** at, long long* value) {
    const char* p = *at;
    while (*p == ' ') ++p;
    if (!(*p >= '0' && *p <= '9')) return false;
    errno = 0;
    char* end;
    long long v = std::strtoll(p, &end, 10);
    if (errno || end - p > 18) return false;
    *value = v;
    *at = end;
    return true;
}
}  // namespace

int SetSessionAnswer(const char* answer) {
    std::string a = answer ? answer : "";
    if (a != "continue" && a != "afresh") return 0;
    session.answer = a == "continue" ? ANSWER_CONTINUE : ANSWER_AFRESH;
    return 1;
}

void SetSessionRun(int headless, int scripted, int startsAtScene, int watchesData, long frames) {
    session.lastFrame = frames;
    session.headless = headless;
    session.scripted = scripted;
    session.startsAtScene = startsAtScene;
    session.watchesData = watchesData;
}

int BeginSession(Window window) {
    SessionState& s = session;
    if (s.startsAtScene || s.watchesData) return 1;
    KeptSession kept;
    // Only a run that may offer the kept game, or is told to continue it, reads it: the others (headless
    // and scripted runs left to themselves) keep theirs and say nothing of the one before.
    bool ask = !s.headless && !s.scripted && s.lastFrame < 0 && s.answer == ANSWER_ASK;
    if ((ask || s.answer == ANSWER_CONTINUE) && ReadSession(&kept) && kept.frames > 0) {
        std::string why;
        bool same = SameStory(kept, &why);
        int go = s.answer == ANSWER_CONTINUE && same;
        if (ask) {
            s.game.shown = kept.shown;
            go = AskToContinue(window, !same, why);
            if (go < 0) return 0;
        } else if (!same) {
            std::fprintf(stderr, "kirake: the kept game is not continued: %s; the game starts afresh\n",
                         why.c_str());
        }
        s.game = KeptSession{};
        if (go == 1) {
            s.keeping = true;
            storyDraws.keep = true;
            hooks.musicClock = SessionMusicClock;
            s.clockHooked = true;
            s.replayed = std::move(kept);
            Replay(window);
            s.replayed = KeptSession{};
            // A run to end before the frame left ends at once; the kept game stays as it was.
            if (s.lastFrame >= 0 && s.lastFrame < PlatformFrameNumber()) PostClose(window);
        }
    }
    s.game.identity = StoryIdentity();
    s.game.textName = ScriptTextName();
    s.game.builtin = StoryScriptChosen() ? 0 : 1;
    s.keeping = true;
    storyDraws.keep = true;
    hooks.musicClock = SessionMusicClock;
    s.clockHooked = true;
    s.keptFrames = s.game.frames;  // a game continued and left again at once keeps the file as it is
    s.keptShown = PlatformFrameNumber();
    SetSuspendHandler(KeepSession);
    return 1;
}

void NoteSessionFrame() {
    SessionState& s = session;
    long frame = s.game.frames;
    storyDraws.frame = frame;
    if (!s.clockHooked) return;
    s.game.frames = frame + 1;
    if (!s.keeping) return;
    if (keysHeld != s.lastHeld || keysPressed != s.lastPressed || !frame) {
        s.game.keys.push_back({frame, keysHeld, keysPressed});
        s.lastHeld = keysHeld;
        s.lastPressed = keysPressed;
    }
    if (comfortFrame.textSpeed != s.lastComfort.textSpeed || comfortFrame.advance != s.lastComfort.advance || !frame) {
        s.game.comforts.push_back({frame, comfortFrame.textSpeed, comfortFrame.advance});
        s.lastComfort = comfortFrame;
    }
    if (TooLong(s.game) || storyDraws.taken.size() > MAX_SESSION_ENTRIES) {
        s.tooLong = true;
        std::fprintf(stderr, "kirake: this game is too long to keep; it will not be continued\n");
        StopKeeping();
        return;
    }
    if (frame % KEEP_EVERY_FRAMES == KEEP_EVERY_FRAMES - 1) KeepSession();
}

void KeepSession() {
    SessionState& s = session;
    KeepReadMessages();  // whether or not this game is kept
    if (!s.keeping || s.replaying) return;
    long shown = PlatformFrameNumber();
    if (s.game.frames == s.keptFrames && shown == s.keptShown) return;
    s.game.shown = shown;
    s.game.clock = ClockNow();
    s.game.draws.clear();
    for (const DrawSeed& draw : storyDraws.taken) s.game.draws.push_back({draw.frame, draw.seed});
    std::string why;
    if (!WriteKept(KEPT_STATE, SESSION_NAME, SessionText(s.game), &why)) {
        std::fprintf(stderr, "kirake: the game cannot be kept in %s (%s)\n", KeptPlace(KEPT_STATE, SESSION_NAME).c_str(),
                     why.c_str());
        StopKeeping();  // said once
        return;
    }
    s.keptFrames = s.game.frames;
    s.keptShown = shown;
}

std::string SessionText(const KeptSession& g) {
    std::string text = std::string(SESSION_MAGIC) + "\n";
    char line[128];
    auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        text += line;
    };
    text += "story " + g.identity + "\n";
    text += "text " + g.textName + "\n";
    add("builtin %d\nframes %ld\nshown %ld\nclock %" PRIu32 "\n", g.builtin, g.frames, g.shown, g.clock);
    for (const SessionKeys& k : g.keys) add("k %ld %u %u\n", k.frame, unsigned(k.held), unsigned(k.pressed));
    for (const SessionComfort& c : g.comforts) add("c %ld %u %u\n", c.frame, unsigned(c.textSpeed), unsigned(c.advance));
    for (const SessionClock& c : g.clockSteps) add("t %ld %" PRIu32 "\n", c.call, c.ms);
    for (const SessionDraw& d : g.draws) add("d %ld %u\n", d.frame, d.seed);
    return text + "end\n";
}

int ParseSession(const std::string& text, KeptSession* out, std::string* why) {
    KeptSession g;
    size_t at = 0;
    long lineNumber = 0;
    bool ended = false, sawFrames = false;
    while (at < text.size()) {
        size_t newline = text.find('\n', at);
        if (newline == std::string::npos) newline = text.size();
        std::string line = text.substr(at, newline - at);
        at = newline + 1;
        ++lineNumber;
        auto fail = [&](const std::string& what) {
            *why = "line " + std::to_string(lineNumber) + ": " + what;
            return 0;
        };
        if (ended) return fail("more after the end");
        if (lineNumber == 1) {
            if (line != SESSION_MAGIC) return fail("not a kept game of this version");
            continue;
        }
        if (line.size() > 200) return fail("a line too long");
        if (line == "end") {
            ended = true;
            continue;
        }
        size_t space = line.find(' ');
        std::string word = line.substr(0, space), rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "story" || word == "text") {
            (word == "story" ? g.identity : g.textName) = rest;
            continue;
        }
        long long n[3] = {0, 0, 0};
        int wanted = word == "k" || word == "c" ? 3 : word == "t" || word == "d" ? 2 : 1;
        const char* p = rest.c_str();
        for (int i = 0; i < wanted; ++i)
            if (!ReadNumber(&p, &n[i])) return fail("a number missing in \"" + word + "\"");
        if (*p) return fail("more than the numbers of \"" + word + "\"");
        bool keyed = word == "k" || word == "c" || word == "d";
        if ((keyed || word == "t") && n[0] >= (long long)MAX_SESSION_FRAMES * 2) return fail("a frame out of range");
        if (word == "builtin" && n[0] <= 1) {
            g.builtin = int(n[0]);
        } else if (word == "frames" && n[0] < MAX_SESSION_FRAMES) {
            g.frames = long(n[0]);
            sawFrames = true;
        } else if (word == "shown" && n[0] < (long long)MAX_SESSION_FRAMES * 2) {
            g.shown = long(n[0]);
        } else if (word == "clock" && n[0] <= UINT32_MAX) {
            g.clock = uint32_t(n[0]);
        } else if (word == "k" && n[1] <= 0xffff && n[2] <= 0xffff) {
            if (!g.keys.empty() && n[0] <= g.keys.back().frame) return fail("keys out of order");
            g.keys.push_back({long(n[0]), uint16_t(n[1]), uint16_t(n[2])});
        } else if (word == "c" && n[1] <= 4 && n[2] <= 1) {
            if (!g.comforts.empty() && n[0] <= g.comforts.back().frame) return fail("comforts out of order");
            g.comforts.push_back({long(n[0]), uint8_t(n[1]), uint8_t(n[2])});
        } else if (word == "t" && n[1] <= UINT32_MAX) {
            if (!g.clockSteps.empty() && n[0] <= g.clockSteps.back().call) return fail("clock out of order");
            g.clockSteps.push_back({long(n[0]), uint32_t(n[1])});
        } else if (word == "d" && n[1] <= UINT32_MAX) {
            if (!g.draws.empty() && n[0] < g.draws.back().frame) return fail("draws out of order");
            g.draws.push_back({long(n[0]), unsigned(n[1])});
        } else {
            return fail("\"" + line.substr(0, 40) + "\" is not understood");
        }
        if (TooLong(g)) return fail("too many entries");
    }
    if (!ended) {
        *why = "cut short (no end line)";
        return 0;
    }
    if (!sawFrames || g.identity.empty()) {
        *why = "no frames or no story";
        return 0;
    }
    *out = std::move(g);
    return 1;
}
