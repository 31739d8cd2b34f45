// The portable mixer: static sound buffers in memory, converted to the mixer's rate with SDL's own
// converter when they are filled, summed with their gains and clipped when rendered.
// The SDL backend renders from its audio thread, so every operation takes the mixer's lock.
// Conversions run on a converter thread of their own, so that filling many buffers (a song's 72 voices)
// costs the caller only the copying. A buffer that is struck before its conversion is done waits for it
// when rendering is driven by the program (headless, tests), and starts when it is ready on a real device.
#include <SDL.h>
#include <algorithm>
#include <new>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>
#include "platform/sound.h"
#include "platform/sound_mixer.h"

struct SoundBuffer {
    SoundFormat format;
    std::vector<uint8_t> bytes;  // the samples as the owner wrote them
    std::vector<int16_t> pcm;    // converted: 16-bit, own channel count, mixer rate
    uint32_t frames = 0;         // frames in pcm
    uint32_t position = 0;       // next frame to sound
    bool playing = false;
    bool looping = false;
    bool locked = false;
    int32_t volume = 0;
    int32_t pan = 0;
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    uint64_t id = 0;             // names the buffer to the converter thread
    int pendingConversions = 0;  // queued or running; pcm is stale while above 0
};

namespace {

constexpr int CHUNK_FRAMES = 1024;
constexpr int CONVERT_PIECE_BYTES = 1 << 16;  // what the converter is handed at a time
constexpr int CONVERT_PADDING_FRAMES = 2048;

struct ConversionJob {
    uint64_t id;
    SoundFormat format;
    std::vector<uint8_t> bytes;
    int rate;
};

struct Mixer {
    std::mutex lock;
    std::condition_variable changed;  // a job was queued or a conversion installed
    bool open = false;
    bool realtime = false;  // rendered by a device's thread: never wait for a conversion there
    int rate = 0;
    std::vector<SoundBuffer*> buffers;  // every buffer that exists
    std::deque<ConversionJob> jobs;
    bool converterStarted = false;
    uint64_t nextId = 1;
    float left[CHUNK_FRAMES];
    float right[CHUNK_FRAMES];
};
// Never destroyed: the converter thread may still wait on it while the program exits.
Mixer& mixer = *new Mixer;

float Attenuation(int32_t hundredthsOfDb) {
    if (hundredthsOfDb <= -10000) return 0.0f;  // the bottom of the range is silence
    return std::pow(10.0f, float(hundredthsOfDb) / 2000.0f);
}

// Volume attenuates both sides; pan attenuates the side away from it by its amount as well.
void UpdateGains(SoundBuffer* b) {
    b->gainLeft = Attenuation(b->volume - std::max<int32_t>(0, b->pan));
    b->gainRight = Attenuation(b->volume - std::max<int32_t>(0, -b->pan));
}

// The buffer's bytes converted to 16-bit samples at the given rate; empty when SDL refuses or fails at
// any point. The sound is handed over in pieces and taken back as it comes, so the converter's own work
// space stays small, and no more than the converted length is ever kept.
std::vector<int16_t> Convert(const SoundFormat& f, const std::vector<uint8_t>& bytes, int rate) {
    std::vector<int16_t> out;
    if (SoundBufferProblem(&f, uint32_t(bytes.size()), rate)) return out;
    uint32_t usable = uint32_t(bytes.size()) / f.blockAlign * f.blockAlign;
    SDL_AudioFormat from = f.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    SDL_AudioStream* stream = SDL_NewAudioStream(from, uint8_t(f.channels), int(f.samplesPerSec), AUDIO_S16SYS,
                                                 uint8_t(f.channels), rate);
    if (!stream) return out;
    // SDL's stream holds back the last few hundred frames even when flushed: push silence after the
    // sound and keep exactly as many frames as the sound lasts at the new rate.
    const size_t wanted = size_t(SoundConvertedBytes(&f, usable, rate) / sizeof(int16_t));
    out.resize(wanted);
    size_t have = 0;
    auto drain = [&]() {
        for (int available; (available = SDL_AudioStreamAvailable(stream)) > 0;) {
            if (have == wanted) {  // the padding's part: taken and dropped
                int16_t scrap[4096];
                if (SDL_AudioStreamGet(stream, scrap, std::min<int>(available, int(sizeof scrap))) <= 0) return false;
                continue;
            }
            int room = int(std::min<size_t>((wanted - have) * sizeof(int16_t), size_t(available)));
            int got = SDL_AudioStreamGet(stream, out.data() + have, room);
            if (got <= 0) return false;
            have += size_t(got) / sizeof(int16_t);
        }
        return true;
    };
    std::vector<uint8_t> padding(size_t(CONVERT_PADDING_FRAMES) * f.blockAlign, f.bitsPerSample == 8 ? 128 : 0);
    bool ok = true;
    for (uint32_t at = 0; ok && at < usable; at += CONVERT_PIECE_BYTES) {
        int piece = int(std::min<uint32_t>(CONVERT_PIECE_BYTES, usable - at));
        ok = SDL_AudioStreamPut(stream, bytes.data() + at, piece) == 0 && drain();
    }
    ok = ok && SDL_AudioStreamPut(stream, padding.data(), int(padding.size())) == 0 &&
         SDL_AudioStreamFlush(stream) == 0 && drain();
    SDL_FreeAudioStream(stream);
    if (!ok) return {};
    out.resize(have / f.channels * f.channels);
    return out;
}

SoundBuffer* FindBuffer(uint64_t id) {
    for (SoundBuffer* b : mixer.buffers)
        if (b->id == id) return b;
    return nullptr;
}

void ConverterThread() {
    std::unique_lock<std::mutex> guard(mixer.lock);
    for (;;) {
        mixer.changed.wait(guard, [] { return !mixer.jobs.empty(); });
        ConversionJob job = std::move(mixer.jobs.front());
        mixer.jobs.pop_front();
        if (!FindBuffer(job.id)) continue;  // released meanwhile
        guard.unlock();
        std::vector<int16_t> pcm = Convert(job.format, job.bytes, job.rate);
        guard.lock();
        SoundBuffer* b = FindBuffer(job.id);
        if (!b) continue;
        if (job.rate == mixer.rate) {  // else a later job converts for the new rate
            b->pcm = std::move(pcm);
            b->frames = uint32_t(b->pcm.size() / b->format.channels);
        }
        --b->pendingConversions;
        mixer.changed.notify_all();
    }
}

// Starts the converter thread when there is work and no thread yet. The mixer's lock is held.
void EnsureConverter() {
    if (!mixer.converterStarted && !mixer.jobs.empty()) {
        std::thread(ConverterThread).detach();
        mixer.converterStarted = true;
    }
}

// A forked child has no converter thread: the conversion the parent's thread had in hand is queued
// again, and a thread is started when the child next needs one.
void PrepareFork() { mixer.lock.lock(); }
void ParentAfterFork() { mixer.lock.unlock(); }
void ChildAfterFork() {
    // The parent's converter thread may have been waiting on the condition: its bookkeeping is not
    // valid here, so the child starts with a fresh one (and a fresh lock, held as before).
    new (&mixer.changed) std::condition_variable;
    mixer.converterStarted = false;
    for (SoundBuffer* b : mixer.buffers) {
        int queued = int(std::count_if(mixer.jobs.begin(), mixer.jobs.end(),
                                       [b](const ConversionJob& job) { return job.id == b->id; }));
        if (b->pendingConversions > queued) {
            mixer.jobs.push_back({b->id, b->format, b->bytes, mixer.rate});
            ++queued;
        }
        b->pendingConversions = queued;
    }
    mixer.lock.unlock();
}

// Hands the buffer's current bytes to the converter thread. The mixer's lock is held.
void QueueConversion(SoundBuffer* b, int rate) {
    static const bool forkSafe = pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork) == 0;
    (void)forkSafe;
    ++b->pendingConversions;
    mixer.jobs.push_back({b->id, b->format, b->bytes, rate});
    EnsureConverter();
    mixer.changed.notify_all();
}

