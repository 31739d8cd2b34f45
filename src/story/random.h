// The story's random draws: a generator seeded with a number (the calendar time) whose draws are those of
// the GNU C library's srand and rand, in every build.
#pragma once
#include <cstddef>
#include <vector>

void StorySeed(unsigned seed);
int StoryRandom();  // 0 to 2^31 - 1

// The moments of the draws: each seed the story took, with the game frame it was taken in, so that a game
// continued later draws what the game it continues drew, whatever the calendar says then.
struct DrawSeed {
    long frame;
    unsigned seed;
};
struct StoryDraws {
    long frame = 0;                 // the game frame under way (the session counts them)
    bool keep = false;              // note each seed taken in `taken`
    std::vector<DrawSeed> taken;    // the seeds taken so far, in order
    std::vector<DrawSeed> planned;  // a continued game's: taken instead of the given seed in their frames
    size_t nextPlanned = 0;
};
extern StoryDraws storyDraws;
