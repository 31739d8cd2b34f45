// The player's settings: the record, its file (KEPT_SETTINGS "settings", `key = value` lines) and the
// settings overlay (F10). The file is read at start, before the command line is applied; it is written
// only when the player changes something in the overlay.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include "app/comforts.h"
#include "input/input.h"
#include "platform/keep.h"
#include "platform/sound.h"
#include "platform/speech.h"
#include "text/text.h"

PlayerSettings settings;

namespace {
constexpr size_t MAX_SETTINGS_FILE = 16u << 10;
const char SETTINGS_NAME[] = "settings";

std::string Trimmed(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// A whole number from low to high.
bool NumberIn(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    int number = std::stoi(text);
    if (number < low || number > high) return false;
    *value = number;
    return true;
}

bool LanguageTag(const std::string& text) {
    return text.empty() || !LanguageTextNames(text).empty();
}

std::string SpeedName(int speed) { return speed == 0 ? "page" : std::to_string(speed); }

// The translations beside the story's own text: data.LANG.txt in the data folder (the working folder).
std::vector<std::string> Translations() {
    std::vector<std::string> tags;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
        std::string name = entry.path().filename().string();
        if (name.size() <= 9 || name.compare(0, 5, "data.") != 0 || name.compare(name.size() - 4, 4, ".txt") != 0)
            continue;
        std::string tag = name.substr(5, name.size() - 9);
        if (!LanguageTextNames(tag).empty() && tags.size() < 32) tags.push_back(tag);
    }
    std::sort(tags.begin(), tags.end());
    return tags;
}

// The overlay's lines, in order.
enum SettingLine {
    LINE_TEXT_SPEED = 0, LINE_AUTO, LINE_AUTO_PAUSE, LINE_MUSIC, LINE_EFFECTS, LINE_FULLSCREEN, LINE_VOICE,
    LINE_LANGUAGE, LINE_COUNT
};

struct SettingsOverlay {
    int line;
    int changed;
    std::vector<std::string> languages;  // "" then the story's translations
};
SettingsOverlay overlay = {0, 0, {}};

int LineCount() { return overlay.languages.size() > 1 ? LINE_COUNT : LINE_LANGUAGE; }

std::string LineText(int line) {
    switch (line) {
        case LINE_TEXT_SPEED:
            return "Text speed: " + (settings.textSpeed == 0 ? std::string("a page at once")
                                     : std::to_string(settings.textSpeed) +
                                           (settings.textSpeed == 1 ? " character a frame" : " characters a frame"));
        case LINE_AUTO: return std::string("Auto-advance (A): ") + (settings.autoAdvance ? "on" : "off");
        case LINE_AUTO_PAUSE: return "Auto pause: " + std::to_string(settings.autoPauseMs) + " ms";
        case LINE_MUSIC: return "Music volume: " + std::to_string(settings.musicVolume) + " %";
        case LINE_EFFECTS: return "Effect volume: " + std::to_string(settings.effectVolume) + " %";
        case LINE_FULLSCREEN:
            return std::string("Full screen: ") + (settings.fullscreen ? "on" : "off") + " (from the next start)";
        case LINE_VOICE: return std::string("Self-voicing (Shift+V): ") + (settings.selfVoicing ? "on" : "off");
        case LINE_LANGUAGE:
            return "Language: " + (settings.language.empty() ? std::string("the story's own") : settings.language) +
                   " (from the next start)";
    }
    return "";
}

int Step(int value, int by, int low, int high) { return std::clamp(value + by, low, high); }

void ChangeLine(int line, int direction) {
    static const int speeds[] = {1, 2, 4, 0};
    switch (line) {
        case LINE_TEXT_SPEED: {
            int at = 0;
            while (at < 3 && speeds[at] != settings.textSpeed) ++at;
            settings.textSpeed = speeds[std::clamp(at + direction, 0, 3)];
            break;
        }
        case LINE_AUTO: settings.autoAdvance = !settings.autoAdvance; break;
        case LINE_AUTO_PAUSE: settings.autoPauseMs = Step(settings.autoPauseMs, 250 * direction, 0, 10000); break;
        case LINE_MUSIC: settings.musicVolume = Step(settings.musicVolume, 10 * direction, 0, 100); break;
        case LINE_EFFECTS: settings.effectVolume = Step(settings.effectVolume, 10 * direction, 0, 100); break;
        case LINE_FULLSCREEN: settings.fullscreen = !settings.fullscreen; break;
        case LINE_VOICE: settings.selfVoicing = !settings.selfVoicing; break;
        case LINE_LANGUAGE: {
            const std::vector<std::string>& tags = overlay.languages;
            auto found = std::find(tags.begin(), tags.end(), settings.language);
            int at = found == tags.end() ? 0 : int(found - tags.begin());
            settings.language = tags[size_t((at + direction + int(tags.size())) % int(tags.size()))];
            break;
        }
    }
    overlay.changed = 1;
    ApplySettings();
}

// The settings that are a number in a range, in the file's order.
struct NumberSetting {
    const char* name;
    int PlayerSettings::*field;
    int least, most;
};
constexpr NumberSetting numberSettings[] = {
    {"auto", &PlayerSettings::autoAdvance, 0, 1},
    {"auto-pause-ms", &PlayerSettings::autoPauseMs, 0, 60000},
    {"auto-per-char-ms", &PlayerSettings::autoPerCharMs, 0, 1000},
    {"music-volume", &PlayerSettings::musicVolume, 0, 100},
    {"effect-volume", &PlayerSettings::effectVolume, 0, 100},
    {"fullscreen", &PlayerSettings::fullscreen, 0, 1},
    {"self-voicing", &PlayerSettings::selfVoicing, 0, 1},
};

const NumberSetting* NumberSettingNamed(const std::string& name) {
    for (const NumberSetting& number : numberSettings)
        if (name == number.name) return &number;
    return nullptr;
}
}  // namespace

