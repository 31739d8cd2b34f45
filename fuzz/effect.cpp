// Effect files: a fuzzed WAV loaded into an effect slot, struck, mixed and released.
#include <cstdlib>
#include "platform/core/sound_mixer.h"
#include "sound/sound.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzFolder();
    if (!InitSound(1)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    if (!WriteBytes(FuzzFolder() + "/Fuzz.wav", bytes.data(), bytes.size())) return 0;
    static const std::string name = FuzzFolder() + "/FUZZ.WAV";  // found as Fuzz.wav
    LoadEffect(name.c_str(), 3);
    PlaySlot(3, 1);
    static int16_t out[2 * 4096];
    MixerRender(out, 4096);
    PlaySlot(3, -1);
    MixerRender(out, 512);
    ReleaseSlot(3);
    return 0;
}
