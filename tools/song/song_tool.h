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
#include "sound/sound.h"

int SongCompileMain(int argc, char** argv);  // compile SONG.song -o SONG.pmd
int SongRenderMain(int argc, char** argv);   // render FILE.pmd OUT.wav [--seconds S]
int SongInfoMain(int argc, char** argv);     // info FILE.pmd
int SongPlotMain(int argc, char** argv);     // plot SONG OUT.png

struct CompiledSong;
// plot's reader: a source (.song) compiled, or a song file decoded. 1, or 0 with the reasons on stderr.
int ReadSongToPlot(const char* path, CompiledSong* song);

// The most of a song file the game can read: the header and four tracks of the longest length.
constexpr uint64_t MAX_SONG_FILE_BYTES = SONG_HEADER_BYTES + 16 * uint64_t(MAX_TRACK_LENGTH);
