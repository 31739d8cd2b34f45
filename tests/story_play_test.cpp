// Whole playthroughs of the story on the headless backend: a player drives the keys from inside the frame
// loop (a child process running WinMain), writes the key script it used, and the trace and per-frame story
// snapshots are checked frame by frame. The same key script replayed through the kirake binary gives the
// same trace.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include "../tools/common/wav58.h"
#include "story/random.h"
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "app/hooks.h"
#include "platform/platform.h"
#include "run_program.h"
#include "story/script.h"
#include "story/story.h"
#include "story/tables.h"
#include "test_support.h"
#include "text/text.h"

namespace {

// ---- Test data: pictures of known colours, short messages, silent effects ----

// Every picture's colour table; entry 101 differs in the files whose palette the ending installs.
PaletteEntry BaseColour(int i) {
    if (i == 0) return {0, 0, 0, 0};
    return {uint8_t(i * 97), uint8_t(i * 57 + 40), uint8_t(i * 151), 0};
}
const std::map<std::string, PaletteEntry> paletteMarks = {
    {"hiyorin.BMP", {255, 0, 0, 0}}, {"Heren3.BMP", {0, 255, 0, 0}},
    {"fuuya.BMP", {0, 0, 255, 0}},   {"sakura.BMP", {255, 255, 0, 0}},
};
constexpr int MARK_ENTRY = 101;

// The fill index of each picture: it identifies the picture a sheet holds.
const std::map<std::string, int> pictureIds = {
    {"game_w.BMP", 40},  {"black.BMP", 0},     {"ochi.BMP", 41},    {"game_w2.BMP", 42},  {"happy.BMP", 43},
    {"ijyou.BMP", 44},   {"sakura.BMP", 45},   {"stage1.BMP", 50},  {"stage2.BMP", 51},   {"stage3.BMP", 52},
    {"sensei.BMP", 60},  {"hiyori.BMP", 61},   {"heren.BMP", 62},   {"fuuya1.BMP", 63},   {"hiyori2.BMP", 64},
    {"heren2.BMP", 65},  {"fuuya2.BMP", 66},   {"hiyorin.BMP", 67}, {"Heren3.BMP", 68},   {"fuuya.BMP", 69},
    {"system.BMP", 70},  {"system2.BMP", 71},
};
// Where a sheet's identifying pixel lies (the system sheet's corner of the top-left is its message box).
constexpr int ID_X = 2, ID_Y = 2, SYSTEM_ID_X = 620, SYSTEM_ID_Y = 460;

struct Canvas {
    int width, height;
    std::vector<uint8_t> pixels;
    Canvas(int w, int h, int fill) : width(w), height(h), pixels(size_t(w) * h, uint8_t(fill)) {}
    void Fill(int left, int top, int right, int bottom, int index) {
        for (int y = top; y < bottom && y < height; ++y)
            for (int x = left; x < right && x < width; ++x) pixels[size_t(y) * width + x] = uint8_t(index);
    }
};

void WritePicture(const std::string& dir, const std::string& name, const Canvas& canvas) {
    std::vector<PaletteEntry> table(256);
    for (int i = 0; i < 256; ++i) table[i] = BaseColour(i);
    auto mark = paletteMarks.find(name);
    if (mark != paletteMarks.end()) table[MARK_ENTRY] = mark->second;
    WriteFile(dir + "/" + name, MakeBmp(canvas.width, canvas.height, canvas.pixels, table));
}

void WriteStoryData(const std::string& dir) {
    for (const char* name : {"game_w.BMP", "black.BMP", "ochi.BMP", "game_w2.BMP", "happy.BMP", "ijyou.BMP",
                             "sakura.BMP"}) {
        int id = pictureIds.at(name);
        Canvas c(640, 480, id);
        if (id) c.Fill(0, 0, 640, 8, 246), c.Fill(0, 472, 640, 480, 246);  // bands seen during the title
        c.Fill(ID_X, ID_Y, ID_X + 1, ID_Y + 1, id);
        WritePicture(dir, name, c);
    }
    for (const char* name : {"stage1.BMP", "stage2.BMP", "stage3.BMP"}) {
        Canvas c(512, 272, pictureIds.at(name));
        c.Fill(0, 200, 512, 272, 20);  // a floor
        WritePicture(dir, name, c);
    }
    for (const char* name : {"sensei.BMP", "hiyori.BMP", "heren.BMP", "fuuya1.BMP", "hiyori2.BMP", "heren2.BMP",
                             "fuuya2.BMP"}) {
        Canvas c(512, 272, COLOR_KEY);
        c.Fill(0, 0, 8, 8, pictureIds.at(name));
        c.Fill(196, 40, 316, 272, pictureIds.at(name));  // the partner's figure, the stage around it
        c.Fill(226, 60, 286, 110, 25);
        WritePicture(dir, name, c);
    }
    for (const char* name : {"hiyorin.BMP", "Heren3.BMP", "fuuya.BMP"}) {
        Canvas c(300, 300, pictureIds.at(name));
        c.Fill(50, 50, 250, 300, MARK_ENTRY);
        WritePicture(dir, name, c);
    }
    for (const char* name : {"system.BMP", "system2.BMP"}) {
        bool second = std::string(name) == "system2.BMP";
        Canvas c(640, 480, COLOR_KEY);
        c.Fill(0, 0, 542, 106, 30);                  // the empty message box
        c.Fill(0, 108, 120, 195, 245);               // title piece 5
        c.Fill(0, 202, 500, 260, 244);               // title piece 4
        c.Fill(134, 117, 227, 193, 241);             // title piece 1
        c.Fill(233, 108, 424, 154, 242);             // title piece 2
        c.Fill(229, 156, 504, 199, 243);             // title piece 3
        for (int row = 0; row < 4; ++row)            // caption strips at y 256, 288, 320, 352
            c.Fill(0, 256 + 32 * row, 263, 288 + 32 * row, (second ? 214 : 210) + row);
        for (int col = 0; col < 3; ++col) {          // cursor cells: key wait (row 0), choice (row 1)
            c.Fill(544 + 32 * col + 4, 4, 544 + 32 * col + 28, 28, 250 + col);
            c.Fill(544 + 32 * col + 4, 36, 544 + 32 * col + 28, 60, 253 + col);
        }
        c.Fill(600, 440, 640, 480, pictureIds.at(name));
        WritePicture(dir, name, c);
    }
    std::string text;
    const char ids[] = "0123456789#$%&:-?,.";
    for (const char* id = ids; *id; ++id) {
        std::string body = std::string("Message ") + *id + " is short.";
        if (*id == '0') body = "Opening line one</and line two.";
        if (*id == '3' || *id == '6' || *id == '$' || *id == '?') body = "Which one will you pick?";
        text += std::string("tx") + *id + body + "<!\r\n";
    }
    std::vector<uint8_t> bytes(text.begin(), text.end());
    WriteFile(dir + "/data.txt", bytes);
    const char* effects[] = {"End.wav", "Crash.wav", "Houtyo.wav", "Han.wav",
                             "mag.wav", "messg.wav", "hako3.wav",  "punch3.wav"};
    for (const char* name : effects) WriteFile(dir + "/" + name, MakeWav58(1, 22050, 8, std::vector<uint8_t>(64, 128)));
}

// ---- The player: keys decided from the story's state, frame by frame ----

struct Move {
    uint16_t keys;
    int expectChoice;  // the highlighted answer after the move (-1: confirmed, not checked here)
};

struct Plan {
    const char* name;
    int titleKeyAt;            // frame of the title step at which a key goes down
    std::vector<int> ignoredTitleKeys;  // title-step frames of key presses that must not count
    int firstAnswer;
    std::vector<Move> firstMoves;  // the last one holds Space
    std::vector<Move> routeMoves;  // before Space, which waits for a draw with the wanted outcome
    int routeAnswer;
    bool wantMatch;
};

void PrintTo(const Plan& plan, std::ostream* os) { *os << plan.name; }

struct Snapshot {
    long frame;
    StoryState story;
    int keyWait, messageFound;
    SpriteSlot slots[14];
    int sheetId[4];  // window, character, system, background (-1: no surface)
    int staleShown;  // an active slot whose surface is none of the four current sheets
    int ink, inkTop, inkBottom;  // credits column of the window sheet: pixels not of the wipe colour
};

struct Player {
    const Plan* plan;
    FILE* script;
    std::vector<Snapshot> snaps;
    uint16_t lastTap;
    int stepFrames;  // frames run in the current (chapter, step)
    int lastChapter = -1, lastStep = -1;
    size_t moveIndex;
    int typingFrames;
    int stoppedFrames;
    bool closing;
};
Player player;

const std::pair<uint16_t, const char*> keyNames[] = {
    {KEY_LEFT, "left"}, {KEY_RIGHT, "right"}, {KEY_UP, "up"},     {KEY_DOWN, "down"}, {KEY_Z, "z"},  {KEY_X, "x"},
    {KEY_C, "c"},       {KEY_V, "v"},         {KEY_SPACE, "space"}, {KEY_F1, "f1"},   {KEY_F2, "f2"},
};

int PixelOf(Surface* sheet, int x, int y) {
    if (!sheet || x >= SurfaceWidth(sheet) || y >= SurfaceHeight(sheet)) return -1;
    int pitch = 0;
    uint8_t* pixels = LockSurface(sheet, &pitch);
    if (!pixels) return -1;
    int value = pixels[size_t(y) * pitch + x];
    UnlockSurface(sheet);
    return value;
}

Snapshot TakeSnapshot(long frame) {
    Snapshot s{};
    s.frame = frame;
    s.story = story;
    s.keyWait = message.keyWait;
    s.messageFound = message.messageFound;
    for (int i = 0; i < 14; ++i) s.slots[i] = sprites[i];
    s.sheetId[0] = PixelOf(display.windowSheet, ID_X, ID_Y);
    s.sheetId[1] = PixelOf(display.charSheet, ID_X, ID_Y);
    s.sheetId[2] = PixelOf(display.systemSheet, SYSTEM_ID_X, SYSTEM_ID_Y);
    s.sheetId[3] = PixelOf(display.bgSheet, ID_X, ID_Y);
    for (int i = 0; i < 256; ++i) {
        Surface* surface = sprites[i].surface;
        if (sprites[i].active == 1 && surface != display.windowSheet && surface != display.charSheet &&
            surface != display.systemSheet && surface != display.bgSheet)
            s.staleShown = 1;
    }
    s.inkTop = 480;
    s.inkBottom = -1;
    if (story.chapter == 5 && story.endingStep == 2 && display.windowSheet) {
        int pitch = 0;
        if (uint8_t* pixels = LockSurface(display.windowSheet, &pitch)) {
            int w = SurfaceWidth(display.windowSheet), h = SurfaceHeight(display.windowSheet);
            for (int y = 0; y < h; ++y)
                for (int x = CREDITS_X; x < w; ++x)
                    if (pixels[size_t(y) * pitch + x] != 220) {
                        s.ink++;
                        if (y < s.inkTop) s.inkTop = y;
                        s.inkBottom = y;
                    }
            UnlockSurface(display.windowSheet);
        }
    }
    return s;
}

int Draw(int64_t time) {
    StorySeed(unsigned(time));
    return StoryRandom() % 3;
}

uint16_t Decide(long frame) {
    const Plan& plan = *player.plan;
    int chapter = story.chapter, step = CurrentStep();
    if (chapter != player.lastChapter || step != player.lastStep) {
        player.stepFrames = 0;
        player.moveIndex = 0;
        player.typingFrames = 0;
        player.lastChapter = chapter;
        player.lastStep = step;
    }
    int inStep = player.stepFrames++;
    if (player.lastTap) return 0;  // every tap is followed by a frame without keys
    if (chapter == 0 && step == 1) {
        for (int at : plan.ignoredTitleKeys)
            if (inStep == at) return KEY_X;
        return inStep == plan.titleKeyAt ? KEY_C : 0;
    }
    if (message.keyWait == 1) return KEY_Z;
    bool typing = message.messageFound == 1 && message.keyWait == 0;
    if (chapter == 1 && step == 2) return inStep == 10 || inStep == 20 ? KEY_SPACE : 0;
    if (chapter == 1 && step == 5) {
        if (story.choiceState == 0) {
            if (typing && ++player.typingFrames == 3) return KEY_SPACE | KEY_DOWN;
            return 0;
        }
        return player.moveIndex < plan.firstMoves.size() ? plan.firstMoves[player.moveIndex++].keys : 0;
    }
    if (chapter >= 2 && chapter <= 4 && step == 0) {
        const StoryState::Route& route = story.routes[chapter - 2];
        if (route.routeState == 3) {
            if (typing && ++player.typingFrames == 3) return KEY_SPACE | KEY_UP;
            return 0;
        }
        if (route.routeState != 4) return 0;
        if (player.moveIndex < plan.routeMoves.size()) return plan.routeMoves[player.moveIndex++].keys;
        bool match = Draw(GetCalendarTime()) == route.routeChoice;
        return match == plan.wantMatch ? KEY_SPACE : 0;
    }
    if (chapter == 5 && step == 1) return inStep == 5 || inStep == 12 ? KEY_SPACE : 0;
    return 0;
}

void PlayerHook(Window window) {
    long frame = PlatformFrameNumber();
    if (frame > 0) player.snaps.push_back(TakeSnapshot(frame - 1));
    uint16_t tap = player.closing ? 0 : Decide(frame);
    keysHeld = tap;
    keysPressed = tap;
    player.lastTap = tap;
    if (tap) {
        std::fprintf(player.script, "%ld press", frame);
        for (auto& [bit, name] : keyNames)
            if (tap & bit) std::fprintf(player.script, " %s", name);
        std::fprintf(player.script, "\n");
    }
    if (story.chapter == 5 && story.endingStep == 2 && story.rollDone == 1 && story.rollScroll == 320 &&
        ++player.stoppedFrames == 20 && !player.closing) {
        player.closing = true;
        std::fprintf(player.script, "%ld escape\n", frame + 1);
        PostClose(window);
    }
}

struct PlayResult {
    int exitCode;
    std::vector<std::string> trace;
    std::vector<Snapshot> snaps;
    std::string scriptPath, tracePath;
};

// Plays the plan in this process on the data folder: the player drives WinMain; the key script, trace and
// snapshots go to `out`. Returns the program's exit code.
int PlayHere(const Plan& plan, const std::string& data, const std::string& out) {
    player = Player{};
    player.plan = &plan;
    player.script = std::fopen((out + "/keys.txt").c_str(), "w");
    hooks.beforeScene = PlayerHook;
    PlatformOptions options;
    options.headless = true;
    options.frames = 20000;  // a stuck run ends here
    UseBuiltinStory(1);      // the player reads the built-in story's state
    std::string error;
    std::error_code entered;
    std::filesystem::current_path(data, entered);
    if (!player.script || entered || !PlatformStart(options, &error) ||
        !OpenTrace((out + "/trace.jsonl").c_str()))
        return 90;
    int code = WinMain();
    CloseTrace();
    PlatformStop();
    std::fclose(player.script);
    FILE* f = std::fopen((out + "/snaps.bin").c_str(), "wb");
    if (!f) return 91;
    std::fwrite(player.snaps.data(), sizeof(Snapshot), player.snaps.size(), f);
    std::fclose(f);
    return code;
}

// Plays the plan in a fresh process: the test binary runs itself again with the plan named in its
// environment (see PlayerProcess below), so no state or thread of earlier tests is carried over.
PlayResult PlayInChild(const Plan& plan, const std::string& data, const std::string& out) {
    PlayResult run;
    run.scriptPath = out + "/keys.txt";
    run.tracePath = out + "/trace.jsonl";
    ProcessOptions options;
    options.errors = out + "/errors.txt";
    options.environment = {std::string("KIRAKE_STORY_PLAN=") + plan.name, "KIRAKE_STORY_DATA=" + data,
                           "KIRAKE_STORY_OUT=" + out};
    run.exitCode = RunProcess({ThisProgram(), "--gtest_filter=StoryTitle.*"}, options).status;
    run.trace = ReadLines(run.tracePath);
    std::ifstream in(out + "/snaps.bin", std::ios::binary);
    Snapshot s;
    while (in.read(reinterpret_cast<char*>(&s), sizeof s)) run.snaps.push_back(s);
    return run;
}

// ---- Reading the trace ----

struct TraceFrame {
    long frame;
    int chapter, step, pressed, firstAnswer, goodEnding;
    std::vector<int> sprites, plays;  // plays: effect slots only
    std::string palette;
    bool Shows(int slot) const {
        for (int s : sprites)
            if (s == slot) return true;
        return false;
    }
    // Palette entry as 0xRRGGBB.
    int Entry(int i) const { return int(std::strtol(palette.substr(size_t(i) * 8, 6).c_str(), nullptr, 16)); }
};

// A number of the trace line; -99 when it has none.
long IntField(const std::string& line, const std::string& key) { return TraceNumber(line, key, -99); }

std::vector<int> ArrayField(const std::string& line, const std::string& key) {
    std::vector<int> values;
    size_t at = line.find("\"" + key + "\":[");
    if (at == std::string::npos) return values;
    const char* p = line.c_str() + at + key.size() + 4;
    while (*p && *p != ']') {
        char* end;
        values.push_back(int(std::strtol(p, &end, 10)));
        p = *end == ',' ? end + 1 : end;
    }
    return values;
}

std::vector<TraceFrame> ParseTrace(const std::vector<std::string>& lines) {
    std::vector<TraceFrame> frames;
    for (const std::string& line : lines) {
        TraceFrame f;
        f.frame = IntField(line, "frame");
        f.chapter = int(IntField(line, "chapter"));
        f.step = int(IntField(line, "step"));
        f.pressed = int(IntField(line, "pressed"));
        f.firstAnswer = int(IntField(line, "firstAnswer"));
        f.goodEnding = int(IntField(line, "goodEnding"));
        f.sprites = ArrayField(line, "sprites");
        for (int slot : ArrayField(line, "plays"))
            if (slot < 8) f.plays.push_back(slot);  // the effects; song voices strike from slot 400 on
        size_t at = line.find("\"palette\":\"");
        if (at != std::string::npos) f.palette = line.substr(at + 11, 256 * 8);
        frames.push_back(f);
    }
    return frames;
}

// The playthrough checked: the (chapter, step) whose handler ran at frame F is the trace's state after F - 1.
class Timeline {
public:
    Timeline(const std::vector<TraceFrame>& t, const std::vector<Snapshot>& s) : trace(t), snaps(s) {}
    std::pair<int, int> Ran(long f) const {
        return f == 0 ? std::make_pair(0, 0) : std::make_pair(trace[f - 1].chapter, trace[f - 1].step);
    }
    // First frame at which the handler of (chapter, step) ran; -1 if never.
    long FirstRun(int chapter, int step) const {
        for (long f = 0; f < long(trace.size()); ++f)
            if (Ran(f) == std::make_pair(chapter, step)) return f;
        return -1;
    }
    long LastRun(int chapter, int step) const {
        long last = -1;
        for (long f = 0; f < long(trace.size()); ++f)
            if (Ran(f) == std::make_pair(chapter, step)) last = f;
        return last;
    }
    // Frames at which a story counter changed, as [first, last] and how many.
    template <typename Get>
    std::vector<long> ChangeFrames(Get get) const {
        std::vector<long> frames;
        for (size_t i = 0; i < snaps.size(); ++i) {
            int before = i == 0 ? 0 : get(snaps[i - 1]);
            if (get(snaps[i]) != before) frames.push_back(snaps[i].frame);
        }
        return frames;
    }
    const std::vector<TraceFrame>& trace;
    const std::vector<Snapshot>& snaps;
};

// Expects the counter to change on exactly `count` consecutive frames starting at `first`.
template <typename Get>
void ExpectRun(const Timeline& t, const char* what, Get get, long first, long count) {
    std::vector<long> frames = t.ChangeFrames(get);
    ASSERT_EQ(long(frames.size()), count) << what;
    EXPECT_EQ(frames.front(), first) << what;
    EXPECT_EQ(frames.back(), first + count - 1) << what;
}

const std::vector<Plan>& Plans() {
    static const std::vector<Plan> plans = {
        // Answer 0: Up wraps to the bottom, Down wraps to the top, Up+Down cancel, Space.
        {"hiyori_match", 300, {100, 159}, 0, {{KEY_UP, 2}, {KEY_DOWN, 0}, {KEY_UP | KEY_DOWN, 0}, {KEY_SPACE, -1}},
         {{KEY_UP, 2}, {KEY_DOWN, 0}}, 0, true},
        {"hiyori_miss", 160, {}, 0, {{KEY_SPACE, -1}}, {{KEY_DOWN, 1}, {KEY_DOWN, 2}}, 2, false},
        // Answer 1: Down, Down, Up+Down, then Up with Space confirms the moved answer.
        {"heren_match", 300, {}, 1, {{KEY_DOWN, 1}, {KEY_DOWN, 2}, {KEY_UP | KEY_DOWN, 2}, {KEY_UP | KEY_SPACE, -1}},
         {{KEY_DOWN, 1}}, 1, true},
        {"heren_miss", 300, {}, 1, {{KEY_DOWN, 1}, {KEY_SPACE, -1}}, {{KEY_UP, 2}, {KEY_UP, 1}, {KEY_UP, 0}}, 0,
         false},
        // Answer 2: Up wraps to the bottom; Down with Space confirms after the move (2 -> 0 would be wrong).
        {"fuuya_match", 300, {}, 2, {{KEY_UP, 2}, {KEY_SPACE, -1}}, {{KEY_UP, 2}}, 2, true},
        {"fuuya_miss", 300, {}, 2, {{KEY_DOWN, 1}, {KEY_DOWN | KEY_SPACE, -1}}, {{KEY_DOWN | KEY_UP, 0}}, 0, false},
    };
    return plans;
}

// In a process started by PlayInChild: plays the named plan before any test runs, then exits with the
// program's exit code.
class PlayerProcess : public ::testing::Environment {
public:
    void SetUp() override {
        const char* name = std::getenv("KIRAKE_STORY_PLAN");
        const char* data = std::getenv("KIRAKE_STORY_DATA");
        const char* out = std::getenv("KIRAKE_STORY_OUT");
        if (!name) return;
        for (const Plan& plan : Plans())
            if (data && out && plan.name == std::string(name)) std::_Exit(PlayHere(plan, data, out));
        std::_Exit(93);
    }
};
::testing::Environment* const playerProcess = ::testing::AddGlobalTestEnvironment(new PlayerProcess);

std::string DataDir() {
    static std::string dir;
    if (dir.empty()) {
        dir = MakeTempDir("story-data");
        WriteStoryData(dir);
    }
    return dir;
}

std::vector<std::string> ScriptBefore(const std::string& path, long frame) {
    std::vector<std::string> kept;
    for (const std::string& line : ReadLines(path))
        if (std::strtol(line.c_str(), nullptr, 10) < frame) kept.push_back(line);
    return kept;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream out(path);
    for (const std::string& line : lines) out << line << "\n";
}

using Path = std::vector<std::pair<int, int>>;

Path ExpectedPath(const Plan& plan) {
    int route = 2 + plan.firstAnswer;
    return {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 3},
            {1, 4}, {1, 5}, {route, 0}, {route, plan.wantMatch ? 1 : 2}, {5, 0}, {5, 1}, {5, 2}};
}

