// With no sound card, ALSA prints lines of its own ("cannot find card", "Unknown PCM", ...) on standard
// error while SDL looks for a device, before the game says in one line that it plays without sound.
// SDL has no setting for them, so ALSA's error handler is replaced by one that says nothing. libasound is
// taken with dlopen, as SDL takes it: the game does not link it and runs where it is missing.
#include "platform/sdl/alsa_quiet.h"

#if defined(__linux__)
#include <dlfcn.h>

namespace {
void SayNothing(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void QuietAlsaErrors() {
    static void* alsa = nullptr;  // kept loaded: SDL opens the same library, and the handler must stay
    if (alsa) return;
    alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(SayNothing);
}
#else
void QuietAlsaErrors() {}
#endif
