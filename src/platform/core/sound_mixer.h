// Inside the platform: the portable mixer behind platform/sound.h, the one place where sound is summed.
// Buffers keep their own rate and channel count; rendering sums the buffers of each rate with their
// gains, converts each rate's sum to the mixer's rate with a band-limited resampler, adds and clips.
// Nothing outside src/platform includes this file, except tests, benchmarks, fuzzers and the song player.
//
// A sound device (SDL, headless, browser, Windows) fills a SoundOutput table (backend.h) and only moves
// the mixer's samples to its device:
//   - openDevice: MixerOpen(the device's rate);
//   - a device that asks for samples (an audio callback or thread): MixerRender(out, frames) there;
//     it may be called from any thread, and costs no more than the summing and the conversion;
//   - a device fed by the game's own frames (headless, the browser): MixerRenderFrames in frameShown,
//     which renders exactly the samples of the 60 Hz game clock up to that frame;
//   - stop: MixerClose.
#pragma once
#include <memory>
#include <cstdint>

// Opens the mixer at a rate (frames per second). Closing stops every buffer; buffers stay valid.
int MixerOpen(int rate);
void MixerClose();
int MixerIsOpen();
int MixerRate();
// Renders frames of interleaved stereo 16-bit samples, advancing every playing buffer.
// With the mixer closed the output is silence.
void MixerRender(int16_t* out, int frames);

// The game's clock: frame n starts at sample round(n * rate / 60) of the mixer's rate (44100 when no
// device is open, so that a recording keeps time in silence).
constexpr int MIXER_FRAME_CLOCK_RATE = 44100;
struct MixerClock {
    uint64_t rendered = 0;  // frames of audio rendered so far
};
typedef void (*MixerSink)(void* user, const int16_t* frames, int count);
// Renders what is due up to the start of frame framesShown, in blocks handed to sink. With a null sink
// nobody hears it: every buffer and lane moves on exactly as rendered, without the filters' sums.
void MixerRenderFrames(MixerClock* clock, long framesShown, MixerSink sink, void* user);

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

// The resampler: a windowed-sinc polyphase filter (Kaiser window, beta 10) from one rate to another, on
// interleaved stereo float frames; it passes up to 45 % of the lower rate and stops everything from half
// the lower rate on (images and aliases some 100 dB down).
struct Resampler;
Resampler* ResamplerCreate(int fromRate, int toRate);
void ResamplerFree(Resampler* resampler);
// A filter from one rate to another, shared: the few asked for last are kept and given again (a thousand
// rows of Bessel and sine series are costly to make for an uneven pair of rates). One thread only; null
// for a rate that is not positive.
std::shared_ptr<const Resampler> ResamplerFor(int fromRate, int toRate);
int ResamplerTaps(const Resampler* resampler);
// Source frames needed from `whole` on to make `frames` output frames from the position's remainder.
uint64_t ResamplerSourceNeeded(const Resampler* resampler, uint32_t remainder, int frames);
// Adds `frames` output frames to left and right; the position (source frame `whole` of `source`, and
// remainder / toRate of a frame) moves on. Output frame k stands for source time
// whole + taps / 2 - 1 + remainder / toRate: the filter's delay is taps / 2 - 1 source frames.
void ResamplerRun(const Resampler* resampler, const float* source, uint64_t* whole, uint32_t* remainder,
                  float* left, float* right, int frames);

// A 44100 Hz stereo 16-bit WAV file written as it grows (headless recording, the song player).
struct WavRecorder;
WavRecorder* WavRecorderOpen(const char* path);
void WavRecorderWrite(WavRecorder* recorder, const int16_t* frames, int count);
// Fixes the head and closes; 1, or 0 when the file could not be written completely.
int WavRecorderClose(WavRecorder* recorder);
