// The player's comforts in the story's frames: text speed, auto-advance and skip decided once a frame
// into comfortFrame (all that they change in the game goes through it), the messages already read, the
// voice of the pages and answers, and the player's toggles.
#include <cstdio>
#include <set>
#include <string>
#include "app/comforts.h"
#include "input/input.h"
#include "platform/files.h"
#include "platform/keep.h"
#include "platform/pointing.h"
#include "platform/speech.h"
#include "text/text.h"

ComfortFrame comfortFrame;

namespace {
constexpr size_t MAX_READ_FILE = 1u << 20;   // the read messages of one story: some thousand lines
constexpr size_t MAX_READ_MESSAGES = 100000;
constexpr int SKIP_WAIT_FRAMES = 2;          // a read page stays this many frames before skip passes it

struct ComfortsState {
    int skipToggled;       // S: skip until an unread message or a question
    int waitFrames;        // frames the page has waited for a key, counted as each frame is decided
    int quiet;             // a replay: nothing said, nothing marked read
    std::string identity;  // the story's digest, taken once
    int readLoaded;
    std::set<int> read;    // starts of the messages read in this story
    int readChanged;       // read since they were last kept
    std::vector<std::string> answers;  // the open question's answers, for the voice
    int shownChoiceIndex;  // the answer last said under the cursor, -1 when no question is open
};
ComfortsState comforts = {0, 0, 0, "", 0, {}, 0, {}, -1};

uint64_t Fnv1a(uint64_t hash, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

std::string ReadName() { return "read-" + StoryIdentity(); }

void LoadReadMessages() {
    if (comforts.readLoaded) return;
    comforts.readLoaded = 1;
    std::string name = ReadName(), bytes, why;
    if (!ReadKept(KEPT_STATE, name.c_str(), MAX_READ_FILE, &bytes, &why)) {
        if (!why.empty()) {
            std::fprintf(stderr, "kirake: %s set aside (%s); the story's messages count as unread\n",
                         KeptPlace(KEPT_STATE, name.c_str()).c_str(), why.c_str());
            SetKeptAside(KEPT_STATE, name.c_str());
        }
        return;
    }
    size_t at = 0;
    int line = 1;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        std::string word = bytes.substr(at, end - at);
        at = end + 1;
        bool number = !word.empty() && word.size() <= 9 && word.find_first_not_of("0123456789") == std::string::npos;
        if (!number || comforts.read.size() >= MAX_READ_MESSAGES) {
            std::fprintf(stderr, "kirake: %s set aside (line %d is not a message's place); the story's messages "
                                 "count as unread\n", KeptPlace(KEPT_STATE, name.c_str()).c_str(), line);
            SetKeptAside(KEPT_STATE, name.c_str());
            comforts.read.clear();
            return;
        }
        comforts.read.insert(std::stoi(word));
        ++line;
    }
}

void SaveReadMessages() {
    std::string bytes, why, name = ReadName();
    for (int start : comforts.read) bytes += std::to_string(start) + "\n";
    if (!WriteKept(KEPT_STATE, name.c_str(), bytes, &why))
        std::fprintf(stderr, "kirake: cannot keep the messages read in %s: %s\n",
                     KeptPlace(KEPT_STATE, name.c_str()).c_str(), why.c_str());
}

void Say(const std::string& text, SpeechKind kind) {
    if (!comforts.quiet && !text.empty()) SayText(text.c_str(), kind, settings.selfVoicing);
}

void Notice(const char* text) {
    if (!comforts.quiet) SayText(text, SPEECH_NOTICE, settings.selfVoicing);
}

// The question's cursor, as the last frame left it: a moved cursor says its answer.
void FollowChoiceCursor() {
    ShownState shown = CurrentShownState();
    if (shown.choiceCount <= 0) {
        comforts.shownChoiceIndex = -1;
        return;
    }
    if (comforts.shownChoiceIndex < 0) comforts.shownChoiceIndex = 0;  // the first answer was said with the rest
    if (shown.choiceIndex == comforts.shownChoiceIndex) return;
    comforts.shownChoiceIndex = shown.choiceIndex;
    if (shown.choiceIndex >= 0 && size_t(shown.choiceIndex) < comforts.answers.size())
        Say(comforts.answers[size_t(shown.choiceIndex)], SPEECH_ANSWER);
}

int ValidTextSpeed(int speed) { return speed == 0 || speed == 2 || speed == 4 ? speed : 1; }
}  // namespace

