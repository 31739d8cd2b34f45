// The whole program on the headless backend: start-up, endings, faults, keys, activation.
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include "run_program.h"
#include "test_support.h"

namespace {
struct RunResult {
    int exitCode;
    std::string errors;
    std::vector<std::string> trace;
};

// Runs the program on a data folder with a key script; extra options as given.
RunResult Play(const std::string& data, const std::string& keys, const std::string& options) {
    std::string dir = MakeTempDir("run");
    std::ofstream(dir + "/keys.txt") << keys;
    RunResult run;
    std::vector<std::string> arguments = {"--headless", "--data", data, "--keys", dir + "/keys.txt", "--trace",
                                          dir + "/trace.jsonl"};
    for (const std::string& word : Words(options)) arguments.push_back(word);
    run.exitCode = RunKirake(arguments, &run.errors);
    run.trace = ReadLines(dir + "/trace.jsonl");
    return run;
}

// A data folder with nothing but an empty script (without data.txt the program ends before any frame).
std::string EmptyFolder() {
    std::string dir = MakeTempDir("empty-data");
    std::ofstream(dir + "/data.txt").flush();
    return dir;
}

TEST(Program, EveryEndingPathExitsWithZero) {
    std::string data = EmptyFolder();
    struct Case {
        const char* name;
        const char* keys;
        const char* options;
        size_t frames;  // trace lines expected
    } cases[] = {
        {"Esc", "12 escape\n", "", 12},
        {"close from the system", "7 close\n", "", 7},
        {"frame limit", "", "--frames 30", 30},
        {"Esc while inactive is ignored", "5 deactivate 500\n5 escape\n", "--frames 20", 20},
    };
    for (const Case& c : cases) {
        RunResult run = Play(data, c.keys, c.options);
        EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.errors;
        EXPECT_EQ(run.trace.size(), c.frames) << c.name;
    }
}

TEST(Program, FirstFrameIsChapterZeroStepZeroOnAnEmptyFolder) {
    RunResult run = Play(EmptyFolder(), "", "--frames 300");
    ASSERT_EQ(run.trace.size(), 300u);
    EXPECT_EQ(TraceField(run.trace[0], "frame"), "0");
    EXPECT_EQ(TraceField(run.trace[0], "chapter"), "0");
    // Frame 0 runs step 0 (the title's set-up), which moves on to step 1 within the frame.
    EXPECT_EQ(TraceField(run.trace[0], "step"), "1");
    EXPECT_EQ(TraceField(run.trace[0], "palette"), "null");
    EXPECT_EQ(run.errors, "");
}

TEST(Program, StartUpPaletteShowsOnlyEntries240To254OfSystemBmp) {
    std::string data = MakeTempDir("system-only");
    std::ofstream(data + "/data.txt").flush();
    std::vector<PaletteEntry> table(256);
    for (int i = 0; i < 256; ++i) table[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    WriteFile(data + "/system.bmp", MakeBmp(8, 8, {}, table));
    RunResult run = Play(data, "", "--frames 1");
    ASSERT_EQ(run.trace.size(), 1u);
    std::string palette = TraceField(run.trace[0], "palette");
    ASSERT_EQ(palette.size(), 2u + 2048u);
    for (int i = 0; i < 256; ++i) {
        char want[32];  // room for any int, so the compiler sees no truncation
        if (i < 240 || i == 255)
            snprintf(want, sizeof want, "00000000");
        else
            snprintf(want, sizeof want, "%02x%02x%02x04", i, 255 - i, (i * 7) & 255);
        EXPECT_EQ(palette.substr(1 + i * 8, 8), want) << "entry " << i;
    }
}

TEST(Program, RefusedDisplayStepsShowTheErrorBoxAndExitOneWithoutFrames) {
    std::string data = EmptyFolder();
    WriteFile(data + "/system.bmp", MakeBmp(4, 4, {}));
    for (const char* step : {"create", "cooperative", "interface", "mode", "primary", "backbuffer", "clipper",
                             "sheet", "palette", "colorkey"}) {
        RunResult run = Play(data, "", std::string("--frames 5 --fault display:") + step);
        EXPECT_EQ(run.exitCode, 1) << step;
        EXPECT_NE(run.errors.find(std::string("kirake: the display refused the \"") + step + "\" step"),
                  std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find("MessageBox: 何でじゃあ: Error!"), std::string::npos) << step << ": " << run.errors;
        EXPECT_TRUE(run.trace.empty()) << step;
    }
}

TEST(Program, RefusedPaletteDuringTheRunEndsItAfterThatFrame) {
    std::string data = EmptyFolder();
    WriteFile(data + "/system.bmp", MakeBmp(4, 4, {}));
    RunResult run = Play(data, "", "--frames 5 --fault palette@0");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("kirake: the display refused a new palette"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("Error!"), std::string::npos);
    EXPECT_TRUE(run.trace.empty()) << "the start-up palette is the first one asked for";
}

TEST(Program, NoKeyboardEndsWithoutABoxBeforeAnyFrame) {
    RunResult run = Play(EmptyFolder(), "", "--frames 5 --fault no-keyboard");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("kirake: no keyboard could be opened"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("MessageBox"), std::string::npos);
    EXPECT_TRUE(run.trace.empty());
}

TEST(Program, KeyWordsSeeEdgesOnlyOnce) {
    RunResult run = Play(EmptyFolder(),
                   "2 down space\n"
                   "5 up space\n"
                   "6 press up down\n"
                   "8 press enter a\n"
                   "10 down f1\n"
                   "11 input-lost-marker\n",
                   "--frames 14");
    // The last line is not a known action: the script is refused with a message naming its line.
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.errors.find("keys.txt:6"), std::string::npos) << run.errors;

    run = Play(EmptyFolder(), "2 down space\n5 up space\n6 press up down\n8 press enter a\n10 down f1\n",
               "--frames 14 --fault input-lost@11");
    ASSERT_EQ(run.trace.size(), 14u);
    struct Expect {
        int frame;
        const char* held;
        const char* pressed;
    } expected[] = {
        {1, "0", "0"},    {2, "256", "256"}, {3, "256", "0"},  {4, "256", "0"},    {5, "0", "0"},
        {6, "12", "12"},  {7, "0", "0"},     {8, "0", "0"},    {10, "512", "512"}, {11, "512", "0"},
        {12, "512", "0"}, {13, "512", "0"},
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(TraceField(run.trace[e.frame], "held"), e.held) << "frame " << e.frame;
        EXPECT_EQ(TraceField(run.trace[e.frame], "pressed"), e.pressed) << "frame " << e.frame;
    }
}

TEST(Program, LosingActivationPausesAndTheKeyboardIsTakenBackOnce) {
    RunResult run = Play(EmptyFolder(), "3 down z\n6 deactivate 2000\n", "--frames 10");
    ASSERT_EQ(run.trace.size(), 10u);
    EXPECT_EQ(TraceField(run.trace[5], "held"), "16");
    EXPECT_EQ(TraceField(run.trace[6], "pressed"), "0") << "the first read after reactivation reports input lost";
    EXPECT_EQ(TraceField(run.trace[6], "held"), "16");
    EXPECT_EQ(TraceField(run.trace[7], "pressed"), "0") << "a key held through the pause is not new";
    EXPECT_EQ(TraceField(run.trace[9], "chapter"), "0");
}

TEST(Program, LostSurfacesAreRecoveredAndTheRunGoesOn) {
    std::string data = EmptyFolder();
    WriteFile(data + "/system.bmp", MakeBmp(4, 4, {}));
    WriteFile(data + "/game_w.bmp", MakeBmp(640, 480, std::vector<uint8_t>(640 * 480, 3)));
    RunResult run = Play(data, "", "--frames 12 --fault surface-lost@4");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.trace.size(), 12u);
}

