// The history of the pages typed, and the player's overlays over the standing story: the history and
// the settings, drawn by the platform's panel over the dimmed page while no frame of the story runs.
#include <algorithm>
#include <deque>
#include <string>
#include "app/app.h"
#include "app/comforts.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/overlay.h"
#include "platform/pointing.h"
#include "platform/speech.h"
#include "text/text.h"

void SayPage(const std::string& speaker, const std::string& text);  // comforts.cpp
int SettingsOverlayKeys(uint32_t pressed);                          // settings.cpp: 0 when it closes
void SettingsOverlayClosed();                                       // settings.cpp: saves a change
void SettingsPanelLines(std::vector<std::string>* lines, int* highlighted);

namespace {
enum Overlay { OVERLAY_NONE = 0, OVERLAY_HISTORY, OVERLAY_SETTINGS };

struct HistoryState {
    std::vector<HistoryEntry> entries;  // oldest first, at most HISTORY_ENTRIES
    std::string speaker;                // of the message under way
    int overlay;
    int cursor;                         // the history's entry under the cursor
    std::vector<std::string> lines;     // the panel's lines, kept while it is shown
    std::vector<const char*> pointers;
};
HistoryState history = {{}, "", OVERLAY_NONE, 0, {}, {}};

// The page's text from `pos` as the message window types it: up to "<*", "<!", a fourth line's "</" or
// the end; codes left out, line ends as '\n', a gap as a blank. Bytes beyond ASCII are kept only in a
// UTF-8 story (the others' are not typed).
std::string PageText(const uint8_t* text, uint32_t size, uint32_t pos, int utf8) {
    std::string out;
    int line = 0;
    while (pos < size) {
        uint8_t byte = text[pos];
        if (byte != '<') {
            if (byte < 0x7F && byte >= 0x20) out += char(byte);
            else if (byte >= 0x80 && utf8) out += char(byte);
            ++pos;
            continue;
        }
        int code = pos + 1 < size ? text[pos + 1] : '!';
        if (code == '!' || code == '*' || (code == '/' && line == 3)) break;
        if (code == '/') {
            out += '\n';
            ++line;
        } else if (code == '+') {
            out += ' ';
        } else if (code == 'w' && pos + 2 < size && text[pos + 2] == 'v') {
            pos += 2;  // "<wv" and its digit
        }
        pos += 2;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

void ShowPanel() {
    history.lines.clear();
    int highlighted = -1;
    const char* title = "History";
    const char* footer = "Up, Down: scroll   Page Down or Esc: back to the story";
    if (history.overlay == OVERLAY_SETTINGS) {
        title = "Settings";
        footer = "Up, Down: choose   Left, Right: change   F10 or Esc: back to the story";
        SettingsPanelLines(&history.lines, &highlighted);
    } else if (history.entries.empty()) {
        history.lines.push_back("(nothing has been said yet)");
    } else {
        // The entries' lines up to the cursor's entry, its first line highlighted, the rest after it as
        // far as the panel reaches; the cursor's entry stays in view.
        std::vector<std::string> before, after;
        for (int i = 0; i < int(history.entries.size()); ++i) {
            const HistoryEntry& entry = history.entries[size_t(i)];
            std::vector<std::string>& into = i <= history.cursor ? before : after;
            size_t at = 0;
            bool first = true;
            while (at <= entry.text.size()) {
                size_t end = entry.text.find('\n', at);
                if (end == std::string::npos) end = entry.text.size();
                std::string line = entry.text.substr(at, end - at);
                if (first && i == history.cursor) highlighted = int(into.size());
                into.push_back(first && !entry.speaker.empty() ? entry.speaker + ": " + line : "    " + line);
                first = false;
                at = end + 1;
            }
        }
        size_t cursorEnd = before.size();
        size_t top = cursorEnd > size_t(OVERLAY_PANEL_LINES) ? cursorEnd - OVERLAY_PANEL_LINES : 0;
        if (size_t(highlighted) < top) top = size_t(highlighted);
        history.lines.assign(before.begin() + long(top), before.end());
        history.lines.insert(history.lines.end(), after.begin(), after.end());
        highlighted -= int(top);
    }
    history.pointers.clear();
    for (const std::string& line : history.lines) history.pointers.push_back(line.c_str());
    OverlayPanel panel = {title, history.pointers.data(), int(history.pointers.size()), highlighted, footer};
    ShowOverlayPanel(&panel);
}

void SayCursorEntry() {
    if (history.entries.empty()) return;
    const HistoryEntry& entry = history.entries[size_t(history.cursor)];
    std::string text = entry.speaker.empty() ? entry.text : entry.speaker + ": " + entry.text;
    SayText(text.c_str(), SPEECH_HISTORY, settings.selfVoicing);
}

void SetOverlayShown(int open) {
    ShownState shown = CurrentShownState();
    shown.overlay = open;
    SetShownState(shown);
}

void OpenOverlay(int which) {
    history.overlay = which;
    SetOverlayShown(1);
    ShowPanel();
}

// The history's keys: 0 when it closes.
int HistoryKeys(uint32_t pressed) {
    if (pressed & (PKEY_NEXT | PKEY_TAP_OUTSIDE)) return 0;
    int last = int(history.entries.size()) - 1, cursor = history.cursor;
    if (pressed & (PKEY_UP | PKEY_WHEEL_UP)) cursor = std::max(cursor - 1, 0);
    if (pressed & PKEY_PRIOR) cursor = std::max(cursor - 5, 0);
    if (pressed & (PKEY_DOWN | PKEY_WHEEL_DOWN)) cursor = std::min(cursor + 1, last);
    if (cursor != history.cursor && last >= 0) {
        history.cursor = cursor;
        SayCursorEntry();
    }
    return 1;
}
}  // namespace

void SetMessageSpeaker(const std::string& name) { history.speaker = name; }

void NoteMessagePage(const uint8_t* text, uint32_t size, int pos, int utf8) {
    if (!text || pos < 0) return;
    HistoryEntry entry{history.speaker, PageText(text, size, uint32_t(pos), utf8)};
    SayPage(entry.speaker, entry.text);
    if (history.entries.size() >= size_t(HISTORY_ENTRIES)) history.entries.erase(history.entries.begin());
    history.entries.push_back(std::move(entry));
}

const std::vector<HistoryEntry>& HistoryEntries() { return history.entries; }

void OpenHistory() {
    history.cursor = std::max(int(history.entries.size()) - 1, 0);
    OpenOverlay(OVERLAY_HISTORY);
    SayCursorEntry();
}

void OpenSettingsOverlay() {
    OpenOverlay(OVERLAY_SETTINGS);
    SayText("Settings", SPEECH_NOTICE, settings.selfVoicing);
}

int PlayerOverlayOpen() { return history.overlay != OVERLAY_NONE; }

const char* PlayerOverlayName() {
    return history.overlay == OVERLAY_HISTORY ? "history" : history.overlay == OVERLAY_SETTINGS ? "settings" : "";
}

int ClosePlayerOverlay() {
    if (history.overlay == OVERLAY_NONE) return 0;
    if (history.overlay == OVERLAY_SETTINGS) SettingsOverlayClosed();
    history.overlay = OVERLAY_NONE;
    ShowOverlayPanel(nullptr);
    SetOverlayShown(0);
    return 1;
}

// A frame while an overlay is open: the player's keys only, and the last page shown again (composed as
// the story's frame composed it) under the panel. No frame of the story, no step of the music.
void RunOverlayFrame(Window window) {
    ReadPlayerKeys();
    uint32_t pressed = input.playerPressed;
    int open = history.overlay == OVERLAY_HISTORY ? HistoryKeys(pressed) : SettingsOverlayKeys(pressed);
    if (!open)
        ClosePlayerOverlay();
    else
        ShowPanel();
    DrawBaseLayer(window);
    DrawSprites(window);
    FlipPage(window);
}
