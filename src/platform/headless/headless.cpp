// The headless backend: no display, a virtual clock of exactly 1000/60 ms per display refresh, keys from
// a script, frames captured to PNG files. A frame takes one refresh, and one more for each page it flips
// beyond its first (a shake's five, a wipe's one), as on a 60 Hz display, where every flip waits for the
// next refresh. Its table is in table.cpp; the page's headless backend (web/) uses these parts in its own.
#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/headless/headless.h"
#include "platform/files.h"
#include "platform/window.h"

namespace {
enum ScriptAction { KEY_PRESS, KEY_DOWN_FROM, KEY_UP_FROM, ESCAPE, CLOSE, DEACTIVATE, SAVE_FILE };

struct ScriptEvent {
    long frame;
    ScriptAction action;
    std::vector<int> keys;
    long milliseconds;
    std::string name, from;  // SAVE_FILE: the data file, and the file whose bytes it gets
    std::string where;       // SAVE_FILE: "FILE:LINE", for its failure
};

// The key script and the capture list are bounded, and both are walked with one pointer as the frames
// go by: no search per frame.
constexpr uint64_t MAX_SCRIPT_FILE_BYTES = 16u << 20;
constexpr uint64_t MAX_SAVED_FILE_BYTES = 64u << 20;  // more than any data file the game reads
constexpr size_t MAX_CAPTURE_ITEMS = 4096;

struct HeadlessRecord {
    PlatformOptions options;
    std::vector<ScriptEvent> script;  // by frame, in file order within a frame
    size_t nextEvent;                 // the first event not yet due
    std::vector<std::pair<long, long>> captures;  // first and last frame, ordered, not overlapping
    size_t nextCapture;
    bool captureFailed;
    long framesShown;       // frames run so far = the number of the next frame
    long flips;             // pages presented in the frame under way
    long extraRefreshes;    // refreshes taken by the flips beyond each frame's first
    long deliveredFor = -1;  // the frame whose scripted events have been delivered
    uint64_t extraMs;        // virtual time spent inactive
    long pendingReactivateMs = -1;
    uint8_t keys[256];
    std::vector<int> releaseNext;  // keys pressed for one frame
};
HeadlessRecord headless;

const std::map<std::string, int> keyNames = {
    {"left", KEYCODE_LEFT}, {"right", KEYCODE_RIGHT}, {"up", KEYCODE_UP}, {"down", KEYCODE_DOWN}, {"z", KEYCODE_Z},
    {"x", KEYCODE_X},       {"c", KEYCODE_C},         {"v", KEYCODE_V},   {"space", KEYCODE_SPACE}, {"f1", KEYCODE_F1},
    {"f2", KEYCODE_F2},     {"enter", KEYCODE_RETURN}, {"a", KEYCODE_A},
    // The player's own: history, skip, settings, self-voicing; the wheel's turns and a tap outside an overlay.
    {"pageup", KEYCODE_PRIOR}, {"pagedown", KEYCODE_NEXT}, {"ctrl", KEYCODE_CONTROL}, {"shift", KEYCODE_SHIFT},
    {"s", KEYCODE_S},          {"f10", KEYCODE_F10},       {"wheelup", KEYCODE_WHEEL_UP},
    {"wheeldown", KEYCODE_WHEEL_DOWN}, {"tap", KEYCODE_TAP_OUTSIDE},
};

bool ParseNumber(const std::string& text, long* value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::atol(text.c_str());
    return true;
}

// The next word of text from *at (words are separated by white space, CR included); false at the end.
bool NextWord(const std::string& text, size_t* at, std::string* word) {
    while (*at < text.size() && std::isspace(static_cast<unsigned char>(text[*at]))) ++*at;
    size_t start = *at;
    while (*at < text.size() && !std::isspace(static_cast<unsigned char>(text[*at]))) ++*at;
    word->assign(text, start, *at - start);
    return *at > start;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool ParseScript(const std::string& path, std::string* error) {
    std::string text, why;
    if (!ReadRegularFile(path, MAX_SCRIPT_FILE_BYTES, &text, &why)) {
        *error = "cannot read key script " + path + ": " + why;
        return false;
    }
    size_t lineStart = 0;
    for (int number = 1; lineStart < text.size(); ++number) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        size_t at = 0;
        std::string frameText, verb;
        if (!NextWord(line, &at, &frameText)) continue;
        ScriptEvent event{};
        std::string where = path + ":" + std::to_string(number) + ": ";
        if (!ParseNumber(frameText, &event.frame) || !NextWord(line, &at, &verb)) {
            *error = where + "expected FRAME ACTION";
            return false;
        }
        if (verb == "press" || verb == "down" || verb == "up") {
            event.action = verb == "press" ? KEY_PRESS : verb == "down" ? KEY_DOWN_FROM : KEY_UP_FROM;
            std::string key;
            while (NextWord(line, &at, &key)) {
                auto found = keyNames.find(key);
                if (found == keyNames.end()) {
                    *error = where + "unknown key \"" + key + "\"";
                    return false;
                }
                event.keys.push_back(found->second);
            }
            if (event.keys.empty()) {
                *error = where + "no key named";
                return false;
            }
        } else if (verb == "escape" || verb == "close") {
            event.action = verb == "escape" ? ESCAPE : CLOSE;
        } else if (verb == "deactivate") {
            std::string ms;
            event.action = DEACTIVATE;
            if (!NextWord(line, &at, &ms) || !ParseNumber(ms, &event.milliseconds)) {
                *error = where + "deactivate needs MILLISECONDS";
                return false;
            }
        } else if (verb == "save") {
            // "save NAME FROM": the data file NAME gets the bytes of FROM (beside the script), as an editor saves.
            event.action = SAVE_FILE;
            if (!NextWord(line, &at, &event.name) || !NextWord(line, &at, &event.from)) {
                *error = where + "save needs NAME FROM";
                return false;
            }
            // A NUL byte would end the name the system is given early: "a\0b" would save over "a".
            if (event.name.find('\0') != std::string::npos || event.from.find('\0') != std::string::npos) {
                *error = where + "save: a name with a NUL byte in it";
                return false;
            }
            // NAME is a file of the data folder; FROM must be there to be read when the frame comes.
            bool outside = event.name[0] == '/' || event.name[0] == '\\';
            for (size_t at = 0; !outside && (at = event.name.find("..", at)) != std::string::npos; at += 2)
                outside = (at == 0 || event.name[at - 1] == '/' || event.name[at - 1] == '\\') &&
                          (at + 2 == event.name.size() || event.name[at + 2] == '/' || event.name[at + 2] == '\\');
            if (outside) {
                *error = where + "save: \"" + event.name + "\" is not a file of the data folder";
                return false;
            }
            size_t slash = path.find_last_of("/\\");
            bool absolute = IsSeparator(event.from[0]) || (event.from.size() > 2 && event.from[1] == ':');
            if (!absolute && slash != std::string::npos) event.from = path.substr(0, slash + 1) + event.from;
            struct stat info;
            bool exists = stat(event.from.c_str(), &info) == 0;
            if (!exists || !S_ISREG(info.st_mode)) {
                *error = where + "save: cannot read " + event.from + ": " +
                         (exists ? "not a regular file" : std::strerror(errno));
                return false;
            }
            event.where = path + ":" + std::to_string(number);
        } else {
            *error = where + "unknown action \"" + verb + "\"";
            return false;
        }
        std::string extra;
        if (NextWord(line, &at, &extra)) {
            *error = where + "unexpected \"" + extra + "\"";
            return false;
        }
        headless.script.push_back(event);
    }
    std::stable_sort(headless.script.begin(), headless.script.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
    return true;
}

bool ParseCaptures(const std::string& list, std::string* error) {
    std::vector<std::pair<long, long>> ranges;
    for (size_t start = 0; start < list.size();) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        start = comma + 1;
        if (ranges.size() == MAX_CAPTURE_ITEMS) {
            *error = "more than " + std::to_string(MAX_CAPTURE_ITEMS) + " items in the capture list";
            return false;
        }
        size_t dash = item.find('-');
        long first, last;
        bool ok = dash == std::string::npos
                      ? ParseNumber(item, &first) && (last = first, true)
                      : ParseNumber(item.substr(0, dash), &first) && ParseNumber(item.substr(dash + 1), &last);
        if (!ok || last < first) {
            *error = "bad capture list item \"" + item + "\"";
            return false;
        }
        ranges.push_back({first, last});
    }
    std::sort(ranges.begin(), ranges.end());
    for (const auto& range : ranges) {  // overlapping and touching ranges merged
        if (!headless.captures.empty() && range.first <= headless.captures.back().second + 1)
            headless.captures.back().second = std::max(headless.captures.back().second, range.second);
        else
            headless.captures.push_back(range);
    }
    return true;
}

bool ReadScriptAndCaptures(const PlatformOptions& options, std::string* error) {
    if (!options.keysFile.empty() && !ParseScript(options.keysFile, error)) return false;
    if (options.captureList.empty()) return true;
    if (!ParseCaptures(options.captureList, error)) return false;
    if (options.captureDir.empty()) {
        *error = "--capture needs --capture-dir";
        return false;
    }
    struct stat info;
    if (stat(options.captureDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "the capture folder " + options.captureDir + " does not exist";
        return false;
    }
    return true;
}

}  // namespace

int HeadlessStart(const PlatformOptions& options, std::string* error) {
    headless = HeadlessRecord{};
    headless.options = options;
    if (ReadScriptAndCaptures(options, error)) return 1;
    HeadlessStop();  // what was read before the fault goes with the start refused
    return 0;
}

// The frame clock may render again before another start (tests, the song player): none of this run's
// refreshes stay counted. The key script, the frames to capture and the keys pressed for one frame go
// with the run.
void HeadlessStop() {
    headless.flips = headless.extraRefreshes = 0;
    for (int key : headless.releaseNext) headless.keys[key] = 0;
    std::vector<int>().swap(headless.releaseNext);
    std::vector<ScriptEvent>().swap(headless.script);
    std::vector<std::pair<long, long>>().swap(headless.captures);
    headless.nextEvent = headless.nextCapture = 0;
}
int HeadlessOpenWindow(const char*, const char*) { return 1; }
void HeadlessCloseWindow() {}
void HeadlessHideCursor() {}

namespace {
// Saves as careful editors do: the bytes go to a temporary file beside the data file, which then takes
// its place, so that a save that fails leaves the data file as it was. A failure ends the run with
// status 1.
void SaveFile(const ScriptEvent& event) {
    std::string bytes, why;
    std::string target = FindDataFile(event.name.c_str());
    if (target.empty()) target = event.name;
    std::string temporary = target + ".saving";
    struct stat info;  // a FIFO there would block the open for writing until something reads it
    if (stat(temporary.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        NoteWriteFailure(event.where + ": save " + event.name + ": cannot write " + temporary + ": not a regular file");
        return;
    }
    if (ReadRegularFile(event.from, MAX_SAVED_FILE_BYTES, &bytes, &why)) {
        FILE* file = std::fopen(temporary.c_str(), "wb");
        bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file && std::fclose(file) != 0) ok = false;
        // Windows' rename does not replace a file: there the old one goes first.
        if (ok && std::rename(temporary.c_str(), target.c_str()) != 0)
            ok = std::remove(target.c_str()) == 0 && std::rename(temporary.c_str(), target.c_str()) == 0;
        if (!ok) {
            why = std::string("cannot write ") + target + ": " + std::strerror(errno);
            std::remove(temporary.c_str());
        } else {
            NoteSavedFile(target);  // taken at the next look, whenever the system's notice of it comes
            return;
        }
    } else {
        why = "cannot read " + event.from + ": " + why;
    }
    NoteWriteFailure(event.where + ": save " + event.name + ": " + why);
}

}  // namespace

// Delivers the scripted events due before the next frame, once.
void HeadlessPumpEvents() {
    long frame = headless.framesShown;
    if (headless.deliveredFor == frame) return;
    headless.deliveredFor = frame;
    for (int key : headless.releaseNext) headless.keys[key] = 0;
    headless.releaseNext.clear();
    if (FaultTakeAtFrame("surface-lost", frame)) LoseAllSurfaces();
    if (FaultTakeAtFrame("input-lost", frame)) KeyboardFocusLost();
    std::vector<ScriptEvent>& script = headless.script;
    while (headless.nextEvent < script.size() && script[headless.nextEvent].frame < frame) ++headless.nextEvent;
    for (; headless.nextEvent < script.size() && script[headless.nextEvent].frame == frame; ++headless.nextEvent) {
        const ScriptEvent& event = script[headless.nextEvent];
        switch (event.action) {
            case KEY_PRESS:
                for (int key : event.keys) {
                    headless.keys[key] = 0x80;
                    headless.releaseNext.push_back(key);
                }
                break;
            case KEY_DOWN_FROM:
                for (int key : event.keys) headless.keys[key] = 0x80;
                break;
            case KEY_UP_FROM:
                for (int key : event.keys) headless.keys[key] = 0;
                break;
            case ESCAPE: QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0); break;
            case CLOSE: QueueMessage(MSG_CLOSE, 0, 0); break;
            case DEACTIVATE:
                QueueMessage(MSG_ACTIVATEAPP, 0, 0);
                KeyboardFocusLost();
                headless.pendingReactivateMs = event.milliseconds;
                break;
            case SAVE_FILE: SaveFile(event); break;
        }
    }
}