std::string StoryIdentity() {
    if (!comforts.identity.empty()) return comforts.identity;
    uint64_t hash = 0xcbf29ce484222325ull;
    if (message.scriptText) hash = Fnv1a(hash, message.scriptText, message.scriptSize);
    hash = Fnv1a(hash, reinterpret_cast<const uint8_t*>("\0scenes\0"), 8);
    uint32_t size = 0;
    FILE* file = GetDataFileSize("scenes.txt", &size) ? OpenDataFile("scenes.txt", "rb") : nullptr;
    if (file) {
        uint8_t buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) hash = Fnv1a(hash, buffer, got);
        std::fclose(file);
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    comforts.identity = hex;
    return comforts.identity;
}

int MessageIsRead(int start) {
    LoadReadMessages();
    return comforts.read.count(start) ? 1 : 0;
}

void NoteMessageRead(int start) {
    if (comforts.quiet) return;
    LoadReadMessages();
    if (comforts.read.size() >= MAX_READ_MESSAGES || !comforts.read.insert(start).second) return;
    comforts.readChanged = 1;  // kept with the game (KeepSession), not at every page: a write is slow
}

void KeepReadMessages() {
    if (!comforts.readChanged) return;
    comforts.readChanged = 0;
    SaveReadMessages();
}

void NoteChoiceOpened(const char* const* answers, int count) {
    comforts.answers.clear();
    std::string all;
    for (int i = 0; i < count; ++i) {
        comforts.answers.push_back(answers[i] ? answers[i] : "");
        all += (i ? "\n" : "") + comforts.answers.back();
    }
    comforts.shownChoiceIndex = 0;
    Say(all, SPEECH_CHOICE);
}

void QuietComforts(int quiet) { comforts.quiet = quiet; }

void SayPage(const std::string& speaker, const std::string& text) {
    Say(speaker.empty() ? text : speaker + ": " + text, SPEECH_MESSAGE);
}

void DecideComfortFrame() {
    uint32_t pressed = input.playerPressed, held = input.playerHeld;
    if ((pressed & PKEY_V) && (held & PKEY_SHIFT)) {
        settings.selfVoicing = !settings.selfVoicing;
        SayText(settings.selfVoicing ? "Self-voicing on" : "Self-voicing off", SPEECH_NOTICE, 1);
    }
    if (pressed & PKEY_A) {
        settings.autoAdvance = !settings.autoAdvance;
        Notice(settings.autoAdvance ? "Auto on" : "Auto off");
    }
    if (pressed & PKEY_S) {
        comforts.skipToggled = !comforts.skipToggled;
        Notice(comforts.skipToggled ? "Skip on" : "Skip off");
    }
    if (pressed & (PKEY_PRIOR | PKEY_WHEEL_UP))
        OpenHistory();
    else if (pressed & PKEY_F10)
        OpenSettingsOverlay();
    FollowChoiceCursor();

    ComfortFrame frame;
    frame.textSpeed = uint8_t(ValidTextSpeed(settings.textSpeed));
    frame.advance = 0;
    int atWait = message.messageFound == 1 && message.keyWait == 1;
    comforts.waitFrames = atWait ? comforts.waitFrames + 1 : 0;
    int question = CurrentShownState().choiceCount > 0;
    if ((held & PKEY_CONTROL) || comforts.skipToggled) {
        if (question) {
            comforts.skipToggled = 0;  // a question is the player's
        } else if (message.messageFound == 1) {
            if (MessageIsRead(message.messageStart)) {
                frame.textSpeed = 0;
                frame.advance = atWait && comforts.waitFrames >= SKIP_WAIT_FRAMES;
            } else {
                comforts.skipToggled = 0;  // an unread message: read it
            }
        }
    }
    if (!frame.advance && settings.autoAdvance && atWait && !question) {
        long ms = long(settings.autoPauseMs) + long(settings.autoPerCharMs) * message.pageChars;
        frame.advance = comforts.waitFrames * 1000L >= ms * 60L ? 1 : 0;
    }
    comfortFrame = frame;
}
