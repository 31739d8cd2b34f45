// The sound device, the 512-slot table and the effect bank.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/files.h"
#include "app/hooks.h"
#include "platform/sound.h"
#include "sound/sound.h"

SoundState sound;

namespace {

constexpr uint32_t WAV_HEAD_BYTES = 58;

SoundBuffer* SlotBuffer(int slot) {
    return (slot >= 0 && slot < SOUND_SLOTS) ? sound.slots[slot] : nullptr;
}

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

// A sound in the fixed 58-byte WAV layout (from a file or a resource) into a slot. The image must hold
// its whole data; anything shorter is refused and the slot keeps what it had.
int FillSlotFromWavImage(const uint8_t* image, uint64_t imageBytes, int slot) {
    if (slot < 0 || slot >= SOUND_SLOTS || !image || imageBytes < WAV_HEAD_BYTES) return 0;
    uint32_t dataBytes = ReadU32(image + 54);
    if (dataBytes > imageBytes - WAV_HEAD_BYTES) return 0;
    SoundFormat format;
    const uint8_t* f = image + 20;
    format.formatTag = ReadU16(f);
    format.channels = ReadU16(f + 2);
    format.samplesPerSec = ReadU32(f + 4);
    format.avgBytesPerSec = ReadU32(f + 8);
    format.blockAlign = ReadU16(f + 12);
    format.bitsPerSample = ReadU16(f + 14);
    format.extraSize = ReadU16(f + 16);
    SoundBuffer* buffer = SoundCreateBuffer(&format, dataBytes);
    if (!buffer) return 0;
    if (sound.slots[slot]) SoundRelease(sound.slots[slot]);
    sound.slots[slot] = buffer;
    void *region1, *region2;
    uint32_t length1, length2;
    if (!SoundLock(buffer, 0, dataBytes, &region1, &length1, &region2, &length2)) return 0;
    std::memcpy(region1, image + WAV_HEAD_BYTES, length1);
    if (region2 && length2) std::memcpy(region2, image + WAV_HEAD_BYTES + length1, length2);
    SoundUnlock(buffer, region1, length1, region2, length2);
    return 1;
}

int InitSound(Window window) {
    if (!SoundDeviceOpen(window)) {
        sound.deviceOpen = 0;
        return 0;
    }
    for (SoundBuffer*& buffer : sound.slots) {
        if (buffer) SoundRelease(buffer);
        buffer = nullptr;
    }
    sound.deviceOpen = 1;
    return 1;
}

int LoadEffect(const char* fileName, int slot) {
    FILE* file = OpenDataFile(fileName, "rb");
    if (!file) return 0;
    uint8_t head[WAV_HEAD_BYTES];
    size_t got = std::fread(head, 1, WAV_HEAD_BYTES, file);
    if (got < WAV_HEAD_BYTES || std::memcmp(head, "RIFF", 4) != 0) {
        std::fclose(file);
        return 0;
    }
    // The data length decides how much is needed; the RIFF length is not trusted. Data the mixer would
    // refuse is not read at all.
    uint64_t wanted = uint64_t(WAV_HEAD_BYTES) + ReadU32(head + 54);
    if (ReadU32(head + 54) > MAX_SOUND_BYTES) {
        std::fclose(file);
        return 0;
    }
    // A file too short for its data is refused before anything is allocated.
    long end = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    if (end < 0 || uint64_t(end) < wanted || std::fseek(file, long(WAV_HEAD_BYTES), SEEK_SET) != 0) {
        std::fclose(file);
        return 0;
    }
    std::vector<uint8_t> image(head, head + WAV_HEAD_BYTES);
    image.resize(size_t(wanted));
    size_t rest = std::fread(image.data() + WAV_HEAD_BYTES, 1, image.size() - WAV_HEAD_BYTES, file);
    std::fclose(file);
    image.resize(WAV_HEAD_BYTES + rest);
    return FillSlotFromWavImage(image.data(), image.size(), slot);
}

void PlaySlot(int slot, int mode) {
    SoundBuffer* buffer = SlotBuffer(slot);
    if (!buffer) return;
    if (mode == 1) {
        SoundStop(buffer);
        SoundSetPosition(buffer, 0);
        if (SoundPlay(buffer, 0) && hooks.soundStarted) hooks.soundStarted(slot);
    } else if (mode == 0) {
        SoundStop(buffer);
    } else if (mode == -1) {
        SoundPlay(buffer, 1);
    }
}

void SetSlotVolume(int slot, int level) {
    int64_t volume = int64_t(level) * 8 - 2400;  // levels from song files may be anything
    if (SoundBuffer* buffer = SlotBuffer(slot); buffer && volume >= INT32_MIN && volume <= INT32_MAX)
        SoundSetVolume(buffer, int32_t(volume));
}

void SetSlotPan(int slot, int position) {
    int64_t pan = (int64_t(position) - 256) * 10;
    if (SoundBuffer* buffer = SlotBuffer(slot); buffer && pan >= INT32_MIN && pan <= INT32_MAX)
        SoundSetPan(buffer, int32_t(pan));
}

void ReleaseSlot(int slot) {
    if (SoundBuffer* buffer = SlotBuffer(slot)) {
        SoundRelease(buffer);
        sound.slots[slot] = nullptr;
    }
}

void RetireSlot(int slot, uint32_t until) {
    SoundBuffer* buffer = SlotBuffer(slot);
    if (!buffer) return;
    constexpr size_t MAX_RETIRED = 256;  // saves in quick succession: the oldest are cut
    if (sound.retired.size() >= MAX_RETIRED) {
        SoundRelease(sound.retired.front().buffer);
        sound.retired.erase(sound.retired.begin());
    }
    sound.retired.push_back({buffer, until});
    sound.slots[slot] = nullptr;
}

void ReleaseRetiredSlots(uint32_t now, int all) {
    auto& list = sound.retired;
    for (size_t i = 0; i < list.size();) {
        if (all || int32_t(now - list[i].until) >= 0) {
            SoundRelease(list[i].buffer);
            list.erase(list.begin() + long(i));
        } else {
            ++i;
        }
    }
}

void ResetSound() {
    ReleaseRetiredSlots(0, 1);
    for (int slot = 0; slot < SOUND_SLOTS; ++slot) ReleaseSlot(slot);
    sound = {};
    music = {};
    hooks.musicClock = nullptr;
}
