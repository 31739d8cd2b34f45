// The story's random draws, the same in every build: the sequence of the GNU C library's rand (an
// additive feedback generator over 34 seeded words), so that a draw seeded with the same calendar time
// gives the same route on Linux, in the browser and on Windows, whose C libraries (msvcrt, emscripten's)
// have generators of their own. The C library's own rand and srand are left as they are.
#include "story/random.h"
#include <cstdint>

namespace {
struct Generator {
    int32_t words[34];
    int next;  // index of the oldest of the 34 words
    bool seeded;
};
Generator generator;

void Seed(unsigned seed) {
    int32_t* r = generator.words;
    int32_t word = int32_t(seed == 0 ? 1 : seed);
    r[0] = word;
    for (int i = 1; i < 31; ++i) {  // 16807 * word modulo 2^31 - 1, without overflow
        int32_t high = word / 127773, low = word % 127773;
        word = 16807 * low - 2836 * high;
        if (word < 0) word += 2147483647;
        r[i] = word;
    }
    for (int i = 31; i < 34; ++i) r[i] = r[i - 31];
    generator.next = 0;
    generator.seeded = true;
    for (int i = 34; i < 344; ++i) StoryRandom();
}
}  // namespace

StoryDraws storyDraws;

void StorySeed(unsigned seed) {
    StoryDraws& d = storyDraws;
    while (d.nextPlanned < d.planned.size() && d.planned[d.nextPlanned].frame < d.frame) ++d.nextPlanned;
    if (d.nextPlanned < d.planned.size() && d.planned[d.nextPlanned].frame == d.frame)
        seed = d.planned[d.nextPlanned++].seed;
    if (d.keep) d.taken.push_back({d.frame, seed});
    Seed(seed);
}

int StoryRandom() {
    if (!generator.seeded) Seed(1);
    int32_t* r = generator.words;
    int at = generator.next;  // word i-34; i-31 and i-3 are 3 and 31 ahead in the ring
    uint32_t value = uint32_t(r[(at + 3) % 34]) + uint32_t(r[(at + 31) % 34]);
    r[at] = int32_t(value);
    generator.next = (at + 1) % 34;
    return int(value >> 1);
}
