// Sound: a device with static sound buffers that the platform mixes by itself.
// Used by the sound subsystem (effects, drums, instrument voices).
#pragma once
#include <cstdint>
#include "platform/window.h"

struct SoundBuffer;

struct SoundFormat {
    uint16_t formatTag;  // 1 = PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};

// What one buffer may hold: this many bytes as written, and this many once converted to the device's
// rate as 16-bit samples (a sound at a low rate grows a hundredfold or more). Larger buffers are refused,
// so that no file can make the mixer ask for gigabytes. The real device asks for 48000 Hz; the data
// checker judges by that rate.
constexpr uint32_t MIN_SOUND_BYTES = 4;
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr uint32_t MAX_SOUND_BYTES = 16u << 20;
constexpr uint64_t MAX_CONVERTED_SOUND_BYTES = 32u << 20;
#else  // fuzzers: small inputs reach the limits
constexpr uint32_t MAX_SOUND_BYTES = 64u << 10;
constexpr uint64_t MAX_CONVERTED_SOUND_BYTES = 256u << 10;
#endif
constexpr int DEVICE_RATE_ASKED = 48000;
// 1 when the mixer can play the format.
int SoundFormatUsable(const SoundFormat* format);
// The bytes a buffer of that format and size takes once converted to 16-bit samples at the rate.
uint64_t SoundConvertedBytes(const SoundFormat* format, uint32_t bytes, int rate);
// Why a buffer of that format and size is refused at the rate, or null when it is not.
const char* SoundBufferProblem(const SoundFormat* format, uint32_t bytes, int rate);

// InitSound: opens the default output device. 1, or 0 when there is none.
int SoundDeviceOpen(Window window);
// A static buffer of that format and size; null when refused (no device, SoundBufferProblem).
SoundBuffer* SoundCreateBuffer(const SoundFormat* format, uint32_t bytes);
// Locks bytes from offset; up to two regions. 1, or 0 when refused.
int SoundLock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1,
              void** region2, uint32_t* length2);
int SoundUnlock(SoundBuffer* buffer, void* region1, uint32_t length1, void* region2, uint32_t length2);
// Starts playing from the current position, once or looping. 1, or 0.
int SoundPlay(SoundBuffer* buffer, int looping);
int SoundStop(SoundBuffer* buffer);
int SoundSetPosition(SoundBuffer* buffer, uint32_t position);
// Hundredths of a decibel: volume 0 (full) to -10000; pan -10000 (left) to 10000 (right).
// 1, or 0 when out of range (the previous setting stays).
int SoundSetVolume(SoundBuffer* buffer, int32_t volume);
int SoundSetPan(SoundBuffer* buffer, int32_t pan);
// The player's two levels: each buffer belongs to a group (the effects, until set), whose level multiplies
// its gains; at 100 % the samples are exactly those without the groups.
enum SoundGroup { SOUND_GROUP_EFFECTS = 0, SOUND_GROUP_MUSIC = 1 };
int SoundSetGroup(SoundBuffer* buffer, SoundGroup group);  // 1, or 0 for no buffer or no such group
// 0 (silent) to 100 percent; 1, or 0 when out of range (the level stays).
int SoundSetGroupLevel(SoundGroup group, int percent);
// Stops and frees the buffer.
void SoundRelease(SoundBuffer* buffer);
