// The real backend in a real X window: a virtual X server of our own (Xvfb), driven with xdotool and
// looked at with xwininfo and ImageMagick's import. Skipped where those tools are not installed.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"
#include "run_program.h"
#include "test_support.h"

namespace {
// Waits up to `seconds` for a condition, polling.
template <typename Condition>
bool WaitFor(Condition condition, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// A virtual X screen of the given size for one test, on a display number the server picks itself.
class RealWindow : public ::testing::Test {
protected:
    void StartScreen(int width, int height) {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "import", "convert"})
            if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
        dir = MakeTempDir("real-window");
        ProcessOptions options;
        options.output = dir + "/display";  // the number it listens on
        server = StartProcess({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                               std::to_string(width) + "x" + std::to_string(height) + "x24"},
                              options);
        std::string number;
        ASSERT_TRUE(WaitFor([&] { return (number = ReadText(options.output)).find('\n') != std::string::npos; }, 20))
            << "Xvfb did not start";
        display = ":" + number.substr(0, number.find('\n'));
    }
    void TearDown() override {
        if (game.id) FinishProcess(&game, 0);
        if (server.id) {
            StopProcess(server);
            FinishProcess(&server, 5);
        }
    }
    // Starts the game on this screen; standard error goes to dir/err.txt.
    void StartGame(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), KIRAKE_BINARY);
        ProcessOptions options = Env();
        options.errors = dir + "/err.txt";
        game = StartProcess(arguments, options);
    }
    // The game's exit status, waiting up to `seconds`; -1 when it had to be killed.
    int FinishGame(double seconds) { return FinishProcess(&game, seconds).status; }
    // The desktop's own libraries (D-Bus, reached through SDL) keep allocations until exit; the leak
    // checker looks at our code in the headless runs.
    ProcessOptions Env() const {
        ProcessOptions options;
        options.environment = {"DISPLAY=" + display, "SDL_AUDIODRIVER=dummy", "XDG_PICTURES_DIR=" + dir + "/pictures",
                               LeakCheckOff()};
        return options;
    }
    // Runs an X tool on this screen; its standard output. A tool that hangs is a failure naming it, not a
    // test stopped from outside with nothing said.
    std::string X(const std::vector<std::string>& command) const {
        ProcessOptions options = Env();
        options.output = dir + "/x.txt";
        options.seconds = 60;
        if (RunProcess(command, options).status == -1) ADD_FAILURE() << command[0] << " did not finish in 60 s";
        return ReadText(options.output);
    }
    // The id of the top-level window with this name, or "".
    std::string WindowNamed(const std::string& name) const {
        std::istringstream tree(X({"xwininfo", "-root", "-tree"}));
        std::string line;
        while (std::getline(tree, line))
            if (line.find("\"" + name + "\"") != std::string::npos) {
                std::istringstream words(line);
                std::string id;
                words >> id;
                return id;
            }
        return "";
    }
    std::pair<int, int> WindowSize(const std::string& id) const {
        std::string info = X({"xwininfo", "-id", id});
        auto field = [&](const char* name) {
            size_t at = info.find(name);
            return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(name));
        };
        return {field("Width: "), field("Height: ")};
    }
    size_t TraceLines() const { return ReadLines(dir + "/trace.jsonl").size(); }
    // RGB bytes of a PNG or of a window, through ImageMagick.
    std::vector<uint8_t> Rgb(const std::string& source) const {
        std::string out = dir + "/picture.rgb";
        std::remove(out.c_str());
        if (source.rfind("0x", 0) == 0)
            X({"import", "-window", source, "-depth", "8", "rgb:" + out});
        else
            X({"convert", source, "-depth", "8", "rgb:" + out});
        std::string bytes = ReadText(out);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    std::string dir, display;
    Process server, game;
};

TEST(RealBackendStart, WithoutADisplayItSaysSoAndExitsOne) {
    std::string data = MakeTempDir("no-display");
    std::ofstream(data + "/data.txt").flush();
    ProcessOptions options;
    options.environment = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.errors = data + "/err.txt";
    int status = RunProcess({KIRAKE_BINARY, "--window", "--frames", "30", "--data", data}, options).status;
    ASSERT_NE(status, -1);
    EXPECT_EQ(status, 1);
    std::string err = ReadText(data + "/err.txt");
    EXPECT_NE(err.find("kirake: no display"), std::string::npos) << err;
    EXPECT_NE(err.find("--headless"), std::string::npos) << err;
}

