// Placeholder until the sound device lands: no device, every buffer refused.
#include "platform/backend.h"
#include "platform/sound.h"

int SoundBackendStart(const PlatformOptions&, std::string*) { return 1; }
void SoundBackendStop() {}
void SoundBackendFrameShown(long) {}

int SoundDeviceOpen(Window) { return 0; }
SoundBuffer* SoundCreateBuffer(const SoundFormat*, uint32_t) { return nullptr; }
int SoundLock(SoundBuffer*, uint32_t, uint32_t, void**, uint32_t*, void**, uint32_t*) { return 0; }
int SoundUnlock(SoundBuffer*, void*, uint32_t, void*, uint32_t) { return 0; }
int SoundPlay(SoundBuffer*, int) { return 0; }
int SoundStop(SoundBuffer*) { return 0; }
int SoundSetPosition(SoundBuffer*, uint32_t) { return 0; }
int SoundSetVolume(SoundBuffer*, int32_t) { return 0; }
int SoundSetPan(SoundBuffer*, int32_t) { return 0; }
void SoundRelease(SoundBuffer*) {}