void HeadlessWaitEvents() {
    if (headless.pendingReactivateMs >= 0) {
        headless.extraMs += uint64_t(headless.pendingReactivateMs);
        headless.pendingReactivateMs = -1;
        QueueMessage(MSG_ACTIVATEAPP, 1, 0);
        return;
    }
    // Nothing scripted can ever arrive: end the run rather than wait for ever.
    std::fprintf(stderr, "headless: waiting with nothing scripted to come; closing\n");
    QueueMessage(MSG_CLOSE, 0, 0);
    PostQuit(0);  // in case the window is already gone
}

void HeadlessPresent(const uint8_t*, int, const PaletteEntry*) { ++headless.flips; }

namespace {
void Capture(long frame) {
    std::vector<uint8_t> rgb(640 * 480 * 3);
    CapturePage(rgb.data());
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    std::string path = headless.options.captureDir + name;
    if (!headless.captureFailed && !WritePng(path.c_str(), rgb.data(), 640, 480)) {
        headless.captureFailed = true;  // said once; the run then ends with status 1
        NoteWriteFailure("cannot write the captured frame " + path);
    }
}
}  // namespace

void HeadlessFrameShown(long framesShown) {
    if (headless.flips > 1) headless.extraRefreshes += headless.flips - 1;
    headless.flips = 0;
    headless.framesShown = framesShown;
    long frame = framesShown - 1;
    const auto& captures = headless.captures;
    while (headless.nextCapture < captures.size() && captures[headless.nextCapture].second < frame)
        ++headless.nextCapture;
    if (headless.nextCapture < captures.size() && captures[headless.nextCapture].first <= frame) Capture(frame);
    if (headless.options.frames >= 0 && framesShown == headless.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

long HeadlessRefreshes(long framesRun) { return framesRun + headless.extraRefreshes; }

// Frames run to reach a starting scene count as they would have been shown.
uint32_t HeadlessTickCount() {
    return uint32_t(uint64_t(HeadlessRefreshes(headless.framesShown + UnshownFrameCount())) * 1000 / 60 +
                    headless.extraMs);
}

int64_t HeadlessCalendarTime() { return headless.options.epoch + int64_t(HeadlessTickCount() / 1000); }

void HeadlessMessageBox(const char* text, const char* caption) {
    std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
}

void HeadlessReadKeys(uint8_t state[256]) {
    for (int i = 0; i < 256; ++i) state[i] = headless.keys[i];
}