// The (chapter, step) handlers in the order they ran.
Path PathOf(const Timeline& t) {
    Path seen;
    for (long f = 0; f < long(t.trace.size()); ++f)
        if (seen.empty() || seen.back() != t.Ran(f)) seen.push_back(t.Ran(f));
    return seen;
}

// Expected caption strip top for the k-th call of its animation (from the start of the outro).
int CaptionTop(long k) {
    if (k < 6) return 352;
    const int tops[] = {320, 288, 256, 352};
    return tops[((k - 6) / 7) % 4];
}

class StoryPlaythrough : public ::testing::TestWithParam<Plan> {};

TEST_P(StoryPlaythrough, PlaysFromTitleToTheEnd) {
    const Plan& plan = GetParam();
    std::string out = MakeTempDir(std::string("story-") + plan.name);
    PlayResult run = PlayInChild(plan, DataDir(), out);
    ASSERT_EQ(run.exitCode, 0);
    std::vector<TraceFrame> trace = ParseTrace(run.trace);
    ASSERT_GT(trace.size(), 2000u);
    ASSERT_EQ(run.snaps.size() + 1, trace.size());
    for (size_t i = 0; i < trace.size(); ++i) ASSERT_EQ(trace[i].frame, long(i));
    Timeline t(trace, run.snaps);
    auto snap = [&](long f) -> const Snapshot& { return run.snaps.at(size_t(f)); };
    for (const Snapshot& s : run.snaps) ASSERT_EQ(s.staleShown, 0) << "a shown slot on a released sheet, frame " << s.frame;

    // Chapter and step only move forward along the story's path.
    int answer = plan.firstAnswer, route = 2 + answer;
    EXPECT_EQ(PathOf(t), ExpectedPath(plan));

    // Title: set-up on frame 0 hides all but the caption; pieces and their sounds at 0, 15, 30, 80, 130.
    EXPECT_EQ(trace[0].sprites, std::vector<int>{13});
    const int pieceFrames[] = {0, 15, 30, 80, 130}, pieceSounds[] = {2, 2, 2, 3, 3};
    for (int i = 0; i < 5; ++i) {
        long f = 1 + pieceFrames[i];
        EXPECT_TRUE(trace[f].Shows(7 + i)) << "piece " << i;
        EXPECT_FALSE(trace[f - 1].Shows(7 + i)) << "piece " << i;
        EXPECT_EQ(trace[f].plays, std::vector<int>{pieceSounds[i]}) << "piece " << i;
    }
    long keyFrame = 1 + plan.titleKeyAt;
    for (long f = 1; f < keyFrame; ++f)
        if (f != 1 && f != 16 && f != 31 && f != 81 && f != 131) {
            EXPECT_TRUE(trace[f].plays.empty()) << f;
        }
    // Nothing counts before frame 160 of the title; the fade-in starts there and runs 91 steps at most.
    EXPECT_EQ(trace[160].palette, trace[1].palette);
    EXPECT_NE(trace[161].palette, trace[160].palette);
    EXPECT_EQ(t.FirstRun(0, 2), keyFrame + 1);
    long titleSteps = std::min<long>(91, keyFrame - 160);
    ExpectRun(t, "title fade", [](const Snapshot& s) { return s.story.titleFadeCount; }, 161, titleSteps);
    // The cross-fade: 87 frames, chapter 1 on the 88th.
    ExpectRun(t, "outro", [](const Snapshot& s) { return s.story.outroCount; }, keyFrame + 1, 87);
    EXPECT_EQ(t.FirstRun(1, 0), keyFrame + 89);
    for (long f = 0; f <= keyFrame + 88; ++f) EXPECT_EQ(trace[f].Entry(240), trace[0].Entry(240));

    // Opening: 27 frames of fade-in, message "0", then "ochi.BMP" and "Han.wav".
    long a = t.FirstRun(1, 1);
    EXPECT_EQ(a, keyFrame + 90);
    ExpectRun(t, "intro fade", [](const Snapshot& s) { return s.story.introFadeCount; }, a, 27);
    long m0 = t.LastRun(1, 1);
    EXPECT_GE(m0, a + 27);
    EXPECT_EQ(trace[m0].plays, std::vector<int>{3});
    EXPECT_EQ(snap(m0).sheetId[0], pictureIds.at("ochi.BMP"));
    EXPECT_EQ(snap(m0 - 1).sheetId[0], pictureIds.at("black.BMP"));
    EXPECT_EQ(snap(m0 - 1).sheetId[2], pictureIds.at("system2.BMP"));
    EXPECT_TRUE(trace[m0 - 1].Shows(13));
    EXPECT_TRUE(trace[m0].sprites.empty());
    // Space, then 53 frames of fade-out (a second Space changes nothing), then the stage.
    long space = t.FirstRun(1, 2) + 10;
    EXPECT_EQ(trace[space].pressed, KEY_SPACE);
    ExpectRun(t, "picture fade", [](const Snapshot& s) { return s.story.pictureFadeCount; }, space + 1, 53);
    long b = t.FirstRun(1, 3);
    EXPECT_EQ(b, space + 55);
    EXPECT_EQ(snap(b - 1).sheetId[0], pictureIds.at("game_w2.BMP"));
    EXPECT_EQ(trace[b - 1].sprites, std::vector<int>{1});
    ExpectRun(t, "stage fade", [](const Snapshot& s) { return s.story.stageFadeCount; }, b, 55);
    long c = t.FirstRun(1, 4);
    EXPECT_GE(c, b + 56);
    EXPECT_EQ(snap(c - 1).sheetId[3], pictureIds.at("stage1.BMP"));
    ExpectRun(t, "teacher fade", [](const Snapshot& s) { return s.story.teacherFadeCount; }, c, 27);
    long d = t.FirstRun(1, 5);
    EXPECT_GE(d, c + 28);
    EXPECT_EQ(trace[d - 1].sprites, (std::vector<int>{1, 2}));
    EXPECT_EQ(snap(d - 1).sheetId[1], pictureIds.at("sensei.BMP"));

    // The first choice: opens the frame after message "3" ends, top answer; the moves as planned.
    long open = -1;
    for (long f = d; f < long(trace.size()) && open < 0; ++f)
        if (trace[f].Shows(5)) open = f;
    ASSERT_GT(open, 0);
    EXPECT_EQ(snap(open).slots[5].destY, 359);
    EXPECT_EQ(snap(open).story.choiceIndex, 0);
    // Space with Down while "3" is typed (not at its wait) changes nothing.
    bool typedOver = false;
    for (long g = d; g < open; ++g) typedOver |= trace[g].pressed == (KEY_SPACE | KEY_DOWN);
    EXPECT_TRUE(typedOver);
    EXPECT_EQ(snap(open).story.chapter, 1);
    long q = t.LastRun(1, 5);
    long f = open + 1;
    for (const Move& move : plan.firstMoves) {
        while (f <= q && trace[f].pressed != move.keys) ++f;
        ASSERT_LE(f, q) << "move not found";
        if (move.expectChoice >= 0) {
            EXPECT_EQ(snap(f).story.choiceIndex, move.expectChoice) << "frame " << f;
            EXPECT_EQ(snap(f).slots[5].destY, 359 + 24 * move.expectChoice) << "frame " << f;
            EXPECT_FALSE(trace[f].Shows(4));
        }
        ++f;
    }
    EXPECT_EQ(trace[q].chapter, route);
    EXPECT_EQ(trace[q].firstAnswer, answer);
    EXPECT_EQ(trace[q - 1].firstAnswer, 0);
    EXPECT_FALSE(trace[q].Shows(5));
    EXPECT_EQ(snap(q).slots[5].destY, 359);
    // The caption's cadence from the start of the outro to the end of chapter 1: a new strip every 7 frames.
    for (long g = keyFrame + 1; g <= q; ++g) {
        ASSERT_EQ(snap(g).slots[13].srcTop, CaptionTop(g - keyFrame - 1)) << "frame " << g;
        ASSERT_EQ(snap(g).slots[13].srcRight, g - keyFrame - 1 < 6 ? 32 : 263) << "frame " << g;
    }

    // The route: opening message, 27 frames of fade-out, the swap, 27 of fade-in, stage and question.
    const RouteRecord& record = routeRecords[answer];
    auto routeOf = [route](const Snapshot& s) { return s.story.routes[route - 2]; };
    long e = -1, swap = -1, choiceOpen = -1;
    for (const Snapshot& s : run.snaps) {
        if (e < 0 && routeOf(s).routeState >= 1) e = s.frame;
        if (swap < 0 && routeOf(s).routeState >= 2) swap = s.frame;
        if (choiceOpen < 0 && routeOf(s).routeState == 4) choiceOpen = s.frame;
    }
    ASSERT_GT(e, q);
    EXPECT_EQ(swap, e + 27);
    EXPECT_NE(trace[e].Entry(5), trace[e - 1].Entry(5));
    ExpectRun(t, "route fades", [route](const Snapshot& s) { return s.story.routes[route - 2].routeFadeCount; }, e, 54);
    EXPECT_EQ(snap(swap - 1).sheetId[3], pictureIds.at("stage1.BMP"));
    EXPECT_EQ(snap(swap).sheetId[1], pictureIds.at(record.partnerPicture));
    EXPECT_EQ(snap(swap).sheetId[3], pictureIds.at(record.stagePicture));
    EXPECT_TRUE(trace[swap].Shows(1));
    EXPECT_FALSE(trace[swap].Shows(2));
    EXPECT_EQ(snap(swap + 26).story.routes[route - 2].routeFadeCount, 27);
    EXPECT_GE(choiceOpen, swap + 27);
    for (long g = e; g <= swap + 27; ++g)
        for (int i = 240; i < 256; ++i) ASSERT_EQ(trace[g].Entry(i), trace[e - 1].Entry(i));
    EXPECT_TRUE(trace[choiceOpen].Shows(2));
    EXPECT_TRUE(trace[choiceOpen].Shows(5));
    EXPECT_EQ(snap(choiceOpen).slots[5].destY, 359);
    EXPECT_EQ(routeOf(snap(choiceOpen)).routeChoice, 0);
    typedOver = false;  // Space with Up while the question is typed
    for (long g = swap + 27; g < choiceOpen; ++g) typedOver |= trace[g].pressed == (KEY_SPACE | KEY_UP);
    EXPECT_TRUE(typedOver);
    long h = t.LastRun(route, 0);
    f = choiceOpen + 1;
    for (const Move& move : plan.routeMoves) {
        while (f <= h && trace[f].pressed != move.keys) ++f;
        ASSERT_LE(f, h);
        EXPECT_EQ(routeOf(snap(f)).routeChoice, move.expectChoice) << f;
        EXPECT_EQ(snap(f).slots[5].destY, 359 + 24 * move.expectChoice) << f;
        ++f;
    }
    EXPECT_EQ(trace[h].pressed & KEY_SPACE, KEY_SPACE);
    EXPECT_EQ(routeOf(snap(h)).routeChoice, plan.routeAnswer);
    EXPECT_EQ(routeOf(snap(h)).routeDraw == plan.routeAnswer, plan.wantMatch);
    EXPECT_FALSE(trace[h].Shows(5));
    // Match: the second partner picture at once; goodEnding with the end of the match message.
    long x = t.LastRun(route, plan.wantMatch ? 1 : 2);
    if (plan.wantMatch) EXPECT_EQ(snap(h + 1).sheetId[1], pictureIds.at(record.matchPicture));
    else EXPECT_EQ(snap(x).sheetId[1], pictureIds.at(record.partnerPicture));
    EXPECT_TRUE(trace[h + 1].Shows(2));
    EXPECT_EQ(trace[x].chapter, 5);
    EXPECT_EQ(trace[x].goodEnding, plan.wantMatch ? 1 : 0);
    EXPECT_EQ(trace[x - 1].goodEnding, 0);

    // Ending: the picture with "End.wav" alone on the screen; Space, 27 frames of fade-out, the switch.
    EXPECT_EQ(t.FirstRun(5, 0), x + 1);
    EXPECT_EQ(trace[x + 1].plays, std::vector<int>{0});
    EXPECT_TRUE(trace[x + 1].sprites.empty());
    EXPECT_EQ(snap(x + 1).sheetId[0], pictureIds.at(plan.wantMatch ? "happy.BMP" : "ijyou.BMP"));
    long y = t.FirstRun(5, 1) + 5;
    EXPECT_EQ(trace[y].pressed, KEY_SPACE);
    ExpectRun(t, "ending fade", [](const Snapshot& s) { return s.story.sequenceFadeCount; }, y + 1, 27);
    long sw = y + 28;
    EXPECT_EQ(t.FirstRun(5, 2), sw + 1);
    const EndingCase& ending = endingCases[plan.wantMatch ? answer : ENDING_MISS];
    EXPECT_EQ(snap(sw).sheetId[0], pictureIds.at("sakura.BMP"));
    EXPECT_EQ(snap(sw).sheetId[1], pictureIds.at(ending.portrait));
    EXPECT_EQ(trace[sw].Shows(6), plan.wantMatch);
    EXPECT_EQ(trace[sw].Entry(MARK_ENTRY), 0);  // all black
    ExpectRun(t, "roll fade", [](const Snapshot& s) { return s.story.rollFadeCount; }, sw + 1, 56);
    PaletteEntry mark = paletteMarks.at(ending.paletteFrom);
    EXPECT_EQ(trace.back().Entry(MARK_ENTRY), mark.red << 16 | mark.green << 8 | mark.blue);
    // The roll: scroll s is drawn on frame z + s; the last credit leaves at 1290, the credits end at 1370,
    // "The End" rises from y 540 and stops at 220 (scroll 320).
    long z = sw + 57;
    EXPECT_EQ(snap(z - 1).story.rollScroll, 0);
    EXPECT_EQ(snap(z).story.rollScroll, 1);
    EXPECT_EQ(snap(z + 1289).story.rollScroll, 1290);
    EXPECT_EQ(snap(z + 1369).story.rollDone, 0);
    EXPECT_EQ(snap(z + 1370).story.rollDone, 1);
    EXPECT_EQ(snap(z + 1370).story.rollScroll, 1);
    EXPECT_EQ(snap(z + 1370 + 319).story.rollScroll, 320);
    EXPECT_EQ(snap(z + 1370 + 320).story.rollScroll, 320);
    EXPECT_EQ(run.snaps.back().story.rollScroll, 320);
    bool textDrawn = snap(z + 600).ink > 0;
    if (textDrawn) {  // once text is drawn: which lines show, read from the credits column
        EXPECT_EQ(snap(z + 60).ink, 0);  // the title line at y 480: not yet
        EXPECT_GT(snap(z + 80).ink, 0);
        EXPECT_GT(snap(z + 1289).ink, 0);
        EXPECT_EQ(snap(z + 1290).ink, 0);  // the last line at y 0: gone
        EXPECT_EQ(snap(z + 1370 + 60).ink, 0);
        EXPECT_GE(run.snaps.back().inkTop, 220);
        EXPECT_LT(run.snaps.back().inkBottom, 262);
        EXPECT_GT(run.snaps.back().inkTop, 0);
    }
    for (long g = sw + 1; g < long(trace.size()); ++g) ASSERT_EQ(trace[g].Shows(6), plan.wantMatch);

    // Esc inside this route's chapter ends the binary's run of the same keys there, with exit code 0.
    long escapeAt = q + 30;
    std::vector<std::string> script = ScriptBefore(run.scriptPath, escapeAt);
    script.push_back(std::to_string(escapeAt) + " escape");
    WriteLines(out + "/escape.txt", script);
    EXPECT_EQ(RunKirake({"--headless", "--data", DataDir(), "--keys", out + "/escape.txt", "--trace",
                         out + "/escape.jsonl"}),
              0);
    std::vector<std::string> lines = ReadLines(out + "/escape.jsonl");
    ASSERT_EQ(long(lines.size()), escapeAt);
    EXPECT_EQ(lines.back(), run.trace[size_t(escapeAt - 1)]);
}

