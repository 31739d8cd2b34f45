// The portable mixer: static sound buffers in memory, summed with their gains, converted to the mixer's
// rate by its own band-limited resampler, and clipped.
//
// Buffers are mixed at their own rate: all buffers of one rate are summed into one stereo stream of
// that rate (a lane), and each lane is converted to the mixer's rate once, as a whole, by a
// windowed-sinc polyphase filter. Conversion therefore costs the same whether one buffer sounds or a
// hundred, and filling a buffer costs only the decoding of its bytes to 16-bit samples: a buffer can
// be struck the moment it is unlocked. A lane at the mixer's own rate is summed straight into the output.
//
// The resampler weighs source frames on both sides of an output frame's time, so a lane's history is
// summed ahead of the output by half the filter's length. A buffer struck between two renders is placed
// at the next output frame's own time, inside what was summed ahead; a buffer stopped, moved, restarted,
// re-levelled or refilled while it sounds first has what it summed ahead taken back out of the history
// and is placed again from that time on. Every call thus sounds from the output sample that follows it.
//
// Everything is computed from additions, multiplications, divisions and square roots only (no libm
// calls), in a fixed order, so that every backend and every compiler gives the same samples.
// The SDL backend renders from its audio thread, so every operation takes the mixer's lock.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"
#include "platform/core/sound_resampler.h"

struct SoundBuffer {
    SoundFormat format;
    std::vector<uint8_t> bytes;  // the samples as the owner wrote them
    std::vector<int16_t> pcm;    // decoded: 16-bit, own channel count, own rate
    uint32_t frames = 0;         // frames in pcm
    uint32_t position = 0;       // next frame to sound, at the buffer's rate
    bool playing = false;
    bool looping = false;
    bool locked = false;
    // Placed in a lane of another rate: summed into its history since the lane's source frame placedAt
    // (counted from the lane's start), from placedPosition on, with the gains and looping it has now.
    // A playing buffer that is not placed is placed by the next render.
    bool placed = false;
    uint64_t placedAt = 0;
    uint32_t placedPosition = 0;
    int32_t volume = 0;
    int32_t pan = 0;
    int group = SOUND_GROUP_EFFECTS;
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
};

namespace {

constexpr int CHUNK_FRAMES = 1024;

typedef float Float4 __attribute__((vector_size(16)));

// Every buffer of one rate, summed at that rate and converted to the mixer's rate as one stream.
// history holds the source frames from historyStart on (interleaved stereo); the converter's position
// (whole, remainder) is counted from historyStart's origin, which history[0] stands for.
struct Lane {
    uint32_t rate = 0;
    std::shared_ptr<const Resampler> resampler;  // null: same rate
    std::vector<float> history;
    uint64_t origin = 0;     // the lane's source frame (counted from its start) that history[0] stands for
    uint64_t whole = 0;      // source frame (in history) of the next output frame
    uint32_t remainder = 0;
    uint32_t quietFrames = 0;  // trailing silent frames in history
    int buffers = 0;           // buffers of this rate that exist
};

struct Mixer {
    std::mutex lock;
    bool open = false;
    int rate = 0;
    std::vector<SoundBuffer*> buffers;  // every buffer that exists, in the order they were made
    std::vector<std::unique_ptr<Lane>> lanes;
    float left[CHUNK_FRAMES];
    float right[CHUNK_FRAMES];
    std::vector<float> sourceLeft, sourceRight;  // a lane's new frames while they are summed
    float groupGain[2] = {1.0f, 1.0f};  // the player's levels of the effects and the music
    bool unheard = false;  // this render's output goes nowhere: the filters' sums are not worked out
};
Mixer& mixer = *new Mixer;  // never destroyed: a device thread may render while the program exits

// 10^(h/2000) for h in hundredths of a decibel, by repeated squaring of 10^(1/2000).
double DecibelGain(int32_t hundredths) {
    double base = 1.001151955538169, gain = 1.0;
    for (uint32_t e = uint32_t(hundredths < 0 ? -hundredths : hundredths); e; e >>= 1, base *= base)
        if (e & 1) gain *= base;
    return hundredths < 0 ? 1.0 / gain : gain;
}

float Attenuation(int32_t hundredthsOfDb) {
    if (hundredthsOfDb <= -10000) return 0.0f;  // the bottom of the range is silence
    return float(DecibelGain(hundredthsOfDb));
}

// Volume attenuates both sides; pan attenuates the side away from it by its amount as well; the group's
// level scales both (by exactly 1 at 100 %).
void UpdateGains(SoundBuffer* b) {
    b->gainLeft = Attenuation(b->volume - std::max<int32_t>(0, b->pan)) * mixer.groupGain[b->group];
    b->gainRight = Attenuation(b->volume - std::max<int32_t>(0, -b->pan)) * mixer.groupGain[b->group];
}

}  // namespace

