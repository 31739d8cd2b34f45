// kirake-song: the song compiler and player for authors.
#pragma once

int SongCompileMain(int argc, char** argv);  // compile SONG.song -o SONG.pmd
int SongRenderMain(int argc, char** argv);   // render FILE.pmd OUT.wav [--seconds S]
int SongInfoMain(int argc, char** argv);     // info FILE.pmd
int SongPlotMain(int argc, char** argv);     // plot SONG OUT.png
