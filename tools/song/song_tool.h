// kirake-song: the song compiler and player for authors.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

// How long a step really lasts in the game: it sounds on the first frame (of 60 a second) more than the
// interval after the last one, so a whole number of frames. Milliseconds.
inline double PlayedStepMs(uint32_t stepInterval) {
    return std::max(1.0, std::ceil((double(stepInterval) + 1) * 60 / 1000)) * 1000 / 60;
}

int SongCompileMain(int argc, char** argv);  // compile SONG.song -o SONG.pmd
int SongRenderMain(int argc, char** argv);   // render FILE.pmd OUT.wav [--seconds S]
int SongInfoMain(int argc, char** argv);     // info FILE.pmd
int SongPlotMain(int argc, char** argv);     // plot SONG OUT.png
