#include "test_support.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "app/hooks.h"
#include "platform/platform.h"
#include "run_program.h"
#include "story/story.h"

void OpenTestDisplay(const PaletteEntry palette[256]) {
    app = AppState{};
    app.mainWindow = 1;
    app.appActive = app.displayActive = 1;
    display = DisplayState{};
    spriteState = SpriteState{};
    story = StoryState{};
    hooks.beforeScene = nullptr;
    input = InputState{};
    ASSERT_TRUE(DisplayCreate());
    display.device = 1;
    ASSERT_TRUE(DisplaySetCooperativeLevel(1));
    ASSERT_TRUE(DisplaySetMode(640, 480, 8));
    display.primary = CreatePrimarySurface(1);
    display.backBuffer = GetBackBuffer(display.primary);
    display.clipper = CreateClipper();
    ClipperSetWindow(display.clipper, 1);
    SurfaceSetClipper(display.backBuffer, display.clipper);
    display.displayPalette = CreateSurfacePalette(palette);
    AttachPalette(display.primary, display.displayPalette);
    spriteState.baseRect = {0, 0, 640, 480};
}

void DisplayTest::SetUp() {
    std::string error;
    PlatformOptions options;
    options.headless = true;
    ASSERT_TRUE(PlatformStart(options, &error)) << error;
    std::vector<PaletteEntry> black(256, PaletteEntry{0, 0, 0, 0});
    OpenTestDisplay(black.data());
}

void DisplayTest::TearDown() {
    DisplayRelease();
    display = DisplayState{};
    PlatformStop();
}

void DisplayTest::SetDisplayPalette(const std::vector<PaletteEntry>& entries) {
    PaletteEntry all[256] = {};
    for (size_t i = 0; i < entries.size() && i < 256; ++i) all[i] = entries[i];
    WritePaletteEntries(display.displayPalette, all);
}

PaletteEntry DisplayTest::DisplayEntry(int index) {
    PaletteEntry all[256];
    ReadPaletteEntries(display.displayPalette, all);
    return all[index];
}

std::vector<uint8_t> MakeBmp(int width, int height, const std::vector<uint8_t>& pixels,
                             const std::vector<PaletteEntry>& table, int colours) {
    int stride = (width + 3) & ~3;
    uint32_t tableBytes = uint32_t(colours) * 4;
    uint32_t offset = 14 + 40 + tableBytes;
    uint32_t size = offset + uint32_t(stride * height);
    std::vector<uint8_t> out(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    out[26] = 1;
    out[28] = 8;
    put32(46, colours == 256 ? 0 : uint32_t(colours));
    for (int i = 0; i < colours; ++i) {
        PaletteEntry e = i < int(table.size()) ? table[i] : PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        out[54 + i * 4] = e.blue;
        out[54 + i * 4 + 1] = e.green;
        out[54 + i * 4 + 2] = e.red;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[offset + size_t(height - 1 - y) * stride + x] = pixels.empty() ? 0 : pixels[size_t(y) * width + x];
    return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(WriteBytes(path, bytes)) << path;
}

void FillSurface(Surface* surface, int index) {
    Rect all{0, 0, SurfaceWidth(surface), SurfaceHeight(surface)};
    FillSurfaceRect(surface, &all, index);
}

std::vector<uint8_t> SurfacePixels(Surface* surface) {
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    std::vector<uint8_t> out;
    if (!pixels) return out;
    int width = SurfaceWidth(surface), height = SurfaceHeight(surface);
    for (int y = 0; y < height; y++) out.insert(out.end(), pixels + y * pitch, pixels + y * pitch + width);
    UnlockSurface(surface);
    return out;
}

std::string MakeTempDir(const std::string& name) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kirake-tests-" + std::to_string(ThisProcessId())) / name;
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir, error);
    return dir.generic_string();
}

void CopyFolder(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
        fs::path target = fs::path(to) / fs::relative(entry.path(), from);
        if (entry.is_directory()) {
            fs::create_directories(target);
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out << in.rdbuf();
        }
    }
}