// An empty data folder: the box (with the English line under the system's text), then status 1.
TEST_F(RealWindow, EmptyDataFolderNamesDataTxtAndExitsOne) {
    StartScreen(800, 600);
    if (IsSkipped()) return;
    std::string data = MakeTempDir("real-empty");
    StartGame({"--window", "--data", data});
    std::string box;
    ASSERT_TRUE(WaitFor([&] { return !(box = WindowNamed("Push return")).empty(); }, 20)) << ReadText(dir + "/err.txt");
    X({"xdotool", "key", "--window", box, "Return"});
    EXPECT_EQ(FinishGame(20), 1);
    std::string err = ReadText(dir + "/err.txt");
    EXPECT_NE(err.find("kirake: cannot read the story script data.txt in the data folder " + data), std::string::npos)
        << err;
}

// Alt+Enter goes full screen at the screen's size and back to the window's size; while another window
// has the focus no frames run, and the page comes back where that window covered it; a tap made of a
// press and a release with no delay at the title is seen; closing from the system ends with status 0.
TEST_F(RealWindow, AltEnterPauseTapsAndClose) {
    StartScreen(1024, 768);
    if (IsSkipped() || !OnPath("xlogo")) GTEST_SKIP() << "xlogo is not installed";
    StartGame({"--window", "--frames", "3000", "--trace", dir + "/trace.jsonl"});
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = WindowNamed("kirake")).empty(); }, 20));
    std::pair<int, int> size;
    ASSERT_TRUE(WaitFor([&] { return (size = WindowSize(window)) == std::make_pair(640, 480); }, 20))
        << "the window opens at 640x480, not " << size.first << "x" << size.second << " (window " << window
        << "): " << ReadText(dir + "/err.txt");
    X({"xdotool", "key", "--window", window, "alt+Return"});
    EXPECT_TRUE(WaitFor([&] { return WindowSize(window) == std::make_pair(1024, 768); }, 10));
    X({"xdotool", "key", "--window", window, "alt+Return"});
    EXPECT_TRUE(WaitFor([&] { return WindowSize(window) == std::make_pair(640, 480); }, 10));

    ASSERT_TRUE(WaitFor([&] { return TraceLines() >= 320; }, 120)) << "the title waits for a key from frame 300";
    std::vector<uint8_t> before = Rgb(window);
    Process other = StartProcess({"xlogo", "-geometry", "300x200+250+200"}, Env());
    std::string otherWindow;
    ASSERT_TRUE(WaitFor([&] { return !(otherWindow = WindowNamed("xlogo")).empty(); }, 20));
    X({"xdotool", "windowfocus", otherWindow});
    size_t paused = 0;
    EXPECT_TRUE(WaitFor([&] {
        size_t now = TraceLines();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return (paused = now) == TraceLines();
    }, 10)) << "frames stop without the focus";
    StopProcess(other);
    FinishProcess(&other, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(Rgb(window) == before) << "the page is shown again where the other window was";
    EXPECT_EQ(TraceLines(), paused);
    X({"xdotool", "windowfocus", window});
    ASSERT_TRUE(WaitFor([&] { return TraceLines() >= paused + 5; }, 20)) << "frames go on with the focus back";
    X({"xdotool", "key", "--window", window, "--delay", "0", "--repeat", "10", "space"});
    // The default story's script: the cross-fade after the title.
    std::string outro;
    std::vector<std::string> script = ReadLines(std::string(KIRAKE_DATA_DIR) + "/scenes.txt");
    for (size_t i = 0; i < script.size() && outro.empty(); ++i)
        if (script[i].find("crossfade") != std::string::npos)
            outro = "\"scene\":\"scenes.txt:" + std::to_string(i + 1) + "\"";
    ASSERT_FALSE(outro.empty());
    EXPECT_TRUE(WaitFor([&] {
        for (const std::string& line : ReadLines(dir + "/trace.jsonl"))
            if (line.find(outro) != std::string::npos) return true;
        return false;
    }, 10)) << "the taps left the title";

    StopProcess(game);  // the way the system closes a program: a quit request
    EXPECT_EQ(FinishGame(20), 0) << ReadText(dir + "/err.txt");
}