// A lane goes when its last buffer does: the filters made last are kept for the lanes that come back.
std::shared_ptr<const Resampler> ResamplerFor(int from, int to) {
    static std::vector<std::shared_ptr<const Resampler>> recent;  // newest last
    constexpr size_t KEPT = 4;
    for (size_t i = 0; i < recent.size(); ++i)
        if (recent[i]->from == from && recent[i]->to == to) {
            std::shared_ptr<const Resampler> found = recent[i];
            recent.erase(recent.begin() + ptrdiff_t(i));
            recent.push_back(found);
            return found;
        }
    std::shared_ptr<const Resampler> made(ResamplerCreate(from, to), ResamplerFree);
    if (!made) return made;
    if (recent.size() == KEPT) recent.erase(recent.begin());
    recent.push_back(made);
    return made;
}

namespace {

// Sets a lane up for the mixer's rate: an empty history with the taps before the first frame silent.
void ResetLane(Lane* lane, int rate) {
    if (int(lane->rate) != rate) {
        lane->resampler = ResamplerFor(int(lane->rate), rate);
    } else {
        lane->resampler.reset();
    }
    int taps = ResamplerTaps(lane->resampler.get());
    lane->history.assign(size_t(taps) * 2, 0.0f);  // frames -taps/2 + 1 ... taps/2 before any sound
    lane->origin = 0;
    lane->whole = 0;
    lane->remainder = 0;
    lane->quietFrames = uint32_t(taps);
    for (SoundBuffer* b : mixer.buffers)  // those still playing are placed again in the new history
        if (b->format.samplesPerSec == lane->rate) b->placed = false;
}

Lane* LaneOf(uint32_t rate) {
    for (auto& lane : mixer.lanes)
        if (lane->rate == rate) return lane.get();
    return nullptr;
}

// The decoded samples of the buffer's bytes: 16-bit, own rate and channel count.
std::vector<int16_t> Decode(const SoundFormat& f, const std::vector<uint8_t>& bytes) {
    size_t samples = bytes.size() / f.blockAlign * f.channels;
    std::vector<int16_t> pcm(samples);
    if (f.bitsPerSample == 8)
        for (size_t i = 0; i < samples; ++i) pcm[i] = int16_t((int(bytes[i]) - 128) << 8);
    else
        for (size_t i = 0; i < samples; ++i) pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return pcm;
}

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

// Sums `frames` frames of every playing buffer of the rate into left and right. 1 when any sounded.
bool SumBuffers(uint32_t rate, float* left, float* right, int frames) {
    bool any = false;
    for (SoundBuffer* b : mixer.buffers)
        if (b->playing && b->format.samplesPerSec == rate) {
            MixBuffer(b, left, right, frames);
            any = true;
        }
    return any;
}

// The source frame (in history) at or after the next output frame's time: where a change sounds from.
uint64_t NextSourceFrame(const Lane* lane) {
    return lane->whole + uint64_t(lane->resampler->taps / 2 - 1) + (lane->remainder ? 1 : 0);
}

// Takes back what a placed buffer summed into its lane's history from the next output frame's time on,
// and sets the buffer to where it stands at that time (playing or not, its position); a buffer still
// playing is placed again there by the next render, with whatever the caller changes meanwhile.
void TakeBack(SoundBuffer* b) {
    if (!b->placed) return;
    b->placed = false;
    Lane* lane = LaneOf(b->format.samplesPerSec);
    if (!lane || !lane->resampler) return;
    uint64_t start = NextSourceFrame(lane), have = lane->history.size() / 2;
    // It has run since it was placed as MixBuffer runs it: on to the end, then from 0 or stopped.
    uint64_t at = uint64_t(b->placedPosition) + (lane->origin + start - b->placedAt);
    bool playing = b->frames > 0 && (at < b->frames || b->looping);
    uint32_t position = playing ? uint32_t(at % b->frames) : 0;
    if (playing && have > start) {
        int ahead = int(have - start);
        mixer.sourceLeft.assign(size_t(ahead), 0.0f);
        mixer.sourceRight.assign(size_t(ahead), 0.0f);
        b->position = position;
        b->playing = true;
        MixBuffer(b, mixer.sourceLeft.data(), mixer.sourceRight.data(), ahead);
        float* h = lane->history.data() + 2 * start;
        for (int i = 0; i < ahead; ++i) {
            h[2 * i] -= mixer.sourceLeft[size_t(i)];
            h[2 * i + 1] -= mixer.sourceRight[size_t(i)];
        }
    }
    b->position = position;
    b->playing = playing;
}

// One lane's share of the next `frames` output frames, added to left and right.
void RenderLane(Lane* lane, float* left, float* right, int frames) {
    if (!lane->resampler) {
        SumBuffers(lane->rate, left, right, frames);
        return;
    }
    const Resampler* rs = lane->resampler.get();
    uint64_t have = lane->history.size() / 2;
    // A buffer struck (or changed) since the last render starts at the next output frame's own time, not
    // after the frames already summed: it is added into those (the outputs before its start miss only
    // its filter's lead-in, as a buffer converted on its own would).
    uint64_t start = NextSourceFrame(lane);
    int late = int(have > start ? have - start : 0);
    bool anyLate = false;
    for (SoundBuffer* b : mixer.buffers)
        if (!b->placed && b->playing && b->format.samplesPerSec == lane->rate) {
            if (!anyLate) {
                mixer.sourceLeft.assign(size_t(late), 0.0f);
                mixer.sourceRight.assign(size_t(late), 0.0f);
                anyLate = true;
            }
            b->placed = true;
            b->placedAt = lane->origin + start;
            b->placedPosition = b->position;
            MixBuffer(b, mixer.sourceLeft.data(), mixer.sourceRight.data(), late);
        }
    if (anyLate) {
        float* h = lane->history.data() + 2 * start;
        for (int i = 0; i < late; ++i) {
            h[2 * i] += mixer.sourceLeft[size_t(i)];
            h[2 * i + 1] += mixer.sourceRight[size_t(i)];
        }
        lane->quietFrames = 0;
    }
    // Sum the new source frames that the output's taps reach.
    uint64_t needed = lane->whole + ResamplerSourceNeeded(rs, lane->remainder, frames);
    int fresh = int(needed > have ? needed - have : 0);
    mixer.sourceLeft.assign(size_t(fresh), 0.0f);
    mixer.sourceRight.assign(size_t(fresh), 0.0f);
    bool sounded = SumBuffers(lane->rate, mixer.sourceLeft.data(), mixer.sourceRight.data(), fresh);
    lane->history.resize(size_t(have + uint64_t(fresh)) * 2);
    float* h = lane->history.data() + 2 * have;
    for (int i = 0; i < fresh; ++i) {
        h[2 * i] = mixer.sourceLeft[size_t(i)];
        h[2 * i + 1] = mixer.sourceRight[size_t(i)];
    }
    if (sounded) {
        uint32_t quiet = 0;
        for (int i = fresh; i > 0 && h[2 * i - 2] == 0.0f && h[2 * i - 1] == 0.0f; --i) ++quiet;
        lane->quietFrames = quiet == uint32_t(fresh) ? lane->quietFrames + quiet : quiet;
    } else {
        lane->quietFrames += uint32_t(fresh);
    }
    if (mixer.unheard || lane->quietFrames >= have + uint64_t(fresh) - lane->whole) {
        // Every tap of every output frame is silent, or nobody hears them: only the position moves on
        // (by the same steps as the filter's, so the lane goes on exactly as if it had been filtered).
        uint64_t advance = (uint64_t(lane->remainder) + uint64_t(frames) * rs->from) / uint64_t(rs->to);
        lane->remainder = uint32_t((uint64_t(lane->remainder) + uint64_t(frames) * rs->from) % uint64_t(rs->to));
        lane->whole += advance;
    } else {
        ResamplerRun(rs, lane->history.data(), &lane->whole, &lane->remainder, left, right, frames);
    }
    // Keep only the frames that later outputs still weigh: from whole on, taps in all.
    if (lane->whole > 0) {
        uint64_t drop = std::min<uint64_t>(lane->whole, lane->history.size() / 2);
        lane->history.erase(lane->history.begin(), lane->history.begin() + ptrdiff_t(2 * drop));
        lane->whole -= drop;
        lane->origin += drop;
    }
    lane->quietFrames = uint32_t(std::min<uint64_t>(lane->quietFrames, lane->history.size() / 2));
}

uint32_t AtMixerRate(uint64_t frames, uint32_t rate) {
    return mixer.rate > 0 && rate > 0 ? uint32_t(frames * uint64_t(mixer.rate) / rate) : 0;
}

}  // namespace