// The data built from the repository's sources plays through every answer and outcome too.
TEST_P(StoryPlaythrough, PlaysTheDefaultDataToTheEnd) {
    const Plan& plan = GetParam();
    std::string data = KIRAKE_DATA_DIR;
    if (!std::filesystem::exists(data + "/data.txt")) GTEST_SKIP() << "no default data at " << data;
    PlayResult run = PlayInChild(plan, data, MakeTempDir(std::string("story-default-") + plan.name));
    ASSERT_EQ(run.exitCode, 0);
    std::vector<TraceFrame> trace = ParseTrace(run.trace);
    ASSERT_EQ(run.snaps.size() + 1, trace.size());
    Timeline t(trace, run.snaps);
    EXPECT_EQ(PathOf(t), ExpectedPath(plan));
    EXPECT_EQ(trace.back().firstAnswer, plan.firstAnswer);
    EXPECT_EQ(trace.back().goodEnding, plan.wantMatch ? 1 : 0);
    EXPECT_EQ(run.snaps.back().story.rollDone, 1);
    EXPECT_EQ(run.snaps.back().story.rollScroll, 320);
    for (const Snapshot& s : run.snaps) ASSERT_EQ(s.staleShown, 0) << "frame " << s.frame;
    // The default story's script plays the same keys to the same frames, sound and trace.
    std::string captures;
    for (size_t f = 0; f < trace.size(); f += 61) captures += std::to_string(f) + ",";
    captures += std::to_string(trace.size() - 1);
    StoryRuns both = RunBothStories(data, {"--keys", run.scriptPath}, captures);
    ExpectSameStory(both, plan.name);
    ASSERT_EQ(both.builtinTrace.size(), trace.size());
    const std::string& last = both.scriptTrace.back();
    EXPECT_NE(last.find("\"answer\":" + std::to_string(plan.firstAnswer + 1)), std::string::npos) << last;
    EXPECT_NE(last.find(std::string("\"good\":") + (plan.wantMatch ? "1" : "0")), std::string::npos) << last;
}