int RunKirake(const std::vector<std::string>& arguments, std::string* errors) {
    ProcessOptions options;
    options.errors = MakeTempDir("stderr") + "/err.txt";
    std::vector<std::string> command = {KIRAKE_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int status = RunProcess(command, options).status;
    if (errors) *errors = ReadText(options.errors);
    return status;
}

std::string LeakCheckOff() {
    const char* options = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (options ? options : "") + ":detect_leaks=0";
}

std::vector<std::string> Words(const std::string& options) {
    std::vector<std::string> words;
    std::istringstream in(options);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

namespace {
// Removes `"key":VALUE,` where VALUE is a number, a string or a flat object.
void EraseField(std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return;
    size_t end = at + key.size() + 3;
    if (end < line.size() && line[end] == '"') end = line.find('"', end + 1) + 1;
    else if (end < line.size() && line[end] == '{') end = line.find('}', end) + 1;
    else end = line.find_first_of(",}", end);
    if (end < line.size() && line[end] == ',') ++end;
    line.erase(at, end - at);
}
}  // namespace

std::string WithoutStoryPosition(const std::string& line) {
    std::string out = line;
    // The fields follow "frame": "chapter" and "step", or "scene"; then, after "pressed", "firstAnswer"
    // and "goodEnding", or "vars".
    for (const char* key : {"chapter", "scene", "firstAnswer", "vars"}) {
        size_t at = out.find(std::string("\"") + key + "\":");
        if (at == std::string::npos) continue;
        EraseField(out, key);
        if (key == std::string("chapter") && out.compare(at, 7, "\"step\":") == 0) EraseField(out, "step");
        if (key == std::string("firstAnswer") && out.compare(at, 13, "\"goodEnding\":") == 0) EraseField(out, "goodEnding");
    }
    return out;
}

namespace {
// Where two lines first differ, with a little of each around it.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = i > 40 ? i - 40 : 0;
    return "at byte " + std::to_string(i) + ":\n  " + a.substr(from, 100) + "\n  " + b.substr(from, 100);
}
}  // namespace

StoryRuns RunBothStories(const std::string& data, const std::vector<std::string>& arguments,
                         const std::string& captures, const std::string& scriptStart) {
    StoryRuns runs;
    for (int script = 0; script < 2; ++script) {
        std::string dir = MakeTempDir(script ? "story-script" : "story-builtin");
        std::vector<std::string> command = {"--headless", "--data", data, "--trace", dir + "/trace.jsonl",
                                            "--record-audio", dir + "/sound.wav"};
        if (!script) command.push_back("--builtin-story");
        if (!captures.empty()) command.insert(command.end(), {"--capture", captures, "--capture-dir", dir});
        for (size_t i = 0; i < arguments.size(); ++i) {
            bool start = arguments[i] == "--start" && i + 1 < arguments.size();
            command.push_back(arguments[i]);
            if (start) command.push_back(script && !scriptStart.empty() ? scriptStart : arguments[i + 1]), ++i;
        }
        (script ? runs.scriptCode : runs.builtinCode) = RunKirake(command);
        (script ? runs.scriptTrace : runs.builtinTrace) = ReadLines(dir + "/trace.jsonl");
        (script ? runs.scriptDir : runs.builtinDir) = dir;
    }
    return runs;
}

void ExpectSameStory(const StoryRuns& runs, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(runs.builtinCode, runs.scriptCode);
    ASSERT_EQ(runs.builtinTrace.size(), runs.scriptTrace.size());
    for (size_t i = 0; i < runs.builtinTrace.size(); ++i) {
        ASSERT_NE(runs.scriptTrace[i].find("\"scene\":"), std::string::npos) << "the script did not play";
        std::string a = WithoutStoryPosition(runs.builtinTrace[i]), b = WithoutStoryPosition(runs.scriptTrace[i]);
        ASSERT_TRUE(a == b) << "frame " << i << " " << FirstDifference(a, b);
    }
    size_t pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(runs.builtinDir)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("frame-", 0) != 0) continue;
        ++pages;
        EXPECT_EQ(ReadText(entry.path().string()), ReadText(runs.scriptDir + "/" + name)) << name;
    }
    std::string sound = ReadText(runs.builtinDir + "/sound.wav");
    EXPECT_EQ(sound.size(), ReadText(runs.scriptDir + "/sound.wav").size());
    EXPECT_TRUE(sound == ReadText(runs.scriptDir + "/sound.wav")) << "the recorded sound differs";
    if (!runs.builtinTrace.empty()) {
        EXPECT_GT(pages, 0u) << "no captures to compare";
    }
}

namespace authoring {

std::string ToolPath(const std::string& folder, const std::string& name) {
    fs::path nested = fs::path(KIRAKE_TOOLS_DIR) / folder / ExecutableName(name);
    if (fs::exists(nested)) return nested.string();
    return (fs::path(KIRAKE_TOOLS_DIR) / ExecutableName(name)).string();
}

RunResult RunTool(const std::vector<std::string>& args, ProcessOptions options) {
    options.capture = true;
    return RunProcess(args, options);
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("kirake-authoring-" + std::to_string(ThisProcessId()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

}  // namespace authoring
