// The frame trace: one JSON object per frame, written after the frame is shown.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "app/app.h"
#include "app/comforts.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/speech.h"
#include "app/hooks.h"
#include "sound/sound.h"
#include "story/script.h"
#include "story/story.h"
#include "text/text.h"

namespace {
struct TraceRecord {
    FILE* file;
    std::string path;
    bool failed;  // a write failed: said once, the trace stopped
    long frame;  // the number of the next line's frame
    std::vector<int> plays;
};
TraceRecord trace;

void TraceFailed() {
    std::fprintf(stderr, "kirake: cannot write the trace %s: %s\n", trace.path.c_str(), std::strerror(errno));
    std::fclose(trace.file);
    trace.file = nullptr;
    trace.failed = true;
}

// Sound slots started with PlaySlot (mode 1) during the frame, for the trace's "plays".
void TraceNotePlay(int slot) {
    if (trace.file) trace.plays.push_back(slot);
}

std::string JsonEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') out += "\\n";
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

// Where the story is: the built-in story's chapter and step, or the script's file and line.
std::string StoryPositionFields() {
    if (!scriptPlayer.active)
        return ",\"chapter\":" + std::to_string(story.chapter) + ",\"step\":" + std::to_string(CurrentStep());
    return ",\"scene\":\"" + JsonEscaped(ScriptPosition()) + "\"";
}

// The story's choices so far: the built-in story's first answer and ending, or the script's variables.
std::string StoryStateFields() {
    if (!scriptPlayer.active)
        return ",\"firstAnswer\":" + std::to_string(story.firstAnswer) +
               ",\"goodEnding\":" + std::to_string(story.goodEnding);
    std::string fields = ",\"vars\":{";
    const ScriptProgram& program = scriptPlayer.program;
    for (size_t i = 0; i < program.variables.size(); ++i)
        fields += (i ? ",\"" : "\"") + program.variables[i] + "\":" + std::to_string(scriptPlayer.values[i]);
    return fields + "}";
}
}  // namespace

int OpenTrace(const char* path) {
    CloseTrace();
    hooks.soundStarted = TraceNotePlay;
    trace.file = std::fopen(path, "wb");  // the same bytes on every system: no CR
    trace.path = path;
    return trace.file ? 1 : 0;
}

int CloseTrace() {
    if (trace.file && std::fclose(trace.file) != 0) {
        trace.file = nullptr;
        std::fprintf(stderr, "kirake: cannot write the trace %s: %s\n", trace.path.c_str(), std::strerror(errno));
        trace.failed = true;
    }
    if (hooks.soundStarted == TraceNotePlay) hooks.soundStarted = nullptr;
    int ok = trace.failed ? 0 : 1;
    trace = TraceRecord{};
    return ok;
}

void ForgetTracePlays() { trace.plays.clear(); }
void SetTraceFrame(long frame) { trace.frame = frame; }

void WriteTraceLine() {
    long frame = trace.frame++;
    std::vector<std::string> spoken;
    TakeSpokenLines(&spoken);  // taken on every frame, so that none is left for a later one
    if (!trace.file) return;
    std::string line = "{\"frame\":" + std::to_string(frame) + StoryPositionFields() +
                       ",\"held\":" + std::to_string(keysHeld) + ",\"pressed\":" + std::to_string(keysPressed) +
                       StoryStateFields() + ",\"sprites\":[";
    bool first = true;
    for (int i = 0; i < 256; ++i) {
        if (sprites[i].active != 1) continue;
        if (!first) line += ',';
        line += std::to_string(i);
        first = false;
    }
    line += "],\"palette\":";
    PaletteEntry entries[256];
    if (display.displayPalette && ReadPaletteEntries(display.displayPalette, entries)) {
        static const char hex[] = "0123456789abcdef";
        line += '"';
        for (const PaletteEntry& e : entries) {
            for (uint8_t byte : {e.red, e.green, e.blue, e.flags}) {
                line += hex[byte >> 4];
                line += hex[byte & 15];
            }
        }
        line += '"';
    } else {
        line += "null";
    }
    line += ",\"song\":{\"playing\":" + std::to_string(music.songPlaying) +
            ",\"step\":" + std::to_string(music.songStep) + "}";
    line += ",\"plays\":[";
    for (size_t i = 0; i < trace.plays.size(); ++i) {
        if (i) line += ',';
        line += std::to_string(trace.plays[i]);
    }
    line += "]";
    line += ",\"message\":{\"found\":" + std::to_string(message.messageFound) +
            ",\"wait\":" + std::to_string(message.keyWait) + ",\"pos\":" + std::to_string(message.scriptPos) +
            ",\"penX\":" + std::to_string(message.penX) + ",\"penY\":" + std::to_string(message.penY) + "}";
    // The player's comforts, only on the frames that have them: a trace of a game played without them
    // is the one it always was. Under an overlay the story's fields are those of the frame it stands at.
    if (PlayerOverlayOpen()) line += ",\"overlay\":\"" + std::string(PlayerOverlayName()) + "\"";
    if (!spoken.empty()) {
        line += ",\"spoke\":[";
        for (size_t i = 0; i < spoken.size(); ++i) line += (i ? ",\"" : "\"") + JsonEscaped(spoken[i]) + "\"";
        line += "]";
    }
    line += "}\n";
    trace.plays.clear();
    if (std::fputs(line.c_str(), trace.file) == EOF) TraceFailed();
}
