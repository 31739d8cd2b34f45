// Sound and music: the slot table and effect bank, the drum kit, song files, the sequencer.
#pragma once
#include <cstdint>
#include "platform/window.h"

constexpr int SONG_REWIND = 0, SONG_PLAY = 1, SONG_PREPARE = 2, SONG_STOP = 3, SONG_LOAD = 4;

int InitSound(Window window);
int LoadEffect(const char* fileName, int slot);
void PlaySlot(int slot, int mode);
void SetSlotVolume(int slot, int level);
void SetSlotPan(int slot, int position);
void ReleaseSlot(int slot);

int LoadDrumKit();
int LoadDrumSample(const char* resourceName, int slot);

int LoadSong(const char* fileName);
int SongControl(int command, const char* fileName);
void MusicTick();
void PrepareSong();
int BuildInstrumentVoices(const int8_t* wave, const int8_t* envelope, int32_t octaveFactor, uint32_t noteLength,
                          int firstSlot);