int MixerOpen(int rate) {
    if (rate <= 0) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    mixer.open = true;
    if (mixer.rate != rate) {  // tests switch rates
        mixer.rate = rate;
        for (auto& lane : mixer.lanes) ResetLane(lane.get(), rate);
    }
    return 1;
}

void MixerClose() {
    std::lock_guard<std::mutex> guard(mixer.lock);
    mixer.open = false;
    for (SoundBuffer* b : mixer.buffers) b->playing = false;
    for (auto& lane : mixer.lanes) ResetLane(lane.get(), mixer.rate);
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
    std::lock_guard<std::mutex> guard(mixer.lock);
    uint64_t frames = SoundConvertedBytes(&b->format, uint32_t(b->bytes.size()), mixer.rate) / 2 / b->format.channels;
    *info = {b->playing,
             b->looping,
             AtMixerRate(b->position, b->format.samplesPerSec),
             uint32_t(frames),
             b->volume,
             b->pan,
             b->format.channels,
             uint32_t(b->bytes.size())};
    return 1;
}

namespace {
void Render(int16_t* out, int frames, bool heard) {
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (frames > 0 && (!mixer.open || mixer.lanes.empty())) {  // nothing playing: silence
        std::memset(out, 0, 2 * sizeof *out * size_t(frames));
        return;
    }
    mixer.unheard = !heard;
    while (frames > 0) {
        int n = std::min(frames, CHUNK_FRAMES);
        float* left = mixer.left;
        float* right = mixer.right;
        std::fill(left, left + n, 0.0f);
        std::fill(right, right + n, 0.0f);
        for (auto& lane : mixer.lanes) RenderLane(lane.get(), left, right, n);
        for (int i = 0; heard && i < n; ++i) {
            out[2 * i] = int16_t(__builtin_lrintf(std::clamp(left[i], -32768.0f, 32767.0f)));
            out[2 * i + 1] = int16_t(__builtin_lrintf(std::clamp(right[i], -32768.0f, 32767.0f)));
        }
        out += 2 * n;
        frames -= n;
    }
    mixer.unheard = false;
}
}  // namespace

