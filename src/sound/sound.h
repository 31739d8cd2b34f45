// Sound and music: the slot table and effect bank, the drum kit, song files, the sequencer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>
#include "platform/window.h"

struct SoundBuffer;

constexpr int SONG_REWIND = 0, SONG_PLAY = 1, SONG_PREPARE = 2, SONG_STOP = 3, SONG_LOAD = 4;

// The slot table: effects in 0-7, instrument voices in 400-471 (24 per track), drum voices in 472-495.
constexpr int SOUND_SLOTS = 512;
constexpr int VOICES_PER_TRACK = 24;
constexpr int SONG_TRACKS = 4;
constexpr int FIRST_VOICE_SLOT = 400;
constexpr int FIRST_DRUM_SLOT = FIRST_VOICE_SLOT + 3 * VOICES_PER_TRACK;  // 472

struct SoundState {
    int deviceOpen;                   // InitSound succeeded
    SoundBuffer* slots[SOUND_SLOTS];  // null: empty
};
extern SoundState sound;

// Song file layout: a 1048-byte header, then four tracks of N little-endian step words each.
struct InstrumentRecord {
    uint8_t octaveShift;   // voices pitched 2^shift above shift 0
    uint8_t unused1[3];
    uint32_t noteLength;   // bytes (= samples at 22050 per second) of every note
    int32_t volumeLevel;   // SetSlotVolume level: 300 full
    uint8_t unused2[8];
    int8_t wave[256];      // one cycle
    int8_t envelope[64];   // amplitude over the note
};
struct SongHeader {
    uint8_t unused[8];
    uint32_t stepInterval;  // milliseconds per step
    int32_t loopStep;
    int32_t songLength;
    int32_t trackLength;    // N
    InstrumentRecord instruments[3];
    int32_t drumLevel;
};
static_assert(sizeof(InstrumentRecord) == 340 && sizeof(SongHeader) == 1048);
constexpr uint32_t SONG_HEADER_BYTES = 1048;
constexpr int32_t MAX_TRACK_LENGTH = 1 << 20;   // steps; longer songs are refused
// The longest note that is built, in bytes (11.9 s); the song compiler and the data checker use the same
// bound. A song's 72 instrument voices of this length take 18 MiB as written and 82 MB once converted to
// 16-bit samples at the 48 kHz the device asks for, which is what the mixer is sized to hold for one song.
constexpr uint32_t MAX_NOTE_LENGTH = 1u << 18;
constexpr uint64_t SONG_VOICES_MIXER_BUDGET = 96u << 20;  // converted bytes of one song's 72 voices
static_assert(72 * ((uint64_t(MAX_NOTE_LENGTH) * 48000 + 11025) / 22050) * 2 <= SONG_VOICES_MIXER_BUDGET);
constexpr int MAX_OCTAVE_SHIFT = 19;

struct MusicState {
    uint8_t songPlaying;    // 1 while MusicTick advances the song
    int32_t songStep;       // the step played last; -1 before the first
    uint32_t lastStepTime;  // milliseconds, when the last step was played or play was started
    SongHeader header;      // all zeros before the first song
    std::vector<int32_t> tracks[SONG_TRACKS];  // N words each; empty before the first song
    char songFile[64];      // the file the song in memory came from; "" before the first
};
extern MusicState music;

extern const int16_t pitchTable[12];
extern const int16_t panTable[8];  // index 1-7; 0 is never looked up

int InitSound(Window window);
int LoadEffect(const char* fileName, int slot);
void PlaySlot(int slot, int mode);
void SetSlotVolume(int slot, int level);
void SetSlotPan(int slot, int position);
void ReleaseSlot(int slot);
// A sound in the fixed 58-byte WAV layout into a slot; 0 when the image does not hold its whole data.
int FillSlotFromWavImage(const uint8_t* image, uint64_t imageBytes, int slot);
// Releases every slot and resets both records (tests, the song player).
void ResetSound();

int LoadDrumKit();
int LoadDrumSample(const char* resourceName, int slot);

int LoadSong(const char* fileName);
// LoadSong from an open file (the song player opens its own). 1, or 0 with nothing changed.
int LoadSongFrom(FILE* file);
// Why the game refuses a song header (it would index outside the tracks), or null.
const char* SongHeaderRefused(const SongHeader& header);
// Why a song header cannot be played as written with a file of that many bytes (refused, or the file
// ends early), or null when it can.
const char* SongHeaderProblem(const SongHeader& header, uint64_t fileBytes);
// The header as stored little-endian in a file, and back.
void DecodeSongHeader(const uint8_t bytes[SONG_HEADER_BYTES], SongHeader* header);
void EncodeSongHeader(const SongHeader& header, uint8_t bytes[SONG_HEADER_BYTES]);

// Live reload: a song file was saved. The song in memory, if it came from that file, is replaced and its
// voices rebuilt; it plays on from its current step. 1, or 0 with *why set when the file cannot be
// played (the song in memory stays).
int ReloadSong(const char* fileName, const char** why);

int SongControl(int command, const char* fileName);
void MusicTick();
void PrepareSong();
int BuildInstrumentVoices(const int8_t* wave, const int8_t* envelope, int32_t octaveFactor, uint32_t noteLength,
                          int firstSlot);
// The phase increment of voice j (0-23) of an instrument.
int32_t VoiceIncrement(int voice, int32_t octaveFactor);
// One voice's samples (unsigned bytes, 128 silence) into out[0..length).
void SynthesizeVoice(const int8_t* wave, const int8_t* envelope, int32_t increment, uint32_t length, uint8_t* out);
