// Song files: a 1048-byte header and four tracks of 32-bit step words.
#include <strings.h>
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

const char* SongHeaderProblem(const SongHeader& h, uint64_t fileBytes) {
    if (fileBytes < SONG_HEADER_BYTES) return "the file is shorter than the 1048-byte header";
    if (h.trackLength < 1) return "the track length is below 1";
    if (h.trackLength > MAX_TRACK_LENGTH) return "the track length is above 1048576 steps";
    if (h.songLength < 1) return "the song length is below 1";
    if (fileBytes < SONG_HEADER_BYTES + 16 * uint64_t(h.trackLength))
        return "the file is shorter than 1048 + 16 x track length bytes";
    int32_t steps = h.songLength < h.trackLength ? h.songLength : h.trackLength;
    if (h.loopStep < 0 || h.loopStep >= steps) return "the loop step is outside the song";
    return nullptr;
}

int LoadSongFrom(FILE* file) {
    if (!file || std::fseek(file, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) return 0;
    uint8_t bytes[SONG_HEADER_BYTES];
    if (std::fread(bytes, 1, SONG_HEADER_BYTES, file) != SONG_HEADER_BYTES) return 0;
    SongHeader header;
    DecodeSongHeader(bytes, &header);
    if (SongHeaderProblem(header, uint64_t(size))) return 0;
    std::vector<int32_t> tracks[SONG_TRACKS];
    std::vector<uint8_t> words(4 * size_t(header.trackLength));
    for (auto& track : tracks) {
        if (std::fread(words.data(), 1, words.size(), file) != words.size()) return 0;
        track.resize(size_t(header.trackLength));
        for (size_t i = 0; i < track.size(); ++i) track[i] = S32(&words[4 * i]);
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
    if (!music.songFile[0] || strcasecmp(BaseName(music.songFile), BaseName(fileName)) != 0) return 1;
    if (!LoadSong(music.songFile)) {
        *why = "cannot be read";
        return 0;
    }
    PrepareSong();
    return 1;
}