void MixerRender(int16_t* out, int frames) { Render(out, frames, true); }

void MixerRenderFrames(MixerClock* clock, long framesShown, MixerSink sink, void* user) {
    if (!clock || framesShown < 0) return;
    int rate = MixerRate();
    if (rate <= 0) rate = MIXER_FRAME_CLOCK_RATE;  // no device: the clock still runs, in silence
    // Frame n starts at sample round(n * rate / 60).
    uint64_t target = (uint64_t(framesShown) * uint64_t(rate) + 30) / 60;
    int16_t block[2 * 1024];
    while (clock->rendered < target) {
        int n = int(std::min<uint64_t>(1024, target - clock->rendered));
        Render(block, n, sink != nullptr);  // frames run unshown are not heard: only their state counts
        if (sink) sink(user, block, n);
        clock->rendered += uint64_t(n);
    }
}

SoundBuffer* SoundCreateBuffer(const SoundFormat* format, uint32_t bytes) {
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (!mixer.open || SoundBufferProblem(format, bytes, mixer.rate)) return nullptr;
    SoundBuffer* b = new SoundBuffer;
    b->format = *format;
    b->bytes.assign(bytes, format->bitsPerSample == 8 ? 128 : 0);
    b->pcm = Decode(b->format, b->bytes);
    b->frames = uint32_t(b->pcm.size() / b->format.channels);
    UpdateGains(b);
    mixer.buffers.push_back(b);
    Lane* lane = LaneOf(format->samplesPerSec);
    if (!lane) {
        mixer.lanes.push_back(std::make_unique<Lane>());
        lane = mixer.lanes.back().get();
        lane->rate = format->samplesPerSec;
        ResetLane(lane, mixer.rate);
    }
    ++lane->buffers;
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
    std::vector<int16_t> pcm = Decode(b->format, b->bytes);  // outside the lock: the device renders meanwhile
    std::lock_guard<std::mutex> guard(mixer.lock);
    TakeBack(b);  // what it sounds from here on is the new samples
    b->pcm = std::move(pcm);
    return 1;
}

