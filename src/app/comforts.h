// The player's comforts over the story: text speed, auto-advance, skip, the history and the settings
// overlay, and the voice. None of them changes a frame of a game played without them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "app/settings.h"
#include "platform/window.h"

// What the comforts did to one frame beyond the keys: the session keeps it with the keys, and a replay
// sets it instead of deciding it, so that a continued game runs exactly as the one left.
struct ComfortFrame {
    uint8_t textSpeed = 1;  // characters typed this frame: 1, 2, 4; 0 the rest of the page
    uint8_t advance = 0;    // 1: a wait for a key ends this frame as if a key were pressed (auto, skip)
};
extern ComfortFrame comfortFrame;  // in effect for the frame being run

// RunFrame, after the keys are read: decides this frame's comforts from the settings, auto and skip.
void DecideComfortFrame();

// The story's identity: a digest (FNV-1a, 64 bits, as 16 hex digits) of the story text in play and of
// the story script (scenes.txt), so that what is kept for a story is never taken for another's.
std::string StoryIdentity();

// The message window (text/message.cpp) tells the comforts what it types:
// a page starts at `pos` of the text (the history keeps it, the voice says it whole);
void NoteMessagePage(const uint8_t* text, uint32_t size, int pos, int utf8);
// the message that starts at `start` had its last wait passed: it is read (kept per story);
void NoteMessageRead(int start);
// Writes the messages read since the last call into the kept file (with the game: KeepSession).
void KeepReadMessages();
int MessageIsRead(int start);
// the script's `say MESSAGE by NAME`: the speaker of the message about to be typed ("" none).
void SetMessageSpeaker(const std::string& name);
// A question opened with these answers (the voice says them; the cursor's moves say the one under it).
void NoteChoiceOpened(const char* const* answers, int count);
// While a continued game is replayed unshown: nothing is said, no message counted as read.
void QuietComforts(int quiet);

// The player's overlays (history, settings). While one is open the story stands still: the frame loop
// runs RunOverlayFrame instead of RunFrame.
int PlayerOverlayOpen();
const char* PlayerOverlayName();  // "history", "settings", or "" when none is open
void RunOverlayFrame(Window window);
int ClosePlayerOverlay();         // Esc: 1 when an overlay was open (and is now closed)

// The history: each page as typed (UTF-8, lines kept) with its speaker, the last HISTORY_ENTRIES.
constexpr int HISTORY_ENTRIES = 200;
struct HistoryEntry {
    std::string speaker;
    std::string text;  // lines separated by '\n'
};
const std::vector<HistoryEntry>& HistoryEntries();
void OpenHistory();

// The settings file (KEPT_SETTINGS "settings"): `key = value` lines.
// Parses it into *out (starting from the defaults). 1; or 0 with *why naming the line at fault. Unknown
// keys are noted in *notes and ignored.
int ParseSettings(const std::string& text, PlayerSettings* out, std::string* why, std::vector<std::string>* notes);
std::string SettingsText(const PlayerSettings& s);
// At start: reads the file into `settings` (a bad one is set aside with one line on standard error).
void LoadSettings();
int SaveSettings();
void OpenSettingsOverlay();
// Makes the settings' volumes and window what they say (after a change in the overlay, and at start).
void ApplySettings();