void WaitForConversion(std::unique_lock<std::mutex>& guard, const SoundBuffer* b) {
    EnsureConverter();
    mixer.changed.wait(guard, [b] { return b->pendingConversions == 0; });
}

// The inner loop of the mixer, four frames at a time.
typedef float Float4 __attribute__((vector_size(16)));
typedef int16_t Short4 __attribute__((vector_size(8)));

void MixMono(const int16_t* s, float gl, float gr, float* l, float* r, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        Short4 raw;
        std::memcpy(&raw, s + i, sizeof raw);
        Float4 v = __builtin_convertvector(raw, Float4);
        Float4 sumL, sumR;
        std::memcpy(&sumL, l + i, sizeof sumL);
        std::memcpy(&sumR, r + i, sizeof sumR);
        sumL += v * gl;
        sumR += v * gr;
        std::memcpy(l + i, &sumL, sizeof sumL);
        std::memcpy(r + i, &sumR, sizeof sumR);
    }
    for (; i < n; ++i) {
        l[i] += float(s[i]) * gl;
        r[i] += float(s[i]) * gr;
    }
}

// Adds up to `frames` frames of one buffer into the two sums; advances, loops or stops it.
void MixBuffer(SoundBuffer* b, float* left, float* right, int frames) {
    int done = 0;
    while (done < frames && b->playing) {
        if (b->position >= b->frames) {
            b->position = 0;
            if (!b->looping || b->frames == 0) {
                b->playing = false;
                break;
            }
        }
        int n = int(std::min<uint32_t>(uint32_t(frames - done), b->frames - b->position));
        const float gl = b->gainLeft, gr = b->gainRight;
        float* l = left + done;
        float* r = right + done;
        if (gl != 0.0f || gr != 0.0f) {
            if (b->format.channels == 1) {
                MixMono(b->pcm.data() + b->position, gl, gr, l, r, n);
            } else {
                const int16_t* s = b->pcm.data() + 2 * size_t(b->position);
                for (int i = 0; i < n; ++i) {
                    l[i] += float(s[2 * i]) * gl;
                    r[i] += float(s[2 * i + 1]) * gr;
                }
            }
        }
        b->position += uint32_t(n);
        done += n;
        if (b->position >= b->frames) {
            b->position = 0;
            if (!b->looping) b->playing = false;
        }
    }
}

}  // namespace

