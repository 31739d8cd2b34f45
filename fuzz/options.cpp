// The option values parsed before a run: --start SCENE and --capture LIST. The input is SCENE, a zero
// byte, then LIST.
#include <cstring>
#include <string>
#include "app/app.h"
#include "platform/platform.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* zero = static_cast<const char*>(std::memchr(text, 0, size));
    std::string scene(text, zero ? size_t(zero - text) : size);
    std::string list = zero ? std::string(zero + 1, text + size) : "";
    SetStartScene(scene.c_str());
    PlatformOptions options;
    options.headless = true;
    options.captureList = list;
    options.captureDir = FuzzFolder();
    options.frames = 0;
    std::string error;
    if (PlatformStart(options, &error)) PlatformStop();
    return 0;
}