int ParseSettings(const std::string& text, PlayerSettings* out, std::string* why, std::vector<std::string>* notes) {
    PlayerSettings read;
    size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = Trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            *why = "line " + std::to_string(number) + " is not KEY = VALUE";
            return 0;
        }
        std::string key = Trimmed(line.substr(0, equals)), value = Trimmed(line.substr(equals + 1));
        bool ok = true;
        if (key == "text-speed") {
            ok = value == "1" || value == "2" || value == "4" || value == "page";
            if (ok) read.textSpeed = value == "page" ? 0 : std::stoi(value);
        } else if (const NumberSetting* setting = NumberSettingNamed(key)) {
            ok = NumberIn(value, setting->least, setting->most, &(read.*(setting->field)));
        } else if (key == "language") {
            ok = LanguageTag(value);
            if (ok) read.language = value;
        } else {
            notes->push_back("line " + std::to_string(number) + ": unknown setting \"" + key + "\" ignored");
        }
        if (!ok) {
            *why = "line " + std::to_string(number) + ": \"" + value + "\" is no value for " + key;
            return 0;
        }
    }
    *out = read;
    return 1;
}

std::string SettingsText(const PlayerSettings& s) {
    std::string text = "# kirake's settings, as the settings overlay (F10) writes them\n"
                       "text-speed = " + SpeedName(s.textSpeed) + "\n";
    for (const NumberSetting& number : numberSettings)
        text += std::string(number.name) + " = " + std::to_string(s.*(number.field)) + "\n";
    return text + "language = " + s.language + "\n";
}

void LoadSettings() {
    settings = PlayerSettings{};
    std::string bytes, why, place = KeptPlace(KEPT_SETTINGS, SETTINGS_NAME);
    std::vector<std::string> notes;
    if (!ReadKept(KEPT_SETTINGS, SETTINGS_NAME, MAX_SETTINGS_FILE, &bytes, &why)) {
        if (why.empty()) return;  // none yet
    } else if (ParseSettings(bytes, &settings, &why, &notes)) {
        for (const std::string& note : notes) std::fprintf(stderr, "kirake: %s: %s\n", place.c_str(), note.c_str());
        return;
    }
    std::fprintf(stderr, "kirake: %s set aside (%s); the game starts with the default settings\n", place.c_str(),
                 why.c_str());
    SetKeptAside(KEPT_SETTINGS, SETTINGS_NAME);
}

int SaveSettings() {
    std::string why;
    if (WriteKept(KEPT_SETTINGS, SETTINGS_NAME, SettingsText(settings), &why)) return 1;
    std::fprintf(stderr, "kirake: cannot keep the settings in %s: %s\n",
                 KeptPlace(KEPT_SETTINGS, SETTINGS_NAME).c_str(), why.c_str());
    return 0;
}

// The settings that take effect at once: the two sound levels (the text speed, auto and the voice are
// read where they act; full screen and the language at the next start).
void ApplySettings() {
    SoundSetGroupLevel(SOUND_GROUP_MUSIC, settings.musicVolume);
    SoundSetGroupLevel(SOUND_GROUP_EFFECTS, settings.effectVolume);
}

void SettingsPanelLines(std::vector<std::string>* lines, int* highlighted) {
    if (overlay.languages.empty()) {
        overlay.languages.push_back("");
        for (const std::string& tag : Translations()) overlay.languages.push_back(tag);
    }
    for (int i = 0; i < LineCount(); ++i) lines->push_back(LineText(i));
    *highlighted = std::clamp(overlay.line, 0, LineCount() - 1);
}

// The overlay's keys: 0 when it closes.
int SettingsOverlayKeys(uint32_t pressed) {
    if (pressed & (PKEY_F10 | PKEY_TAP_OUTSIDE)) return 0;
    int count = LineCount(), line = std::clamp(overlay.line, 0, count - 1);
    int moved = line;
    if (pressed & (PKEY_UP | PKEY_WHEEL_UP)) moved = (line + count - 1) % count;
    if (pressed & (PKEY_DOWN | PKEY_WHEEL_DOWN)) moved = (line + 1) % count;
    int direction = (pressed & (PKEY_RIGHT | PKEY_SPACE)) ? 1 : (pressed & PKEY_LEFT) ? -1 : 0;
    overlay.line = moved;
    if (direction) ChangeLine(moved, direction);
    if (direction || moved != line) SayText(LineText(moved).c_str(), SPEECH_NOTICE, settings.selfVoicing);
    return 1;
}

void SettingsOverlayClosed() {
    if (overlay.changed) SaveSettings();
    overlay.changed = 0;
}