int MixerOpen(int rate) {
    if (rate <= 0) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    bool newRate = mixer.rate != rate;
    mixer.open = true;
    mixer.rate = rate;
    if (newRate)  // buffers made for another rate (tests switch rates)
        for (SoundBuffer* b : mixer.buffers) QueueConversion(b, rate);
    return 1;
}

void MixerSetRealtime(int realtime) {
    std::lock_guard<std::mutex> guard(mixer.lock);
    mixer.realtime = realtime != 0;
}

void MixerClose() {
    std::lock_guard<std::mutex> guard(mixer.lock);
    mixer.open = false;
    for (SoundBuffer* b : mixer.buffers) b->playing = false;
}

int MixerIsOpen() {
    std::lock_guard<std::mutex> guard(mixer.lock);
    return mixer.open ? 1 : 0;
}

int MixerRate() {
    std::lock_guard<std::mutex> guard(mixer.lock);
    return mixer.open ? mixer.rate : 0;
}

int MixerPlayingCount() {
    std::lock_guard<std::mutex> guard(mixer.lock);
    int count = 0;
    for (SoundBuffer* b : mixer.buffers) count += b->playing ? 1 : 0;
    return count;
}

int MixerBufferInfoOf(const SoundBuffer* b, MixerBufferInfo* info) {
    if (!b || !info) return 0;
    std::unique_lock<std::mutex> guard(mixer.lock);
    WaitForConversion(guard, b);
    *info = {b->playing, b->looping, b->position, b->frames, b->volume, b->pan, b->format.channels,
             uint32_t(b->bytes.size())};
    return 1;
}

void MixerRender(int16_t* out, int frames) {
    std::unique_lock<std::mutex> guard(mixer.lock);
    if (!mixer.realtime)
        for (SoundBuffer* b : mixer.buffers)
            if (b->playing) WaitForConversion(guard, b);
    while (frames > 0) {
        int n = std::min(frames, CHUNK_FRAMES);
        float* left = mixer.left;
        float* right = mixer.right;
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
        if (mixer.open)
            for (SoundBuffer* b : mixer.buffers)
                if (b->playing && b->pendingConversions == 0) MixBuffer(b, left, right, n);
        for (int i = 0; i < n; ++i) {
            out[2 * i] = int16_t(std::lrint(std::clamp(left[i], -32768.0f, 32767.0f)));
            out[2 * i + 1] = int16_t(std::lrint(std::clamp(right[i], -32768.0f, 32767.0f)));
        }
        out += 2 * n;
        frames -= n;
    }
}

