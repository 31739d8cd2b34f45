// Sound in the browser (built with emscripten): every static buffer becomes a Web Audio buffer at its
// own rate; volume and pan become the gains of its left and right side, worked out as the desktop mixer
// works them out. The page's audio context starts with the first key press or click (the browser's rule
// for sound), and the headless page plays nothing. The answers to the program (refusals, sizes) are the
// desktop mixer's, so a run takes the same course with or without sound.
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <vector>
#include "platform/backend.h"
#include "platform/sound.h"

EM_JS(void, kirake_sound_data, (int id, int channels, int rate, int bits, const uint8_t* bytes, int length),
      { Module.kirake.soundData(id, channels, rate, bits, bytes, length); });
EM_JS(void, kirake_sound_play, (int id, int looping), { Module.kirake.soundPlay(id, looping); });
EM_JS(void, kirake_sound_stop, (int id), { Module.kirake.soundStop(id); });
EM_JS(void, kirake_sound_position, (int id, double seconds), { Module.kirake.soundPosition(id, seconds); });
EM_JS(void, kirake_sound_gains, (int id, double left, double right), { Module.kirake.soundGains(id, left, right); });
EM_JS(void, kirake_sound_release, (int id), { Module.kirake.soundRelease(id); });

struct SoundBuffer {
    int id;
    SoundFormat format;
    std::vector<uint8_t> bytes;
    bool locked = false;
    int32_t volume = 0, pan = 0;
};

namespace {

struct WebSound {
    bool open = false;
    int nextId = 1;
};
WebSound sound;

float Attenuation(int32_t hundredthsOfDb) {
    if (hundredthsOfDb <= -10000) return 0.0f;
    return std::pow(10.0f, float(hundredthsOfDb) / 2000.0f);
}

void SendGains(const SoundBuffer* b) {
    kirake_sound_gains(b->id, Attenuation(b->volume - std::max<int32_t>(0, b->pan)),
                       Attenuation(b->volume - std::max<int32_t>(0, -b->pan)));
}
int Start(const PlatformOptions&, std::string*) {
    sound = WebSound{};
    return 1;
}
void Stop() { sound.open = false; }
int Open() {
    sound.open = true;
    return 1;
}
// The page never plays frames unshown (it has no --start), and the browser mixes and pauses by itself.
void Nothing(long) {}
void NothingToHold(int) {}
}  // namespace

const SoundOutput webSound = {
    .start = Start,
    .stop = Stop,
    .openDevice = Open,
    .frameShown = Nothing,
    .frameSkipped = Nothing,
    .pause = NothingToHold,
    .hold = NothingToHold,
};

int SoundDeviceOpen(Window) {
    if (sound.open) return 1;
    if (FaultRefuses("no-sound")) return 0;
    return SoundBackendOpen();
}

SoundBuffer* SoundCreateBuffer(const SoundFormat* format, uint32_t bytes) {
    // The desktop mixer's limits, judged at the rate it asks its device for (the browser resamples to about
    // that), so that a page refuses exactly what the desktop refuses.
    if (!sound.open || SoundBufferProblem(format, bytes, DEVICE_RATE_ASKED)) return nullptr;
    SoundBuffer* b = new SoundBuffer;
    b->id = sound.nextId++;
    b->format = *format;
    b->bytes.assign(bytes, format->bitsPerSample == 8 ? 128 : 0);
    SendGains(b);
    return b;
}

int SoundLock(SoundBuffer* b, uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1, void** region2,
              uint32_t* length2) {
    if (!b || b->locked || !region1 || !length1) return 0;
    uint32_t size = uint32_t(b->bytes.size());
    if (bytes == 0 || bytes > size || offset >= size) return 0;
    uint32_t first = std::min(bytes, size - offset);
    if (bytes > first && !region2) return 0;
    *region1 = b->bytes.data() + offset;
    *length1 = first;
    if (region2) *region2 = bytes > first ? b->bytes.data() : nullptr;
    if (length2) *length2 = bytes - first;
    b->locked = true;
    return 1;
}

int SoundUnlock(SoundBuffer* b, void*, uint32_t, void*, uint32_t) {
    if (!b || !b->locked) return 0;
    b->locked = false;
    uint32_t usable = uint32_t(b->bytes.size()) / b->format.blockAlign * b->format.blockAlign;
    kirake_sound_data(b->id, b->format.channels, int(b->format.samplesPerSec), b->format.bitsPerSample,
                      b->bytes.data(), int(usable));
    return 1;
}

int SoundPlay(SoundBuffer* b, int looping) {
    if (!b || !sound.open) return 0;
    kirake_sound_play(b->id, looping != 0);
    return 1;
}

int SoundStop(SoundBuffer* b) {
    if (!b) return 0;
    kirake_sound_stop(b->id);
    return 1;
}

int SoundSetPosition(SoundBuffer* b, uint32_t position) {
    if (!b || position >= b->bytes.size()) return 0;
    kirake_sound_position(b->id, double(position / b->format.blockAlign) / b->format.samplesPerSec);
    return 1;
}

int SoundSetVolume(SoundBuffer* b, int32_t volume) {
    if (!b || volume > 0 || volume < -10000) return 0;
    b->volume = volume;
    SendGains(b);
    return 1;
}

int SoundSetPan(SoundBuffer* b, int32_t pan) {
    if (!b || pan > 10000 || pan < -10000) return 0;
    b->pan = pan;
    SendGains(b);
    return 1;
}

void SoundRelease(SoundBuffer* b) {
    if (!b) return;
    kirake_sound_release(b->id);
    delete b;
}
