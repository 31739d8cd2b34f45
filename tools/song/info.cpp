// kirake-song info FILE.pmd: the header, the three instruments and the track statistics of a song, and
// what keeps it from playing as meant. Exit status 1 when the file breaks a limit.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <set>
#include <string>
#include <vector>
#include "read_input.h"
#include "song_tool.h"
#include "sound/sound.h"

namespace {

double LevelDb(int64_t level) { return (double(level) * 8 - 2400) / 100; }

struct Report {
    std::vector<std::string> problems;
    void Add(const std::string& text) { problems.push_back(text); }
};

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// A source file or some other file: says what is wanted instead of reading numbers out of it. 1 when
// the bytes may be a compiled song.
int LooksLikeSong(const char* path, const std::vector<uint8_t>& bytes) {
    size_t head = std::min(bytes.size(), size_t(SONG_HEADER_BYTES));
    if (std::find(bytes.begin(), bytes.begin() + long(head), 0) == bytes.begin() + long(head)) {
        std::fprintf(stderr,
                     "kirake-song info: %s is text, not a compiled song: compile it first "
                     "(kirake-song compile %s -o SONG.pmd) and give info the .pmd file\n",
                     path, path);
        return 0;
    }
    if (bytes.size() >= SONG_HEADER_BYTES) {
        SongHeader h;
        DecodeSongHeader(bytes.data(), &h);
        if (h.trackLength < 1 || h.trackLength > MAX_TRACK_LENGTH) {
            std::fprintf(stderr,
                         "kirake-song info: %s is not a compiled song (its track length would be %d steps; "
                         "a song has 1 to %d); info reads the .pmd files that kirake-song compile writes\n",
                         path, h.trackLength, MAX_TRACK_LENGTH);
            return 0;
        }
    }
    return 1;
}

// The step interval, the lengths and the drum level.
void DescribeSong(const SongHeader& h, Report& report) {
    // A step sounds on the first frame more than the interval after the last one.
    double framesPerStep = PlayedStepMs(h.stepInterval) * 60 / 1000;
    std::printf("step interval: %u ms (at 60 frames a second a step about every %.0f frames, %.1f ms)\n",
                h.stepInterval, framesPerStep, framesPerStep * 1000 / 60);
    std::printf("song length: %d steps, track length N: %d steps, loop step: %d\n", h.songLength, h.trackLength,
                h.loopStep);
    std::printf("drum level: %d (even drum voices %.2f dB, odd %.2f dB)\n", h.drumLevel, LevelDb(h.drumLevel),
                LevelDb(int64_t(h.drumLevel) * 70 / 100));
    if (h.drumLevel > 300 || h.drumLevel < -950)
        report.Add("the drum level is outside -950 to 300: the drum voices keep their previous volume");
}

void DescribeInstrument(int t, const InstrumentRecord& in, Report& report) {
    int minWave = 127, maxWave = -128, peakEnvelope = 0;
    for (int8_t v : in.wave) minWave = std::min<int>(minWave, v), maxWave = std::max<int>(maxWave, v);
    for (int8_t v : in.envelope) peakEnvelope = std::max(peakEnvelope, std::abs(int(v)));
    std::printf("instrument %d: octave shift %u", t, in.octaveShift);
    if (in.octaveShift <= MAX_OCTAVE_SHIFT)
        std::printf(" (voice 0 %.2f Hz, voice 23 %.2f Hz)", 22050.0 * VoiceIncrement(0, 1 << in.octaveShift) / 65536,
                    22050.0 * VoiceIncrement(23, 1 << in.octaveShift) / 65536);
    std::printf(", note length %u bytes (%.0f ms), volume level %d (%.2f dB)\n", in.noteLength,
                in.noteLength * 1000.0 / 22050, in.volumeLevel, LevelDb(in.volumeLevel));
    std::printf("  wave from %d to %d, envelope start %d, middle %d, end %d, peak %d\n", minWave, maxWave,
                in.envelope[0], in.envelope[32], in.envelope[63], peakEnvelope);
    std::string name = "instrument " + std::to_string(t);
    if (in.octaveShift > MAX_OCTAVE_SHIFT) report.Add(name + ": octave shift above 19: its voices are not built");
    if (in.noteLength < 4) report.Add(name + ": note length below 4 bytes: its voices are not built");
    if (in.noteLength > MAX_NOTE_LENGTH)
        report.Add(name + ": note length above " + std::to_string(MAX_NOTE_LENGTH) + " bytes: its voices are not built");
    if (in.volumeLevel > 300 || in.volumeLevel < -950)
        report.Add(name + ": volume level outside -950 to 300: its voices stay at full volume");
    if (peakEnvelope == 0) report.Add(name + ": the envelope is all zeros: the instrument is silent");
}

// The notes, strikes, pans and voices of each track (of a readable track length).
void DescribeTracks(const SongHeader& h, const std::vector<uint8_t>& bytes, Report& report) {
    uint64_t needed = SONG_HEADER_BYTES + 16ull * uint64_t(h.trackLength);
    if (bytes.size() > needed)
        std::printf("note: %llu bytes after the tracks are ignored\n", (unsigned long long)(bytes.size() - needed));
    static const char* trackNames[4] = {"track 0", "track 1", "track 2", "track 3 (drums)"};
    for (int t = 0; t < 4; ++t) {
        long notes = 0, strikes = 0, pans = 0, badPans = 0, firstBadPan = -1;
        std::set<int> voices;
        for (int32_t i = 0; i < h.trackLength; ++i) {
            size_t at = SONG_HEADER_BYTES + 4 * (size_t(t) * size_t(h.trackLength) + size_t(i));
            if (at + 4 > bytes.size()) break;
            uint32_t w = Word(bytes, at);
            int8_t pan = int8_t(uint8_t(w >> 24));
            if (pan >= 1 && pan <= 7) ++pans;
            if (pan < 0 || pan > 7) {
                if (firstBadPan < 0) firstBadPan = i;
                ++badPans;
            }
            if (w & 0xFFFFFF) ++notes;
            for (int j = 0; j < 24; ++j)
                if (w & (1u << j)) ++strikes, voices.insert(j);
        }
        std::printf("%s: %ld steps with notes, %ld strikes, %ld pan changes, voices", trackNames[t], notes, strikes,
                    pans);
        for (int v : voices) std::printf(" %d", v);
        std::printf(voices.empty() ? " none\n" : "\n");
        if (t == 3 && (voices.count(6) || voices.count(7)))
            std::printf("  note: drum voices 6 and 7 are empty and strike nothing\n");
        if (badPans)
            report.Add(std::string(trackNames[t]) + ": " + std::to_string(badPans) +
                       " pan index(es) outside 0 to 7, first at step " + std::to_string(firstBadPan) +
                       ": the pan is left unchanged there");
    }
}

}  // namespace

int SongInfoMain(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kirake-song info FILE.pmd\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadInputFile(argv[1], MAX_SONG_FILE_BYTES, &bytes, &why)) {
        std::fprintf(stderr, "kirake-song info: %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    if (!LooksLikeSong(argv[1], bytes)) return 1;
    std::printf("%s: %zu bytes\n", argv[1], bytes.size());
    Report report;
    if (bytes.size() < SONG_HEADER_BYTES) {
        std::printf("problem: the file is shorter than the 1048-byte header\n");
        return 1;
    }
    SongHeader h;
    DecodeSongHeader(bytes.data(), &h);
    const char* headerProblem = SongHeaderProblem(h, bytes.size());
    if (headerProblem) report.Add(headerProblem);
    DescribeSong(h, report);
    for (int t = 0; t < 3; ++t) DescribeInstrument(t, h.instruments[t], report);
    if (h.trackLength >= 1 && h.trackLength <= MAX_TRACK_LENGTH) DescribeTracks(h, bytes, report);
    if (report.problems.empty()) {
        std::printf("ok: the song respects every limit\n");
        return 0;
    }
    for (const std::string& p : report.problems) std::printf("problem: %s\n", p.c_str());
    return 1;
}
