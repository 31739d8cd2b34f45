// What one sound buffer may cost, judged before anything is allocated. Portable: every backend's mixer
// asks the same questions.
#include "platform/sound.h"

int SoundFormatUsable(const SoundFormat* f) {
    if (!f || f->formatTag != 1) return 0;
    if (f->channels != 1 && f->channels != 2) return 0;
    if (f->bitsPerSample != 8 && f->bitsPerSample != 16) return 0;
    if (f->blockAlign != f->channels * f->bitsPerSample / 8) return 0;
    return f->samplesPerSec >= 100 && f->samplesPerSec <= 200000 ? 1 : 0;
}

uint64_t SoundConvertedBytes(const SoundFormat* f, uint32_t bytes, int rate) {
    if (!SoundFormatUsable(f) || rate <= 0) return 0;
    uint64_t frames = bytes / f->blockAlign;  // below 2^32, times a rate below 2^31: no overflow
    uint64_t converted = (frames * uint64_t(rate) + f->samplesPerSec / 2) / f->samplesPerSec;
    return converted * f->channels * 2;
}

const char* SoundBufferProblem(const SoundFormat* f, uint32_t bytes, int rate) {
    if (!SoundFormatUsable(f)) return "not a format the mixer plays (PCM, 1 or 2 channels, 8 or 16 bits, 100 to 200000 Hz)";
    if (bytes < MIN_SOUND_BYTES) return "shorter than 4 bytes";
    if (bytes > MAX_SOUND_BYTES) return "more than 16 MiB of samples";
    if (SoundConvertedBytes(f, bytes, rate) > MAX_CONVERTED_SOUND_BYTES)
        return "more than 32 MiB once converted to the device's rate";
    return nullptr;
}
