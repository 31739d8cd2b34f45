// The song language: a small text notation for the game's songs, compiled into the .pmd layout
// (a 1048-byte header with three instruments and the drum level, then four tracks of 32-bit step words).
// docs/authoring.md describes the language for authors.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SongInstrument {
    int octave;           // octave shift: the lowest voice is the C of octave (shift + 1)
    uint32_t noteLength;  // bytes (samples at 22050 per second) of every note
    int32_t volume;       // 0-300, 300 = full
    int8_t wave[256];
    int8_t envelope[64];
};

struct CompiledSong {
    uint32_t stepInterval;  // milliseconds per step
    int32_t loopStep;
    int32_t songLength;
    int32_t trackLength;
    SongInstrument instruments[3];
    int32_t drumLevel;
    std::vector<uint32_t> tracks[4];  // trackLength words each
};

// Compiles song text. Errors and notes go to `messages` as "NAME:LINE: error: ..." (or "NAME: note: ...");
// the result is false when there was any error.
bool CompileSongText(const std::string& text, const std::string& name, CompiledSong* song,
                     std::vector<std::string>* messages);

// The .pmd bytes of a compiled song.
std::vector<uint8_t> EncodeSong(const CompiledSong& song);

// Named shapes, for the reference and the tests.
bool MakeWaveShape(const std::string& name, int8_t wave[256]);
bool MakeEnvelopeShape(const std::string& name, int8_t envelope[64]);