// Full screen with --scale integer on a 1400x1100 screen shows the page at 2x, centred on black, pixel
// for pixel; F12 saves the same bytes as a headless capture of that frame.
TEST_F(RealWindow, ScreenAndScreenshotEqualTheHeadlessCapture) {
    StartScreen(1400, 1100);
    if (IsSkipped()) return;
    StartGame({"--scale", "integer", "--frames", "3000", "--trace", dir + "/trace.jsonl"});
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = WindowNamed("kirake")).empty(); }, 20));
    EXPECT_EQ(WindowSize(window), std::make_pair(1400, 1100));
    ASSERT_TRUE(WaitFor([&] { return TraceLines() >= 320; }, 120));  // the still title from frame 300
    std::vector<uint8_t> shown = Rgb(window);
    X({"xdotool", "key", "--window", window, "F12"});
    std::string err;
    auto saidSaved = [&] { return (err = ReadText(dir + "/err.txt")).find("screenshot of frame") != std::string::npos; };
    ASSERT_TRUE(WaitFor(saidSaved, 10)) << err;
    X({"xdotool", "key", "--window", window, "Escape"});
    EXPECT_EQ(FinishGame(20), 0);

    long frame = std::atol(err.c_str() + err.find("screenshot of frame") + 20);
    std::string saved = err.substr(err.find(" saved to ") + 10);
    saved = saved.substr(0, saved.find('\n'));
    EXPECT_EQ(saved.rfind(dir + "/pictures/kirake/kirake_", 0), 0u) << saved;
    std::string captures = MakeTempDir("real-captures");
    ASSERT_EQ(RunKirake({"--headless", "--frames", std::to_string(frame + 1), "--capture",
                         "300," + std::to_string(frame), "--capture-dir", captures}),
              0);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    EXPECT_EQ(ReadText(saved), ReadText(captures + name)) << "F12 at frame " << frame;

    std::vector<uint8_t> expected = Rgb(captures + "/frame-000300.png");
    ASSERT_EQ(expected.size(), 640u * 480 * 3);
    ASSERT_EQ(shown.size(), 1400u * 1100 * 3);
    int differing = 0, border = 0;
    for (int y = 0; y < 1100; ++y)
        for (int x = 0; x < 1400; ++x)
            for (int c = 0; c < 3; ++c) {
                uint8_t value = shown[(size_t(y) * 1400 + x) * 3 + c];
                int px = x - 60, py = y - 70;  // the page's place: (1400 - 1280) / 2, (1100 - 960) / 2
                if (px < 0 || py < 0 || px >= 1280 || py >= 960)
                    border += value != 0;
                else
                    differing += value != expected[(size_t(py / 2) * 640 + px / 2) * 3 + c];
            }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(border, 0);
}

// Pausing the real sound device (SDL's dummy driver here) holds every sound where it is after the fade;
// resuming goes on from there.
TEST(RealBackendSound, PauseHoldsTheSoundsAndResumeGoesOn) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    PlatformOptions options;  // the real backend
    std::string error;
    ASSERT_EQ(SoundBackendStart(options, &error), 1) << error;
    if (!SoundDeviceOpen(0)) GTEST_SKIP() << "no SDL dummy audio";
    const SoundFormat format = {1, 1, 22050, 22050, 1, 8, 0};
    SoundBuffer* buffer = SoundCreateBuffer(&format, 22050 * 30);  // 30 s: never ends during the test
    void *r1, *r2;
    uint32_t l1, l2;
    ASSERT_EQ(SoundLock(buffer, 0, 22050 * 30, &r1, &l1, &r2, &l2), 1);
    SoundUnlock(buffer, r1, l1, r2, l2);
    SoundPlay(buffer, 0);
    auto position = [&] {
        MixerBufferInfo info{};
        MixerBufferInfoOf(buffer, &info);
        return info.position;
    };
    ASSERT_TRUE(WaitFor([&] { return position() > 0; }, 5));
    SoundBackendPause(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the fade and a callback or two
    uint32_t held = position();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(position(), held);
    SoundBackendPause(0);
    EXPECT_TRUE(WaitFor([&] { return position() > held; }, 5));
    SoundRelease(buffer);
    SoundBackendStop();
    unsetenv("SDL_AUDIODRIVER");
}
}  // namespace

// With no sound card ALSA's own error lines are silenced: the game's one notice is all standard error says.
TEST_F(RealWindow, WithoutASoundCardOnlyTheGamesNotice) {
    StartScreen(640, 480);
    if (IsSkipped()) return;
    ProcessOptions options = Env();
    for (std::string& variable : options.environment)
        if (variable.rfind("SDL_AUDIODRIVER=", 0) == 0) variable = "SDL_AUDIODRIVER=alsa";
    options.environment.push_back("AUDIODEV=hw:99");
    options.errors = dir + "/err.txt";
    game = StartProcess({KIRAKE_BINARY, "--window", "--frames", "30"}, options);
    EXPECT_EQ(FinishGame(60), 0);
    std::string err = ReadText(dir + "/err.txt");
    if (err.find("playing without sound") == std::string::npos) GTEST_SKIP() << "ALSA found a sound card";
    EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err;
}