TEST(Program, BadCommandLinesAreRefused) {
    std::string errors;
    EXPECT_EQ(RunKirake({"--bogus"}, &errors), 2);
    EXPECT_EQ(RunKirake({"--keys", "x.txt"}, &errors), 2) << "key scripts need --headless";
    EXPECT_EQ(RunKirake({"--scale", "3"}, &errors), 2);
    // (With data named: a Windows build in its build folder has none beside it.)
    EXPECT_EQ(RunKirake({"--headless", "--data", KIRAKE_DATA_DIR, "--fault", "display:nothing"}, &errors), 1);
    EXPECT_NE(errors.find("unknown fault"), std::string::npos) << errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", KIRAKE_DATA_DIR, "--capture", "5-1", "--capture-dir",
                         MakeTempDir("captures")}, &errors), 1);
    EXPECT_NE(errors.find("5-1"), std::string::npos) << errors;
    EXPECT_EQ(RunKirake({"--version"}, &errors), 0);
}
}  // namespace

namespace {
// The real backend in a virtual X display, when one can be had: it opens its window, runs frames and
// ends with exit code 0.
TEST(RealBackend, OpensAWindowRunsFramesAndEnds) {
    if (!OnPath("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
    std::string data = MakeTempDir("sdl-data");
    std::ofstream(data + "/data.txt").flush();  // a missing script would wait on its message box
    // The desktop's own libraries (D-Bus, reached through SDL) keep allocations until exit; the leak
    // checker looks at our code in the headless runs.
    ProcessOptions options;
    options.environment = {LeakCheckOff()};
    ProcessResult run = RunProcess({"xvfb-run", "-a", "-s", "-screen 0 800x600x24", KIRAKE_BINARY, "--window", "--frames",
                                    "20", "--data", data}, options);
    ASSERT_NE(run.status, -1);
    EXPECT_EQ(run.status, 0);
}
}  // namespace
