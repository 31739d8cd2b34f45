#include "support.h"
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/overlay.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "story/script.h"
#include "story/story.h"
#include "text/text.h"

namespace {
std::string folder;

void RemoveFolder() {
    if (folder.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

bool platformStarted = false;

// The sheets and palette a script run started with.
Surface* runSheets[4];
Palette* runPalette;

int OpenDisplay() {
    display = DisplayState{};
    if (!DisplayCreate() || !DisplaySetCooperativeLevel(1) || !DisplaySetMode(640, 480, 8)) return 0;
    display.device = 1;
    display.primary = CreatePrimarySurface(1);
    display.backBuffer = GetBackBuffer(display.primary);
    display.clipper = CreateClipper();
    ClipperSetWindow(display.clipper, 1);
    SurfaceSetClipper(display.backBuffer, display.clipper);
    PaletteEntry grey[256];
    for (int i = 0; i < 256; ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), PALETTE_NOCOLLAPSE};
    for (int i = 0; i < 256; ++i) display.masterPalette[i] = grey[i];
    display.displayPalette = CreateSurfacePalette(grey);
    AttachPalette(display.primary, display.displayPalette);
    return display.primary && display.backBuffer ? 1 : 0;
}
}  // namespace

const std::string& FuzzFolder() {
    if (folder.empty()) {
        // In memory where the system has such a folder: every run writes its input there.
        char inMemory[] = "/dev/shm/kirake-fuzz-XXXXXX", onDisk[] = "/tmp/kirake-fuzz-XXXXXX";
        const char* made = mkdtemp(inMemory);
        if (!made) made = mkdtemp(onDisk);
        if (!made) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder = made;
        std::atexit(RemoveFolder);
    }
    return folder;
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> FuzzBmp(int width, int height) {
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

int OpenFuzzDisplay() {
    FuzzFolder();
    if (!platformStarted) {
        PlatformOptions options;
        options.headless = true;
        std::string error;
        if (!PlatformStart(options, &error)) {
            std::fprintf(stderr, "fuzz: %s\n", error.c_str());
            return 0;
        }
        platformStarted = true;
        app.mainWindow = 1;
        app.appActive = app.displayActive = 1;
        return OpenDisplay();
    }
    return display.primary ? 1 : OpenDisplay();
}

void RenewFuzzDisplay() {
    DisplayRelease();
    OpenDisplay();
}

std::vector<uint8_t> ExpandInput(const uint8_t* data, size_t size) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    return std::vector<uint8_t>(data, data + size);
#endif
    if (size < 10 || data[0] != 'X' || data[1] != 'P' || data[2] != 'N' || data[3] != 'D')
        return std::vector<uint8_t>(data, data + size);
    uint32_t total = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 | uint32_t(data[7]) << 24;
    size_t headLength = size_t(data[8]) | size_t(data[9]) << 8;
    if (total > MAX_EXPANDED_BYTES) total = MAX_EXPANDED_BYTES;
    const uint8_t* rest = data + 10;
    size_t restSize = size - 10;
    if (headLength > restSize) headLength = restSize;
    std::vector<uint8_t> out(rest, rest + headLength);
    const uint8_t* pattern = rest + headLength;
    size_t patternSize = restSize - headLength;
    if (out.size() < total) {
        out.resize(total, 0);
        if (patternSize > 0)
            for (size_t i = headLength, k = 0; i < total; ++i, k = k + 1 == patternSize ? 0 : k + 1) out[i] = pattern[k];
    }
    return out;
}

int OpenFuzzStoryFolder() {
    const std::string& f = FuzzFolder();
    std::filesystem::create_directories(f + "/bmp");
    std::vector<uint8_t> window = FuzzBmp(640, 480), system = FuzzBmp(320, 240), small = FuzzBmp(48, 40);
    const std::string text =
        "tx0Spring.<*A second page,</and a second line.<!\n"
        "tx1<wv6Thump.<+<+then<!\n"
        "tx2A message with no end\n"
        "tx3Tell me.<!\n"
        "tx#Short.<!\n"
        "tx{first-1}Yes<!\ntx{first-2}No<!\ntx{first-3}Perhaps<!\ntx{first-4}Later<!\n"
        "tx{teacher}Teacher<!\n"
        "tx{credits}Staff</</Story</Pictures</</</Music<!\n"
        "tx{the-end}The end<!\n";
    if (!WriteBytes(f + "/game_w.BMP", window.data(), window.size()) ||
        !WriteBytes(f + "/System.BMP", system.data(), system.size()) ||
        !WriteBytes(f + "/bmp/stage1.BMP", small.data(), small.size()) ||
        !WriteBytes(f + "/bmp/sensei.BMP", small.data(), small.size()) ||
        !WriteBytes(f + "/data.txt", reinterpret_cast<const uint8_t*>(text.data()), text.size()))
        return 0;
    std::error_code error;
    std::filesystem::path home = std::filesystem::current_path(error);
    if (error || chdir(f.c_str()) != 0) return 0;
    LoadScriptText(app.mainWindow);
    if (chdir(home.c_str()) != 0 || !message.scriptText) return 0;
    LoadFuzzStartingSheets();
    return 1;
}

void LoadFuzzStartingSheets() {
    const std::string& f = FuzzFolder();
    LoadSheet(&display.windowSheet, (f + "/game_w.BMP").c_str());
    LoadSheet(&display.charSheet, (f + "/bmp/sensei.BMP").c_str());
    LoadSheet(&display.systemSheet, (f + "/System.BMP").c_str());
    LoadSheet(&display.bgSheet, (f + "/bmp/stage1.BMP").c_str());
    SetSheetColorKeys(app.mainWindow);
}

void BeginFuzzScript(ScriptProgram&& program) {
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
    std::copy(sheets, sheets + 4, runSheets);
    runPalette = display.displayPalette;
}

void EndFuzzScript() {
    AbandonMessage(app.mainWindow);
    ShowOverlayLine(nullptr);
    scriptPlayer = ScriptPlayer{};
    bool same = display.displayPalette == runPalette;
    Surface* now[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    for (int i = 0; i < 4; ++i) same = same && now[i] == runSheets[i];
    if (!same) {
        RenewFuzzDisplay();
        LoadFuzzStartingSheets();
    } else {
        WritePaletteEntries(display.displayPalette, display.masterPalette);
    }
    Message posted;
    while (PeekWindowMessage(&posted)) GetWindowMessage(&posted);
}

FuzzScriptInput SplitFuzzScript(const uint8_t* data, size_t size) {
    constexpr size_t MAX_FILES = 9;
    FuzzScriptInput in;
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

bool PlainFuzzName(const std::string& name) {
    if (name.empty() || name.size() > 32 || name[0] == '.') return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) return false;
    return true;
}

int ReadFuzzScript(const FuzzScriptInput& in, ScriptProgram* program) {
    ScriptFileReader reader = [&in](const std::string& name, std::string* text, std::string* why) {
        for (const auto& [file, bytes] : in.files)
            if (file == name) {
                *text = bytes;
                return 1;
            }
        *why = "no such file in the story folder";
        return 0;
    };
    if (ReadScript("scenes.txt", reader, program)) return 1;
    for (const ScriptProblem& problem : program->problems) ProblemText(problem);
    return 0;
}
