// Song files: a 1048-byte header and four tracks of 32-bit step words.
#include <cstring>
#include "platform/files.h"
#include "sound/sound.h"

MusicState music;

namespace {
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int32_t S32(const uint8_t* p) { return int32_t(U32(p)); }
}  // namespace

void DecodeSongHeader(const uint8_t bytes[SONG_HEADER_BYTES], SongHeader* h) {
    std::memcpy(h->unused, bytes, 8);
    h->stepInterval = U32(bytes + 8);
    h->loopStep = S32(bytes + 12);
    h->songLength = S32(bytes + 16);
    h->trackLength = S32(bytes + 20);
    for (int t = 0; t < 3; ++t) {
        const uint8_t* r = bytes + 24 + 340 * t;
        InstrumentRecord& in = h->instruments[t];
        in.octaveShift = r[0];
        std::memcpy(in.unused1, r + 1, 3);
        in.noteLength = U32(r + 4);
        in.volumeLevel = S32(r + 8);
        std::memcpy(in.unused2, r + 12, 8);
        std::memcpy(in.wave, r + 20, 256);
        std::memcpy(in.envelope, r + 276, 64);
    }
    h->drumLevel = S32(bytes + 1044);
}

// The header as stored, the inverse of DecodeSongHeader.
void EncodeSongHeader(const SongHeader& h, uint8_t bytes[SONG_HEADER_BYTES]) {
    auto put = [bytes](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) bytes[at + k] = uint8_t(v >> (8 * k));
    };
    std::memcpy(bytes, h.unused, 8);
    put(8, h.stepInterval);
    put(12, uint32_t(h.loopStep));
    put(16, uint32_t(h.songLength));
    put(20, uint32_t(h.trackLength));
    for (int t = 0; t < 3; ++t) {
        uint8_t* r = bytes + 24 + 340 * t;
        const InstrumentRecord& in = h.instruments[t];
        r[0] = in.octaveShift;
        std::memcpy(r + 1, in.unused1, 3);
        put(24 + 340 * size_t(t) + 4, in.noteLength);
        put(24 + 340 * size_t(t) + 8, uint32_t(in.volumeLevel));
        std::memcpy(r + 12, in.unused2, 8);
        std::memcpy(r + 20, in.wave, 256);
        std::memcpy(r + 276, in.envelope, 64);
    }
    put(1044, uint32_t(h.drumLevel));
}

const char* SongHeaderRefused(const SongHeader& h) {
    if (h.trackLength < 1) return "the track length is below 1";
    if (h.trackLength > MAX_TRACK_LENGTH) return "the track length is above 1048576 steps";
    if (h.songLength < 1) return "the song length is below 1";
    int32_t steps = h.songLength < h.trackLength ? h.songLength : h.trackLength;
    if (h.loopStep < 0 || h.loopStep >= steps) return "the loop step is outside the song";
    return nullptr;
}

const char* SongHeaderProblem(const SongHeader& h, uint64_t fileBytes) {
    if (fileBytes < SONG_HEADER_BYTES) return "the file is shorter than the 1048-byte header";
    if (const char* refused = SongHeaderRefused(h)) return refused;
    if (fileBytes < SONG_HEADER_BYTES + 16 * uint64_t(h.trackLength))
        return "the file is shorter than 1048 + 16 x track length bytes";
    return nullptr;
}

// The file is read over the song in memory: a file that ends early leaves the header fields it does not
// reach as they were, and the steps it does not reach silent. Only a header that would make the
// sequencer index outside its tracks is refused, like a missing file.
int LoadSongFrom(FILE* file) {
    if (!file) return 0;
    uint8_t bytes[SONG_HEADER_BYTES];
    EncodeSongHeader(music.header, bytes);
    size_t got = std::fread(bytes, 1, SONG_HEADER_BYTES, file);
    SongHeader header;
    DecodeSongHeader(bytes, &header);
    if (SongHeaderRefused(header)) return 0;
    bool ended = got < SONG_HEADER_BYTES;
    std::vector<int32_t> tracks[SONG_TRACKS];
    std::vector<uint8_t> words(4 * size_t(header.trackLength));
    for (auto& track : tracks) {
        track.assign(size_t(header.trackLength), 0);
        if (ended) continue;
        size_t read = std::fread(words.data(), 1, words.size(), file);
        ended = read < words.size();
        for (size_t i = 0; i < read / 4; ++i) track[i] = S32(&words[4 * i]);  // a word cut short stays 0
    }
    music.header = header;
    for (int t = 0; t < SONG_TRACKS; ++t) music.tracks[t] = std::move(tracks[t]);
    return 1;
}

int LoadSong(const char* fileName) {
    FILE* file = OpenDataFile(fileName, "rb");
    if (!file) return 0;
    int loaded = LoadSongFrom(file);
    std::fclose(file);
    return loaded;
}

namespace {
const char* SongFileProblem(const char* fileName) {
    FILE* file = OpenDataFile(fileName, "rb");
    if (!file) return "cannot be read";
    uint8_t bytes[SONG_HEADER_BYTES];
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    bool read = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0 &&
                std::fread(bytes, 1, SONG_HEADER_BYTES, file) == SONG_HEADER_BYTES;
    std::fclose(file);
    if (!read) return "shorter than the 1048-byte header";
    SongHeader header;
    DecodeSongHeader(bytes, &header);
    return SongHeaderProblem(header, uint64_t(size));
}

const char* BaseName(const char* name) {
    const char* base = name;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}
}  // namespace

int ReloadSong(const char* fileName, const char** why) {
    if (const char* problem = SongFileProblem(fileName)) {
        *why = problem;
        return 0;
    }
    if (!music.songFile[0] || !SameNameIgnoringCase(BaseName(music.songFile), BaseName(fileName))) return 1;
    if (!LoadSong(music.songFile)) {
        *why = "cannot be read";
        return 0;
    }
    PrepareSong();
    return 1;
}
