// Inside the platform: the portable mixer behind platform/sound.h, shared by both backends.
// Buffers are converted once, when unlocked, to 16-bit samples at the mixer's rate (keeping their
// channel count); rendering only sums them with their gains and clips.
// Nothing outside src/platform includes this file, except tests, benchmarks, fuzzers and the song player.
#pragma once
#include <cstdint>

// Opens the mixer at a rate (frames per second); buffers made afterwards are converted to it.
// Closing releases nothing that is still held: buffers stay valid but stop sounding.
int MixerOpen(int rate);
void MixerClose();
int MixerIsOpen();
int MixerRate();
// Rendered by a device's own thread: a buffer still being converted is skipped instead of waited for.
void MixerSetRealtime(int realtime);
// Renders frames of interleaved stereo 16-bit samples, advancing every playing buffer.
// With the mixer closed the output is silence.
void MixerRender(int16_t* out, int frames);
// How many buffers are sounding now (tests and benchmarks).
int MixerPlayingCount();
// What a buffer is doing (tests).
struct SoundBuffer;
struct MixerBufferInfo {
    int playing, looping;
    uint32_t position, frames;  // frames at the mixer's rate
    int32_t volume, pan;        // hundredths of a decibel
    int channels;
    uint32_t bytes;             // as created
};
int MixerBufferInfoOf(const SoundBuffer* buffer, MixerBufferInfo* info);

// A 44100 Hz stereo 16-bit WAV file written as it grows (headless recording, the song player).
struct WavRecorder;
WavRecorder* WavRecorderOpen(const char* path);
void WavRecorderWrite(WavRecorder* recorder, const int16_t* frames, int count);
// Fixes the head and closes; 1, or 0 when the file could not be written completely.
int WavRecorderClose(WavRecorder* recorder);
