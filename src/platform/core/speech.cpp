// Speech: every text given is handed to the running backend's speech output (which may say it aloud or
// show it to a screen reader); the texts said aloud are kept for the trace, a bounded number of them.
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/speech.h"

namespace {
constexpr size_t MAX_TEXT = 4096;   // bytes of one text (a page is a few hundred)
constexpr size_t MAX_LINES = 256;   // texts kept between two takes; the oldest go first

struct SpeechRecord {
    std::vector<std::string> spoken;  // said aloud since the last take
};
SpeechRecord speech;

const SpeechOutput* Output() { return CurrentBackend() ? CurrentBackend()->speech : nullptr; }
}  // namespace

void SayText(const char* text, SpeechKind kind, int voiced) {
    if (!text) return;
    std::string line(text);
    if (line.size() > MAX_TEXT) {
        size_t cut = MAX_TEXT;
        while (cut > 0 && (uint8_t(line[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        line.resize(cut);
    }
    if (voiced) {
        if (speech.spoken.size() >= MAX_LINES) speech.spoken.erase(speech.spoken.begin());
        speech.spoken.push_back(line);
    }
    if (const SpeechOutput* output = Output()) output->say(line.c_str(), kind, voiced ? 1 : 0);
}

int SpeechAvailable(std::string* why) {
    const SpeechOutput* output = Output();
    if (output) return output->available(why);
    if (why) *why = CurrentBackend() && CurrentBackend()->headless ? "a headless run says nothing aloud"
                                                                   : "this backend has no speech service";
    return 0;
}

void TakeSpokenLines(std::vector<std::string>* lines) {
    lines->clear();
    lines->swap(speech.spoken);
}

void SpeechReset() { speech = SpeechRecord{}; }

void SpeechStop() {
    if (const SpeechOutput* output = Output()) output->stop();
}
