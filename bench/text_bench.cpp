// Text drawing speed: one typed character of the message window, and one choice screen's three lines.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/platform.h"
#include "story/story.h"
#include "text/text.h"

namespace {

// A headless display with a 640x480 window sheet carrying a 256-colour table.
struct Sheet {
    Surface* surface = nullptr;
    Sheet() {
        PlatformOptions options;
        options.headless = true;
        std::string error;
        PlatformStart(options, &error);
        DisplayCreate();
        surface = CreateSurface(640, 480);
        std::vector<PaletteEntry> table(256);
        for (int i = 0; i < 256; i++) table[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
        AttachPalette(surface, CreateSurfacePalette(table.data()));
        app.displayActive = 0;  // no box to clear: only the text is measured
    }
    ~Sheet() {
        DisplayRelease();
        PlatformStop();
    }
};

void TypeOneCharacter(benchmark::State& state) {
    Sheet sheet;
    std::string text = "tx0";
    const char line[] = "The quick brown fox jumps over the lazy dog, 0123456789! ";
    while (text.size() < 4000) text += line;
    text += "<!";
    std::free(message.scriptText);
    message = {};
    message.scriptText = static_cast<uint8_t*>(std::malloc(text.size()));
    std::memcpy(message.scriptText, text.data(), text.size());
    message.scriptSize = static_cast<uint32_t>(text.size());
    const int lastChar = static_cast<int>(text.size()) - 3;
    for (auto _ : state) {
        TypeMessage(0, message.scriptText, 60, 355, 21, sheet.surface, 255, 255, 255, '0');
        if (message.penX > 500) message.penX = 0;
        if (message.scriptPos >= lastChar) message.scriptPos = 3;
    }
    std::free(message.scriptText);
    message = {};
}
BENCHMARK(TypeOneCharacter);

void ChoiceScreen(benchmark::State& state) {
    Sheet sheet;
    const char* lines[] = {"Go to the library with her", "Stay behind in the classroom", "Walk home by the river"};
    for (auto _ : state) {
        for (int i = 0; i < 3; i++)
            DrawTextLine(lines[i], GAME_FACE, 130, 362 + 24 * i, 24, sheet.surface, 255, 255, 255);
    }
}
BENCHMARK(ChoiceScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