SoundBuffer* SoundCreateBuffer(const SoundFormat* format, uint32_t bytes) {
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (!mixer.open || SoundBufferProblem(format, bytes, mixer.rate)) return nullptr;
    SoundBuffer* b = new SoundBuffer;
    b->format = *format;
    b->bytes.assign(bytes, format->bitsPerSample == 8 ? 128 : 0);
    b->id = mixer.nextId++;
    UpdateGains(b);
    mixer.buffers.push_back(b);
    return b;
}

int SoundLock(SoundBuffer* b, uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1, void** region2,
              uint32_t* length2) {
    if (!b || b->locked || !region1 || !length1) return 0;
    uint32_t size = uint32_t(b->bytes.size());
    if (bytes == 0 || bytes > size || offset >= size) return 0;
    uint32_t first = std::min(bytes, size - offset);
    if (bytes > first && !region2) return 0;  // wraps around, but the caller takes one region only
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
    std::lock_guard<std::mutex> guard(mixer.lock);
    QueueConversion(b, mixer.rate);
    return 1;
}

int SoundPlay(SoundBuffer* b, int looping) {
    if (!b) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (!mixer.open) return 0;
    b->playing = true;
    b->looping = looping != 0;
    return 1;
}

int SoundStop(SoundBuffer* b) {
    if (!b) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    b->playing = false;
    return 1;
}

int SoundSetPosition(SoundBuffer* b, uint32_t position) {
    if (!b || position >= b->bytes.size()) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    uint64_t sourceFrame = position / b->format.blockAlign;
    uint64_t frame = mixer.rate > 0 ? sourceFrame * uint64_t(mixer.rate) / b->format.samplesPerSec : 0;
    b->position = uint32_t(frame);  // past the end (the conversion may still run): the sound is over
    return 1;
}

int SoundSetVolume(SoundBuffer* b, int32_t volume) {
    if (!b || volume > 0 || volume < -10000) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    b->volume = volume;
    UpdateGains(b);
    return 1;
}

int SoundSetPan(SoundBuffer* b, int32_t pan) {
    if (!b || pan > 10000 || pan < -10000) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    b->pan = pan;
    UpdateGains(b);
    return 1;
}

void SoundRelease(SoundBuffer* b) {
    if (!b) return;
    {
        std::lock_guard<std::mutex> guard(mixer.lock);
        auto it = std::find(mixer.buffers.begin(), mixer.buffers.end(), b);
        if (it != mixer.buffers.end()) mixer.buffers.erase(it);
    }
    delete b;
}

// WAV recording: a plain 44-byte RIFF head, fixed when the file is closed.
struct WavRecorder {
    FILE* file;
    uint64_t dataBytes;
    bool failed;
};

namespace {
void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void WavHead(uint8_t head[44], uint32_t dataBytes) {
    std::memcpy(head, "RIFF", 4);
    PutU32(head + 4, 36 + dataBytes);
    std::memcpy(head + 8, "WAVEfmt ", 8);
    PutU32(head + 16, 16);
    PutU16(head + 20, 1);
    PutU16(head + 22, 2);
    PutU32(head + 24, 44100);
    PutU32(head + 28, 44100 * 4);
    PutU16(head + 32, 4);
    PutU16(head + 34, 16);
    std::memcpy(head + 36, "data", 4);
    PutU32(head + 40, dataBytes);
}
}  // namespace

WavRecorder* WavRecorderOpen(const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return nullptr;
    uint8_t head[44];
    WavHead(head, 0);
    WavRecorder* r = new WavRecorder{f, 0, std::fwrite(head, 1, 44, f) != 44};
    return r;
}

void WavRecorderWrite(WavRecorder* r, const int16_t* frames, int count) {
    if (!r || count <= 0) return;
    std::vector<uint8_t> bytes(size_t(count) * 4);
    for (size_t i = 0; i < size_t(count) * 2; ++i) PutU16(&bytes[2 * i], uint16_t(frames[i]));
    if (std::fwrite(bytes.data(), 1, bytes.size(), r->file) != bytes.size()) r->failed = true;
    r->dataBytes += bytes.size();
}

int WavRecorderClose(WavRecorder* r) {
    if (!r) return 0;
    uint8_t head[44];
    uint32_t dataBytes = r->dataBytes > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(r->dataBytes);
    WavHead(head, dataBytes);
    bool ok = !r->failed && std::fseek(r->file, 0, SEEK_SET) == 0 && std::fwrite(head, 1, 44, r->file) == 44;
    ok = (std::fclose(r->file) == 0) && ok;
    delete r;
    return ok ? 1 : 0;
}