int SoundPlay(SoundBuffer* b, int looping) {
    if (!b) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (!mixer.open) return 0;
    if (b->playing && b->looping == (looping != 0)) return 1;
    TakeBack(b);  // a once buffer may have ended ahead of the output; a new looping flag applies from here
    b->playing = true;
    b->looping = looping != 0;
    return 1;
}

int SoundStop(SoundBuffer* b) {
    if (!b) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    TakeBack(b);
    b->playing = false;
    return 1;
}

int SoundSetPosition(SoundBuffer* b, uint32_t position) {
    if (!b || position >= b->bytes.size()) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    TakeBack(b);
    b->position = position / b->format.blockAlign;
    return 1;
}

int SoundSetVolume(SoundBuffer* b, int32_t volume) {
    if (!b || volume > 0 || volume < -10000) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (volume == b->volume) return 1;
    TakeBack(b);
    b->volume = volume;
    UpdateGains(b);
    return 1;
}

int SoundSetPan(SoundBuffer* b, int32_t pan) {
    if (!b || pan > 10000 || pan < -10000) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (pan == b->pan) return 1;
    TakeBack(b);
    b->pan = pan;
    UpdateGains(b);
    return 1;
}

int SoundSetGroup(SoundBuffer* b, SoundGroup group) {
    if (!b || (group != SOUND_GROUP_EFFECTS && group != SOUND_GROUP_MUSIC)) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    if (b->group == group) return 1;
    TakeBack(b);
    b->group = group;
    UpdateGains(b);
    return 1;
}

int SoundSetGroupLevel(SoundGroup group, int percent) {
    if ((group != SOUND_GROUP_EFFECTS && group != SOUND_GROUP_MUSIC) || percent < 0 || percent > 100) return 0;
    std::lock_guard<std::mutex> guard(mixer.lock);
    float gain = float(percent) / 100.0f;
    if (gain == mixer.groupGain[group]) return 1;
    mixer.groupGain[group] = gain;
    for (SoundBuffer* b : mixer.buffers)  // sounding ones change from the next output sample on
        if (b->group == group) {
            TakeBack(b);
            UpdateGains(b);
        }
    return 1;
}

void SoundRelease(SoundBuffer* b) {
    if (!b) return;
    {
        std::lock_guard<std::mutex> guard(mixer.lock);
        auto it = std::find(mixer.buffers.begin(), mixer.buffers.end(), b);
        if (it == mixer.buffers.end()) return;
        TakeBack(b);  // it stops sounding here, not where it was summed to
        mixer.buffers.erase(it);
        // The last buffer of its rate takes the lane with it (a file may bring any rate).
        for (auto lane = mixer.lanes.begin(); lane != mixer.lanes.end(); ++lane)
            if ((*lane)->rate == b->format.samplesPerSec) {
                if (--(*lane)->buffers == 0) mixer.lanes.erase(lane);
                break;
            }
    }
    delete b;
}
