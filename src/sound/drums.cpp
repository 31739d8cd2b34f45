// The drum kit: six samples carried in the executable, each loaded into two neighbouring drum voices.
#include "platform/resources.h"
#include "platform/sound.h"
#include "sound/sound.h"

int LoadDrumSample(const char* resourceName, int slot) {
    uint32_t size = 0;
    const uint8_t* image = FindEmbeddedResource(resourceName, "WAVE", &size);
    if (!image) return 0;
    if (!FillSlotFromWavImage(image, size, slot)) return 0;
    SoundSetGroup(sound.slots[slot], SOUND_GROUP_MUSIC);  // the drums play in the songs
    return 1;
}

int LoadDrumKit() {
    music.songPlaying = 0;
    struct Pair {
        const char* name;
        int slot;
    };
    static const Pair kit[] = {
        {"BASS1", 472}, {"BASS1", 473}, {"BASS2", 474}, {"BASS2", 475}, {"SNARE1", 476}, {"SNARE1", 477},
        {"HAT1", 480},  {"HAT1", 481},  {"HAT2", 482},  {"HAT2", 483},  {"SYMBAL1", 484}, {"SYMBAL1", 485},
    };
    for (const Pair& p : kit) LoadDrumSample(p.name, p.slot);
    for (int slot = 486; slot <= 495; ++slot) LoadDrumSample("HAT2", slot);
    return 1;
}
