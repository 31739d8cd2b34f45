// The story's random draws: a generator seeded with a number (the calendar time) whose draws are those of
// the GNU C library's srand and rand, in every build.
#pragma once

void StorySeed(unsigned seed);
int StoryRandom();  // 0 to 2^31 - 1
