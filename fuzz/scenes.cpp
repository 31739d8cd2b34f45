// Story scripts: a fuzzed scenes.txt and the files it includes, read from memory as start-up reads the
// folder's script, then, when it reads without problems, played for up to 200 frames over a tiny story
// folder (a few small pictures and a short data.txt, made once), with keys taken from the input.
//
// The input: scenes.txt up to the first line "--- NAME", then each "--- NAME" line starts the file NAME
// (at most 8). "--- @keys" starts the keys instead, a character a frame: z, space, u (up), d (down),
// anything else no key; without it the keys come from a generator seeded with the input. "--- @start"
// followed by a line PATH plays the way to PATH as --start does, with the keys of its player.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/display.h"
#include "platform/overlay.h"
#include "platform/window.h"
#include "story/script.h"
#include "story/story.h"
#include "support.h"
#include "text/text.h"

namespace {

constexpr int FRAMES = 200;
constexpr long LINES_PER_RUN = 50000;  // a run that has run this many commands ends early
constexpr size_t MAX_FILES = 9;
char home[4096];

// An 8-bit uncompressed BMP of one colour a row band, its table a grey ramp.
std::vector<uint8_t> Bmp(int width, int height) {
    int stride = (width + 3) & ~3;
    uint32_t offset = 54 + 1024, size = offset + uint32_t(stride * height);
    std::vector<uint8_t> b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    b[26] = 1;
    b[28] = 8;
    put32(46, 256);
    for (int i = 0; i < 256; ++i) b[54 + 4 * size_t(i)] = b[55 + 4 * size_t(i)] = b[56 + 4 * size_t(i)] = uint8_t(i);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b[offset + size_t(y) * size_t(stride) + size_t(x)] = uint8_t((y / 8 * 16 + x / 8) & 0xFF);
    return b;
}

void Write(const std::string& path, const std::string& text) {
    WriteBytes(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The sheets every run starts from, as start-up loads them.
void LoadStartingSheets() {
    const std::string& f = FuzzFolder();
    LoadSheet(&display.windowSheet, (f + "/game_w.BMP").c_str());
    LoadSheet(&display.charSheet, (f + "/bmp/sensei.BMP").c_str());
    LoadSheet(&display.systemSheet, (f + "/System.BMP").c_str());
    LoadSheet(&display.bgSheet, (f + "/bmp/stage1.BMP").c_str());
    SetSheetColorKeys(app.mainWindow);
}

struct Input {
    std::vector<std::pair<std::string, std::string>> files;  // scenes.txt first
    std::string keys, start;
    bool hasKeys = false, hasStart = false;
};

Input Split(const uint8_t* data, size_t size) {
    Input in;
    in.files.push_back({"scenes.txt", ""});
    std::string* into = &in.files.back().second;
    const char* text = reinterpret_cast<const char*>(data);
    size_t at = 0;
    while (at < size) {
        const char* newline = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
        size_t end = newline ? size_t(newline - text) + 1 : size;
        std::string line(text + at, end - at);
        at = end;
        if (line.compare(0, 4, "--- ") == 0) {
            std::string name = line.substr(4);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            if (name == "@keys") {
                in.hasKeys = true;
                into = &in.keys;
                continue;
            }
            if (name == "@start") {
                in.hasStart = true;
                into = &in.start;
                continue;
            }
            if (in.files.size() < MAX_FILES) {
                in.files.push_back({name, ""});
                into = &in.files.back().second;
                continue;
            }
        }
        *into += line;
    }
    return in;
}

uint16_t KeyOf(char c) {
    switch (c) {
        case 'z': return KEY_Z;
        case ' ': return KEY_SPACE;
        case 'u': return KEY_UP;
        case 'd': return KEY_DOWN;
        default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home) || !OpenFuzzDisplay()) std::abort();
    const std::string& f = FuzzFolder();
    std::filesystem::create_directories(f + "/bmp");
    std::vector<uint8_t> window = Bmp(640, 480), system = Bmp(320, 240), small = Bmp(48, 40);
    WriteBytes(f + "/game_w.BMP", window.data(), window.size());
    WriteBytes(f + "/System.BMP", system.data(), system.size());
    WriteBytes(f + "/bmp/stage1.BMP", small.data(), small.size());
    WriteBytes(f + "/bmp/sensei.BMP", small.data(), small.size());
    Write(f + "/data.txt",
          "tx0Spring.<*A second page,</and a second line.<!\n"
          "tx1<wv6Thump.<+<+then<!\n"
          "tx2A message with no end\n"
          "tx3Tell me.<!\n"
          "tx#Short.<!\n"
          "tx{first-1}Yes<!\ntx{first-2}No<!\ntx{first-3}Perhaps<!\ntx{first-4}Later<!\n"
          "tx{teacher}Teacher<!\n"
          "tx{credits}Staff</</Story</Pictures</</</Music<!\n"
          "tx{the-end}The end<!\n");
    if (chdir(f.c_str()) != 0) std::abort();
    LoadScriptText(app.mainWindow);
    if (chdir(home) != 0 || !message.scriptText) std::abort();
    LoadStartingSheets();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in = Split(data, size);
    ScriptProgram program;
    ScriptFileReader reader = [&in](const std::string& name, std::string* text, std::string* why) {
        for (const auto& [file, bytes] : in.files)
            if (file == name) {
                *text = bytes;
                return 1;
            }
        *why = "no such file in the story folder";
        return 0;
    };
    if (!ReadScript("scenes.txt", reader, &program)) {
        for (const ScriptProblem& problem : program.problems) ProblemText(problem);
        return 0;
    }

    // The player as start-up leaves it, over the starting sheets and a grey palette.
    Window window = app.mainWindow;
    UseBuiltinStory(1);
    LoadStoryScript(window);
    UseBuiltinStory(0);
    ScriptPlayer& p = scriptPlayer;
    p.program = std::move(program);
    p.active = 1;
    p.values.assign(p.program.variables.size(), 0);
    p.isSet.assign(p.program.variables.size(), 0);
    InitStoryState(window);
    Surface* sheets[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    Palette* palette = display.displayPalette;

    std::string start = in.start.substr(0, in.start.find('\n'));
    bool starting = in.hasStart && ScriptStartBegin(start, &start);
    uint64_t seed = 0xcbf29ce484222325u;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 0x100000001b3u;
    // The data folder is the working folder while the story plays: pictures are loaded by name.
    if (chdir(FuzzFolder().c_str()) != 0) std::abort();
    long lines = 0;
    for (int frame = 0; frame < FRAMES && lines < LINES_PER_RUN; ++frame) {
        if (starting) {
            keysPressed = ScriptStartKeys(2);
        } else if (in.hasKeys) {
            keysPressed = in.keys.empty() ? 0 : KeyOf(in.keys[size_t(frame) % in.keys.size()]);
        } else {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            const uint16_t keys[] = {0, 0, 0, KEY_Z, KEY_Z, KEY_SPACE, KEY_SPACE, KEY_DOWN, KEY_UP, KEY_Z | KEY_SPACE};
            keysPressed = keys[seed % (sizeof keys / sizeof keys[0])];
        }
        RunScriptFrame(window);
        ScriptShownState();
        if (starting) ScriptStartReached();
        lines += p.frameLines;
        if (p.stopped || size_t(p.pc) >= p.program.commands.size()) break;
    }
    // The last frame composed once: the sprites as the script left them, clipped to their sheets.
    DrawBaseLayer(window);
    DrawSprites(window);
    ScriptPosition();
    if (chdir(home) != 0) std::abort();

    // What the run made goes with it: the message under way, the player, replaced sheets and palettes.
    AbandonMessage(window);
    ShowOverlayLine(nullptr);
    p = ScriptPlayer{};
    bool same = display.displayPalette == palette;
    Surface* now[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    for (int i = 0; i < 4; ++i) same = same && now[i] == sheets[i];
    if (!same) {
        RenewFuzzDisplay();
        LoadStartingSheets();
    } else {
        WritePaletteEntries(display.displayPalette, display.masterPalette);
    }
    Message posted;
    while (PeekWindowMessage(&posted)) GetWindowMessage(&posted);
    return 0;
}