INSTANTIATE_TEST_SUITE_P(AllRoutes, StoryPlaythrough, ::testing::ValuesIn(Plans()),
                         [](const ::testing::TestParamInfo<Plan>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// One playthrough shared by the replay tests.
const PlayResult& ReferenceRun() {
    static PlayResult run = PlayInChild(Plans()[0], DataDir(), MakeTempDir("story-reference"));
    return run;
}

TEST(StoryReplay, KeyScriptThroughTheBinaryGivesTheSameTrace) {
    const PlayResult& reference = ReferenceRun();
    ASSERT_EQ(reference.exitCode, 0);
    std::string out = MakeTempDir("story-replay");
    std::string errors;
    int code = RunKirake({"--headless", "--data", DataDir(), "--keys", reference.scriptPath, "--trace",
                          out + "/trace.jsonl"},
                         &errors);
    EXPECT_EQ(code, 0) << errors;
    std::vector<std::string> replayed = ReadLines(out + "/trace.jsonl");
    ASSERT_EQ(replayed.size(), reference.trace.size());
    for (size_t i = 0; i < replayed.size(); ++i) ASSERT_EQ(replayed[i], reference.trace[i]) << "frame " << i;
}

TEST(StoryReplay, EscapeInEveryChapterEndsTheRunWithExitCodeZero) {
    const PlayResult& reference = ReferenceRun();
    std::vector<TraceFrame> trace = ParseTrace(reference.trace);
    for (int chapter : {0, 1, 2, 5}) {
        long at = -1;
        for (const TraceFrame& f : trace)
            if (f.chapter == chapter && at < 0) at = f.frame + 20;
        ASSERT_GT(at, 0) << chapter;
        std::string out = MakeTempDir("story-escape");
        std::vector<std::string> script = ScriptBefore(reference.scriptPath, at);
        script.push_back(std::to_string(at) + " escape");
        WriteLines(out + "/keys.txt", script);
        int code = RunKirake({"--headless", "--data", DataDir(), "--keys", out + "/keys.txt", "--trace",
                              out + "/trace.jsonl"});
        EXPECT_EQ(code, 0) << "chapter " << chapter;
        std::vector<std::string> lines = ReadLines(out + "/trace.jsonl");
        ASSERT_EQ(long(lines.size()), at) << "chapter " << chapter;
        EXPECT_EQ(lines.back(), reference.trace[size_t(at - 1)]);
    }
}

TEST(StoryReplay, LosingActivationPausesTheSceneAndResumesIt) {
    const PlayResult& reference = ReferenceRun();
    std::vector<TraceFrame> trace = ParseTrace(reference.trace);
    long confirm = -1, roll = -1;
    for (const TraceFrame& f : trace) {
        if (confirm < 0 && f.chapter == 2 && f.step != 0) confirm = f.frame;
        if (roll < 0 && f.chapter == 5 && f.step == 2) roll = f.frame;
    }
    ASSERT_GT(confirm, 0);
    // Frames are counted, not time: the same frames follow, up to the route draw, which reads the clock.
    for (long at : {100L, confirm - 40, roll + 300}) {
        std::string out = MakeTempDir("story-deactivate");
        std::vector<std::string> script = ReadLines(reference.scriptPath);
        script.push_back(std::to_string(at) + " deactivate 5000");
        WriteLines(out + "/keys.txt", script);
        int code = RunKirake({"--headless", "--data", DataDir(), "--keys", out + "/keys.txt", "--trace",
                              out + "/trace.jsonl"});
        EXPECT_EQ(code, 0);
        std::vector<std::string> lines = ReadLines(out + "/trace.jsonl");
        size_t same = at > confirm ? reference.trace.size() : size_t(confirm);
        ASSERT_GE(lines.size(), same) << at;
        for (size_t i = 0; i < same; ++i) ASSERT_EQ(lines[i], reference.trace[i]) << "deactivated at " << at;
    }
}

}  // namespace

namespace {

// The title counts a key newly down from its frame 160 on (trace frame 161), any of the eleven keys.
TEST(StoryTitle, OnlyAKeyNewlyDownFromFrame160MovesOn) {
    struct Case {
        const char* script;
        long expectStep2;  // first trace frame showing step 2, or -1
    } cases[] = {
        {"", -1},
        {"100 press z\n159 press x\n160 press c\n", -1},
        {"150 down c\n400 up c\n", -1},
        {"161 press enter a\n", -1},
        {"161 press z\n", 161},
        {"170 press f1\n", 170},
        {"150 down c\n200 up c\n230 down left\n", 230},
    };
    for (const Case& c : cases) {
        std::string out = MakeTempDir("story-title");
        WriteLines(out + "/keys.txt", {c.script});
        int code = RunKirake({"--headless", "--frames", "420", "--data", DataDir(), "--keys", out + "/keys.txt",
                              "--trace", out + "/trace.jsonl"});
        EXPECT_EQ(code, 0);
        std::vector<TraceFrame> trace = ParseTrace(ReadLines(out + "/trace.jsonl"));
        ASSERT_EQ(trace.size(), 420u);
        long first = -1;
        for (const TraceFrame& f : trace)
            if (first < 0 && f.chapter == 0 && f.step == 2) first = f.frame;
        EXPECT_EQ(first, c.expectStep2) << c.script;
    }
}

}  // namespace

namespace {

// A field of the trace line's "song" record.
long SongField(const std::string& line, const std::string& key) {
    return IntField(TraceField(line, "song"), key);
}

// The title song starts with the fourth title piece, stops when message "0" ends; "koi.pmd" starts when
// message "1" ends and stops on the ending picture; "end.pmd" starts on the switch to the staff roll.
// Losing activation for five seconds holds the song where it was.
TEST(StorySong, SongsStartAndStopOnTheirFramesAndPauseWithTheGame) {
    std::string songs = KIRAKE_DATA_DIR;
    std::string data = MakeTempDir("story-song-data");
    namespace fs = std::filesystem;
    CopyFolder(DataDir(), data);
    for (const char* song : {"kura3.pmd", "koi.pmd", "end.pmd"}) {
        std::error_code missing;
        fs::copy_file(songs + "/" + song, data + "/" + song, fs::copy_options::overwrite_existing, missing);
        if (missing) GTEST_SKIP() << "no built songs in " << songs;
    }
    const PlayResult& reference = ReferenceRun();
    std::vector<TraceFrame> story = ParseTrace(reference.trace);
    auto firstShowing = [&](int chapter, int step) {
        for (const TraceFrame& f : story)
            if (f.chapter == chapter && f.step == step) return f.frame;
        return -1L;
    };
    long roll = firstShowing(5, 2);
    for (long deactivateAt : {-1L, 100L, roll + 300}) {
        std::string out = MakeTempDir("story-song");
        std::vector<std::string> script = ReadLines(reference.scriptPath);
        if (deactivateAt >= 0) script.push_back(std::to_string(deactivateAt) + " deactivate 5000");
        WriteLines(out + "/keys.txt", script);
        EXPECT_EQ(RunKirake({"--headless", "--data", data, "--keys", out + "/keys.txt", "--trace",
                             out + "/trace.jsonl"}),
                  0);
        std::vector<std::string> lines = ReadLines(out + "/trace.jsonl");
        ASSERT_GT(lines.size(), size_t(roll));
        if (lines[0].find("\"song\":") == std::string::npos) GTEST_SKIP() << "the trace shows no song";
        using Changes = std::vector<std::pair<long, long>>;
        Changes changes;
        long playing = 0;
        for (long f = 0; f < long(lines.size()); ++f) {
            long now = SongField(lines[size_t(f)], "playing");
            if (now != playing) changes.push_back({f, now});
            playing = now;
        }
        Changes expected = {
            {81, 1}, {firstShowing(1, 2), 0}, {firstShowing(1, 4), 1}, {firstShowing(5, 1), 0}, {roll, 1}};
        // A pause before the route shifts the clock, so the draw and what follows it may differ.
        size_t compared = deactivateAt == 100 ? 3 : expected.size();
        ASSERT_GE(changes.size(), compared);
        EXPECT_EQ(Changes(changes.begin(), changes.begin() + long(compared)),
                  Changes(expected.begin(), expected.begin() + long(compared)));
        if (deactivateAt >= 0) {
            long before = SongField(lines[size_t(deactivateAt - 1)], "step");
            long after = SongField(lines[size_t(deactivateAt)], "step");
            EXPECT_TRUE(after == before || after == before + 1 || after < before)
                << "song step " << before << " -> " << after << " over a 5 s pause at frame " << deactivateAt;
        }
    }
}

}  // namespace
