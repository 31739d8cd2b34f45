// The song language compiler: text -> CompiledSong -> .pmd bytes.
#include "songlang.h"
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include "sound/sound.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int VOICES = 24;
// A track holds at most as many steps as the game loads, and every step is a small fixed record however
// many notes it strikes: repeats copy steps, so the work and memory are bounded by the song file's size.
constexpr int MAX_STEPS = MAX_TRACK_LENGTH;

int8_t ToS8(double value) { return int8_t(std::clamp<long>(std::lround(value), -128, 127)); }

struct Token {
    std::string text;
    int line;
};

std::vector<Token> Tokenise(const std::string& text) {
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (std::isspace(uint8_t(c))) {
            ++i;
        } else {
            size_t start = i;
            // '#' right after a note letter is a sharp, not a comment ("C#5")
            while (i < text.size() && !std::isspace(uint8_t(text[i])) && (text[i] != '#' || i > start)) ++i;
            tokens.push_back({text.substr(start, i - start), line});
        }
    }
    return tokens;
}

bool ParseInt(const std::string& text, long* value) {
    if (text.empty() || text.size() > 12) return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    long v = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(uint8_t(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = text[0] == '-' ? -v : v;
    return true;
}

// The strikes of one step: absolute note numbers (instrument tracks; resolved once the instrument's octave
// is known) and voice numbers, as sets; and the line the step was written on.
constexpr int NOTES = 128;  // C0 to B#9, and room to spare
struct Step {
    int pan = 0;
    int line = 0;
    uint64_t notes[2] = {};  // bit n: note n
    uint32_t voices = 0;     // bit j: voice j
    void AddNote(int note) { notes[note / 64] |= uint64_t(1) << (note % 64); }
    bool HasNote(int note) const { return (notes[note / 64] >> (note % 64)) & 1; }
};

const std::map<std::string, int> DRUMS = {
    {"bd", 0},  {"kick", 0},    {"bd2", 2}, {"kick2", 2}, {"sd", 4},  {"snare", 4},
    {"oh", 8},  {"openhat", 8}, {"hh", 10}, {"hat", 10},  {"cy", 12}, {"cymbal", 12},
};

// "C4", "F#5", "Bb3": the note number 12 * octave + semitone (C4 = 48); -1 when it is not a note.
int ParseNote(const std::string& text) {
    static const int SEMITONE[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.size() < 2) return -1;
    char letter = char(std::toupper(uint8_t(text[0])));
    if (letter < 'A' || letter > 'G') return -1;
    int note = SEMITONE[letter - 'A'];
    size_t i = 1;
    if (text[i] == '#') {
        ++note;
        ++i;
    } else if (text[i] == 'b' && i + 1 < text.size()) {
        --note;
        ++i;
    }
    if (i >= text.size() || i + 2 < text.size()) return -1;
    long octave;
    if (!ParseInt(text.substr(i), &octave) || text[i] == '-' || text[i] == '+' || octave > 9) return -1;
    return int(octave) * 12 + note;
}

std::string NoteName(int number) {
    static const char* NAMES[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return std::string(NAMES[((number % 12) + 12) % 12]) + std::to_string(number / 12);
}

class Compiler {
public:
    Compiler(const std::string& name, std::vector<std::string>* messages) : name_(name), messages_(messages) {}

    bool Run(const std::string& text, CompiledSong* song);

private:
    // The first MAX_ERRORS errors are listed (a repeat may copy one bad note a million times); Run counts the rest.
    static constexpr int MAX_ERRORS = 100;
    void Error(int line, const std::string& message) {
        ++errors_;
        if (messages_ && errors_ <= MAX_ERRORS)
            messages_->push_back(name_ + ":" + std::to_string(line) + ": error: " + message);
    }
    void Note(const std::string& message) {
        if (messages_) messages_->push_back(name_ + ": note: " + message);
    }
    // The integer argument after a keyword, checked against a range.
    bool Argument(size_t* i, const char* keyword, long low, long high, long* value);
    void ParseInstrument(size_t* i, int index, CompiledSong* song);
    void ParseValues(size_t* i, int line, const char* what, int8_t* out, int count);
    void ParseTrack(size_t* i, int index);
    bool ParseStep(const Token& token, int track, Step* step, int* count);
    void ParseSettings(CompiledSong* song);
    void ParseBlock(size_t* i, CompiledSong* song);
    size_t SongLength();
    void SetLoopStep(size_t length);
    void ResolveSteps(size_t length, CompiledSong* song);

    std::string name_;
    std::vector<std::string>* messages_;
    std::vector<Token> tokens_;
    int errors_ = 0;
    std::vector<Step> steps_[4];
    struct Mark {
        int step, line;
    };
    std::vector<Mark> loopMarks_;
    int loopLine_ = 0, lengthLine_ = 0;
    long loop_ = -1, length_ = -1;
};

bool Compiler::Argument(size_t* i, const char* keyword, long low, long high, long* value) {
    int line = tokens_[*i].line;
    if (*i + 1 >= tokens_.size() || tokens_[*i + 1].line != line) {
        Error(line, std::string("'") + keyword + "' needs a number");
        ++*i;
        return false;
    }
    ++*i;
    const std::string& text = tokens_[*i].text;
    ++*i;
    if (!ParseInt(text, value)) {
        Error(line, std::string("'") + keyword + "' needs a number, not '" + text + "'");
        return false;
    }
    if (*value < low || *value > high) {
        Error(line, std::string("'") + keyword + "' must be between " + std::to_string(low) + " and " +
                        std::to_string(high) + ", not " + text);
        return false;
    }
    return true;
}

void Compiler::ParseValues(size_t* i, int line, const char* what, int8_t* out, int count) {
    int got = 0;
    while (got < count && *i < tokens_.size() && tokens_[*i].text != "end") {
        long v;
        if (!ParseInt(tokens_[*i].text, &v) || v < -128 || v > 127) {
            Error(tokens_[*i].line, std::string(what) + " values are numbers from -128 to 127, not '" +
                                        tokens_[*i].text + "'");
            v = 0;
        }
        out[got++] = int8_t(v);
        ++*i;
    }
    if (got < count)
        Error(line, std::string(what) + " values: " + std::to_string(count) + " numbers needed, " +
                        std::to_string(got) + " given");
}

void Compiler::ParseInstrument(size_t* i, int index, CompiledSong* song) {
    SongInstrument& inst = song->instruments[index];
    int blockLine = tokens_[*i - 1].line;
    while (*i < tokens_.size()) {
        const Token& token = tokens_[*i];
        long v;
        if (token.text == "end") {
            ++*i;
            return;
        } else if (token.text == "octave") {
            if (Argument(i, "octave", 0, 19, &v)) inst.octave = int(v);
        } else if (token.text == "length") {
            lengthLine_ = token.line;
            if (Argument(i, "length", 4, MAX_NOTE_LENGTH, &v)) inst.noteLength = uint32_t(v);
        } else if (token.text == "volume") {
            if (Argument(i, "volume", 0, 300, &v)) inst.volume = int32_t(v);
        } else if (token.text == "wave" || token.text == "envelope") {
            bool wave = token.text == "wave";
            int line = token.line;
            ++*i;
            if (*i >= tokens_.size() || tokens_[*i].line != line) {
                Error(line, "'" + token.text + "' needs a shape name or 'values'");
                continue;
            }
            std::string shape = tokens_[*i].text;
            ++*i;
            if (shape == "values") {
                if (wave)
                    ParseValues(i, line, "wave", inst.wave, 256);
                else
                    ParseValues(i, line, "envelope", inst.envelope, 64);
            } else if (wave ? !MakeWaveShape(shape, inst.wave) : !MakeEnvelopeShape(shape, inst.envelope)) {
                Error(line, "unknown " + std::string(wave ? "wave" : "envelope") + " shape '" + shape + "'" +
                                (wave ? " (sine, triangle, saw, softsaw, square, pulse25, pulse12, organ, noise)"
                                      : " (flat, pluck, piano, bell, organ, pad, swell, staccato)"));
            }
        } else {
            Error(token.line, "unknown instrument setting '" + token.text +
                                  "' (octave, length, volume, wave, envelope, end)");
            ++*i;
        }
    }
    Error(blockLine, "instrument " + std::to_string(index) + " has no 'end'");
}

bool Compiler::ParseStep(const Token& token, int track, Step* step, int* count) {
    std::string body = token.text;
    *count = 1;
    step->line = token.line;
    size_t colon = body.find(':');
    if (colon != std::string::npos) {
        long n;
        if (!ParseInt(body.substr(colon + 1), &n) || n < 1 || n > 4096) {
            Error(token.line, "'" + token.text + "': the length after ':' must be a number of steps from 1 to 4096");
            return false;
        }
        *count = int(n);
        body = body.substr(0, colon);
    }
    if (body == "." || body == "r") return true;
    size_t start = 0;
    while (start <= body.size()) {
        size_t plus = body.find('+', start);
        std::string part = body.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        start = plus == std::string::npos ? body.size() + 1 : plus + 1;
        long voice;
        if (part.size() > 1 && part[0] == 'v' && ParseInt(part.substr(1), &voice) && part[1] != '-' &&
            part[1] != '+') {
            if (voice >= VOICES) {
                Error(token.line, "voice '" + part + "' does not exist (v0 to v23)");
                return false;
            }
            step->voices |= 1u << voice;
            continue;
        }
        if (track == 3) {
            bool soft = !part.empty() && part.back() == '~';
            auto drum = DRUMS.find(soft ? part.substr(0, part.size() - 1) : part);
            if (drum == DRUMS.end()) {
                Error(token.line, "unknown drum '" + part + "' (bd, bd2, sd, oh, hh, cy, a '~' after one for soft, or v0-v23)");
                return false;
            }
            step->voices |= 1u << (drum->second + (soft ? 1 : 0));
        } else {
            int note = ParseNote(part);
            if (note < 0) {
                Error(token.line, "unknown note or command '" + part + "'");
                return false;
            }
            step->AddNote(note);
        }
    }
    return true;
}

void Compiler::ParseTrack(size_t* i, int index) {
    std::vector<Step>& steps = steps_[index];
    int blockLine = tokens_[*i - 1].line;
    struct Open {
        size_t start;
        int line;
    };
    std::vector<Open> repeats;
    int pendingPan = 0, panLine = 0;
    while (*i < tokens_.size()) {
        const Token& token = tokens_[*i];
        ++*i;
        const std::string& t = token.text;
        if (t == "end") {
            for (const Open& open : repeats) Error(open.line, "'[' without a closing ']xN'");
            if (pendingPan) Error(panLine, "a pan change must come before a step");
            return;
        }
        if (t == "|") continue;
        if (t == "$") {
            loopMarks_.push_back({int(steps.size()), token.line});
            continue;
        }
        if (t == "[") {
            repeats.push_back({steps.size(), token.line});
            continue;
        }
        if (t[0] == ']') {
            long times;
            if (t.size() < 3 || (t[1] != 'x' && t[1] != '*') || !ParseInt(t.substr(2), &times) || times < 1 ||
                times > 256) {
                Error(token.line, "a repeat ends with ']x' and a count from 1 to 256, e.g. ']x2', not '" + t + "'");
                times = 1;
            }
            if (repeats.empty()) {
                Error(token.line, "'" + t + "' without an opening '['");
                continue;
            }
            size_t start = repeats.back().start;
            repeats.pop_back();
            size_t length = steps.size() - start;
            if ((steps.size() + length * size_t(times - 1)) > size_t(MAX_STEPS)) {
                Error(token.line, "the repeat makes the track longer than " + std::to_string(MAX_STEPS) + " steps");
                continue;
            }
            for (long k = 1; k < times; ++k)
                for (size_t s = 0; s < length; ++s) steps.push_back(steps[start + s]);
            continue;
        }
        if (t[0] == '@') {
            long pan;
            if (!ParseInt(t.substr(1), &pan) || pan < 1 || pan > 7) {
                Error(token.line, "pan is '@1' (left) to '@7' (right), '@4' the centre, not '" + t + "'");
                continue;
            }
            pendingPan = int(pan);
            panLine = token.line;
            continue;
        }
        Step step;
        int count;
        if (!ParseStep(token, index, &step, &count)) continue;
        if (steps.size() + size_t(count) > size_t(MAX_STEPS)) {
            Error(token.line, "the track is longer than " + std::to_string(MAX_STEPS) + " steps");
            continue;
        }
        step.pan = pendingPan;
        pendingPan = 0;
        steps.push_back(step);
        for (int k = 1; k < count; ++k) steps.push_back(Step());
    }
    Error(blockLine, "track " + std::to_string(index) + " has no 'end'");
}

// The settings and blocks, one after another.
void Compiler::ParseSettings(CompiledSong* song) {
    size_t i = 0;
    while (i < tokens_.size()) {
        const Token& token = tokens_[i];
        long v;
        if (token.text == "tempo") {
            if (Argument(&i, "tempo", 1, 60000, &v)) song->stepInterval = uint32_t(v);
        } else if (token.text == "drums") {
            if (Argument(&i, "drums", 0, 300, &v)) song->drumLevel = int32_t(v);
        } else if (token.text == "loop") {
            loopLine_ = token.line;
            if (Argument(&i, "loop", 0, MAX_STEPS, &v)) loop_ = v;
        } else if (token.text == "length") {
            lengthLine_ = token.line;
            if (Argument(&i, "length", 1, MAX_STEPS, &v)) length_ = v;
        } else if (token.text == "instrument" || token.text == "track") {
            ParseBlock(&i, song);
        } else {
            Error(token.line, "unknown setting '" + token.text +
                                  "' (tempo, drums, loop, length, instrument, track)");
            ++i;
        }
    }
}

// "instrument N" or "track N" (or "track drums") and its block up to "end"; a block without a good number
// is skipped.
void Compiler::ParseBlock(size_t* i, CompiledSong* song) {
    bool track = tokens_[*i].text == "track";
    int line = tokens_[*i].line;
    ++*i;
    long index = -1;
    if (*i < tokens_.size() && tokens_[*i].line == line) {
        if (track && tokens_[*i].text == "drums")
            index = 3;
        else if (!ParseInt(tokens_[*i].text, &index) || index < 0 || index > (track ? 3 : 2))
            index = -1;
        ++*i;
    }
    if (index < 0) {
        Error(line, track ? "'track' needs a number 0-3 (or 'drums')" : "'instrument' needs a number 0-2");
        while (*i < tokens_.size() && tokens_[*i].text != "end") ++*i;  // skip the block
        ++*i;
    } else if (track) {
        ParseTrack(i, int(index));
    } else {
        ParseInstrument(i, int(index), song);
    }
}

// The song's length (the "length" setting, else the longest track), every track padded to it.
size_t Compiler::SongLength() {
    size_t longest = 0;
    for (auto& steps : steps_) longest = std::max(longest, steps.size());
    size_t length = length_ > 0 ? size_t(length_) : longest;
    if (length == 0) {
        Error(tokens_.empty() ? 1 : tokens_.back().line, "the song has no steps");
        length = 1;
    }
    for (int t = 0; t < 4; ++t) {
        if (steps_[t].size() > length) {
            Error(lengthLine_ ? lengthLine_ : 1, "track " + std::to_string(t) + " has " +
                                               std::to_string(steps_[t].size()) + " steps, more than the length " +
                                               std::to_string(length));
        } else if (steps_[t].size() < length && !steps_[t].empty()) {
            Note("track " + std::to_string(t) + " has " + std::to_string(steps_[t].size()) +
                 " steps; padded with rests to " + std::to_string(length));
        }
        steps_[t].resize(length);
    }
    return length;
}

// The loop point: the "loop" setting or the tracks' '$' marks, which must agree; step 0 when none.
void Compiler::SetLoopStep(size_t length) {
    for (const Mark& mark : loopMarks_) {
        if (loop_ >= 0 && mark.step != loop_)
            Error(mark.line, "loop mark '$' at step " + std::to_string(mark.step) + " disagrees with loop " +
                                 std::to_string(loop_));
        loop_ = mark.step;
        if (!loopLine_) loopLine_ = mark.line;
    }
    if (loop_ < 0) loop_ = 0;
    if (size_t(loop_) >= length)
        Error(loopLine_ ? loopLine_ : 1, "loop step " + std::to_string(loop_) + " is not inside the song (0 to " +
                                             std::to_string(length - 1) + ")");
}

// Step words: the notes resolved against each instrument's range.
void Compiler::ResolveSteps(size_t length, CompiledSong* song) {
    for (int t = 0; t < 4; ++t) {
        std::vector<uint32_t>& words = song->tracks[t];
        words.assign(length, 0);
        int lowest = t < 3 ? 12 * (song->instruments[t].octave + 1) : 0;
        for (size_t s = 0; s < length; ++s) {
            const Step& step = steps_[t][s];
            uint32_t word = uint32_t(step.pan) << 24;
            word |= step.voices;
            for (int note = 0; note < NOTES && (step.notes[0] | step.notes[1]); ++note) {
                if (!step.HasNote(note)) continue;
                int voice = note - lowest;
                if (voice < 0 || voice >= VOICES) {
                    Error(step.line, "note " + NoteName(note) + " is outside instrument " + std::to_string(t) +
                                         " (octave " + std::to_string(song->instruments[t].octave) + ": " +
                                         NoteName(lowest) + " to " + NoteName(lowest + 23) + ")");
                    continue;
                }
                word |= 1u << voice;
            }
            words[s] = word;
        }
    }
}

bool Compiler::Run(const std::string& text, CompiledSong* song) {
    *song = CompiledSong();
    song->stepInterval = 125;
    song->drumLevel = 200;
    for (SongInstrument& inst : song->instruments) {
        inst.octave = 3;
        inst.noteLength = 8000;
        inst.volume = 250;
        MakeWaveShape("square", inst.wave);
        MakeEnvelopeShape("piano", inst.envelope);
    }
    tokens_ = Tokenise(text);
    ParseSettings(song);
    size_t length = SongLength();
    SetLoopStep(length);
    ResolveSteps(length, song);
    song->songLength = int32_t(length);
    song->trackLength = int32_t(length);
    song->loopStep = int32_t(loop_);
    if (errors_ > MAX_ERRORS && messages_)
        messages_->push_back(name_ + ": error: " + std::to_string(errors_ - MAX_ERRORS) + " more errors not listed");
    return errors_ == 0;
}

void Put32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
    for (int k = 0; k < 4; ++k) out[offset + k] = uint8_t(value >> (8 * k));
}

}  // namespace

bool MakeWaveShape(const std::string& name, int8_t wave[256]) {
    double v[256];
    auto harmonics = [&](std::initializer_list<double> amps) {
        double peak = 0;
        for (int i = 0; i < 256; ++i) {
            double s = 0;
            int k = 1;
            for (double a : amps) s += a * std::sin(2 * PI * k++ * i / 256.0);
            v[i] = s;
            peak = std::max(peak, std::fabs(s));
        }
        for (double& x : v) x /= peak;
    };
    if (name == "sine") {
        harmonics({1});
    } else if (name == "triangle") {
        for (int i = 0; i < 256; ++i) v[i] = i < 64 ? i / 64.0 : i < 192 ? (128 - i) / 64.0 : (i - 256) / 64.0;
    } else if (name == "saw") {
        for (int i = 0; i < 256; ++i) v[i] = i < 128 ? i / 128.0 : (i - 256) / 128.0;
    } else if (name == "softsaw") {
        harmonics({1, 1 / 2.0, 1 / 3.0, 1 / 4.0, 1 / 5.0, 1 / 6.0});
    } else if (name == "square") {
        for (int i = 0; i < 256; ++i) v[i] = i < 128 ? 0.8 : -0.8;
    } else if (name == "pulse25" || name == "pulse12") {
        // the low part sits as far below zero as keeps the average at zero: no offset to thump
        int high = name == "pulse25" ? 64 : 32;
        double low = -0.9 * high / (256.0 - high);
        for (int i = 0; i < 256; ++i) v[i] = i < high ? 0.9 : low;
    } else if (name == "organ") {
        harmonics({1, 0.5, 0.3, 0.2, 0, 0.1});
    } else if (name == "noise") {
        uint32_t state = 0x2545F491;
        for (double& x : v) {
            state = state * 1664525u + 1013904223u;
            x = double(state >> 8) / double(1 << 23) - 1.0;
        }
        double mean = 0;
        for (double x : v) mean += x / 256.0;
        for (double& x : v) x = (x - mean) * 0.9;
    } else {
        return false;
    }
    for (int i = 0; i < 256; ++i) wave[i] = ToS8(v[i] * 127.0);
    return true;
}

bool MakeEnvelopeShape(const std::string& name, int8_t envelope[64]) {
    double v[64];
    for (int k = 0; k < 64; ++k) {
        double rise = 1, fall = 1;
        if (name == "flat") {
            fall = std::min(1.0, (63 - k) / 2.0);
        } else if (name == "pluck") {
            fall = std::exp(-k / 7.0);
        } else if (name == "piano") {
            rise = k == 0 ? 0.7 : 1;
            fall = std::exp(-k / 18.0) * std::min(1.0, (63 - k) / 4.0);
        } else if (name == "bell") {
            fall = std::exp(-k / 12.0) * (0.85 + 0.15 * std::cos(k * 0.9));
        } else if (name == "organ") {
            rise = std::min(1.0, (k + 1) / 2.0);
            fall = 0.85 * std::min(1.0, (63 - k) / 6.0);
        } else if (name == "pad") {
            rise = std::min(1.0, (k + 1) / 14.0);
            fall = 0.8 * std::min(1.0, (63 - k) / 20.0);
        } else if (name == "swell") {
            rise = std::sin(PI * k / 63.0);
        } else if (name == "staccato") {
            fall = k < 6 ? 1.0 : k < 12 ? (12 - k) / 6.0 : 0.0;
        } else {
            return false;
        }
        v[k] = rise * fall;
    }
    for (int k = 0; k < 64; ++k) envelope[k] = ToS8(std::max(0.0, v[k]) * 127.0);
    return true;
}

bool CompileSongText(const std::string& text, const std::string& name, CompiledSong* song,
                     std::vector<std::string>* messages) {
    Compiler compiler(name, messages);
    return compiler.Run(text, song);
}

std::vector<uint8_t> EncodeSong(const CompiledSong& song) {
    size_t n = size_t(song.trackLength);
    std::vector<uint8_t> out(1048 + 16 * n, 0);
    Put32(out, 8, song.stepInterval);
    Put32(out, 12, uint32_t(song.loopStep));
    Put32(out, 16, uint32_t(song.songLength));
    Put32(out, 20, uint32_t(song.trackLength));
    for (int t = 0; t < 3; ++t) {
        const SongInstrument& inst = song.instruments[t];
        size_t base = 24 + 340 * size_t(t);
        out[base] = uint8_t(inst.octave);
        Put32(out, base + 4, inst.noteLength);
        Put32(out, base + 8, uint32_t(inst.volume));
        std::memcpy(&out[base + 20], inst.wave, 256);
        std::memcpy(&out[base + 276], inst.envelope, 64);
    }
    Put32(out, 1044, uint32_t(song.drumLevel));
    for (int t = 0; t < 4; ++t)
        for (size_t s = 0; s < n && s < song.tracks[t].size(); ++s)
            Put32(out, 1048 + 4 * (n * size_t(t) + s), song.tracks[t][s]);
    return out;
}
