// Placeholder until the sound subsystem lands: silence.
#include "app/app.h"
#include "sound/sound.h"

int InitSound(Window) { return 0; }
int LoadEffect(const char*, int) { return 0; }
void PlaySlot(int slot, int mode) {
    if (mode == 1) TraceNotePlay(slot);
}
void SetSlotVolume(int, int) {}
void SetSlotPan(int, int) {}
void ReleaseSlot(int) {}
int LoadDrumKit() { return 1; }
int LoadDrumSample(const char*, int) { return 0; }
int LoadSong(const char*) { return 0; }
int SongControl(int, const char*) { return 1; }
void MusicTick() {}
void PrepareSong() {}
int BuildInstrumentVoices(const int8_t*, const int8_t*, int32_t, uint32_t, int) { return 0; }
