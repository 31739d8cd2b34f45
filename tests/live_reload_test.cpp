// Live reload: files saved into the data folder while the game runs are on screen (and heard) from the
// frame after the save, whether the system tells of saves or the folder is looked at every frame; broken
// files are reported over the page and change nothing else. The key script saves the files at the frame
// it names, the way an editor writes them. The watch itself: each save passed on once, when done.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include "app/app.h"
#include "platform/core/core.h"
#include "platform/platform.h"
#include "platform/watch.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string Page(const std::string& dir, long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    return ReadText(dir + name);
}

// A copy of the default data in its own folder, or "" when the default data is not built.
std::string CopyOfDefaultData(const std::string& name) {
    std::string data = KIRAKE_DATA_DIR;
    if (!std::filesystem::exists(data + "/data.txt")) return "";
    std::string dir = MakeTempDir(name);
    CopyFolder(data, dir);
    return dir;
}

struct Session {
    std::string dir, errors;
    std::vector<std::string> trace;
};

// Starts at the first route with the data folder watched; the key script's lines are given.
Session Play(const std::string& data, const std::string& name, const std::string& script,
             const std::vector<std::string>& more) {
    Session run;
    run.dir = MakeTempDir(name);
    WriteText(run.dir + "/keys.txt", script);
    std::vector<std::string> arguments = {"--headless", "--data", data, "--start", "route:hiyori", "--keys",
                                          run.dir + "/keys.txt", "--trace", run.dir + "/trace.jsonl",
                                          "--capture-dir", run.dir};
    arguments.insert(arguments.end(), more.begin(), more.end());
    int code = RunKirake(arguments, &run.errors);
    EXPECT_EQ(code, 0) << run.errors;
    run.trace = ReadLines(run.dir + "/trace.jsonl");
    return run;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Each way of noticing saves: the system's notifications (polling where the build has none), and a look
// at the folder every frame.
class LiveReloadWatched : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Ways, LiveReloadWatched, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Polled" : "Notified"; });

// Frame M of the key script saves a new stage picture (every colour moved), a new text for the message
// being typed (whose first line had run out of the box) and a song with other instruments. From frame M
// on, the message is typed again from its first page in its new words, exactly as a run that had the new
// files from the start types it, and nothing of the old text is left; the page shows the new picture;
// the song plays on from its step with the new sound, the notes sounding at the save ringing out.
TEST_P(LiveReloadWatched, SavedPictureTextAndSongAreTakenAtTheNextFrame) {
    std::string data = CopyOfDefaultData("reload-data");
    if (data.empty()) GTEST_SKIP() << "no default data";
    std::string changes = MakeTempDir("reload-changes"), fresh = CopyOfDefaultData("reload-fresh");
    std::string wide = ReadText(data + "/data.txt");
    wide.insert(wide.find("tx4") + 3, std::string(40, 'W'));  // 760 pixels: past the box by frame 30
    WriteText(data + "/data.txt", wide);

    std::string picture = ReadText(data + "/bmp/stage1.BMP");
    uint32_t offset = uint8_t(picture[10]) | uint8_t(picture[11]) << 8 | uint8_t(picture[12]) << 16;
    for (size_t i = offset; i < picture.size(); ++i)
        if (uint8_t(picture[i]) != 9) picture[i] = char(uint8_t(picture[i]) ^ 0x55);
    std::string text = ReadText(data + "/data.txt");
    size_t body = text.find("tx4") + 3, end = text.find("<!", body);
    ASSERT_NE(end, std::string::npos);
    text.replace(body, end - body, "Saved again: this page is new.</And so is this line.");
    std::string song = ReadText(data + "/koi.pmd");
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 256; ++i) song[size_t(24 + 340 * t + 20 + i)] = char(i < 128 ? 90 : -90);  // a square
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"bmp/stage1.BMP", picture},
                                      {"data.txt", text}, {"koi.pmd", song}}) {
        WriteText(changes + "/" + fs::path(name).filename().string(), bytes);
        WriteText(fresh + "/" + name, bytes);
    }

    constexpr long M = 30, N = 90;
    auto watched = [&](const std::string& recording) {
        std::vector<std::string> options{"--watch", "--verbose", "--frames", std::to_string(N), "--capture",
                                         std::to_string(M - 1) + "," + std::to_string(N - 1), "--record-audio",
                                         recording};
        if (GetParam()) options.insert(options.end(), {"--fault", "no-inotify"});
        return options;
    };
    Session unchanged = Play(data, "reload-unchanged", "", watched(data + "/../unchanged.wav"));
    std::string saves = std::to_string(M) + " save bmp/stage1.BMP " + changes + "/stage1.BMP\n" +
                        std::to_string(M) + " save data.txt " + changes + "/data.txt\n" + std::to_string(M) +
                        " save koi.pmd " + changes + "/koi.pmd\n";
    Session saved = Play(data, "reload-saved", saves, watched(data + "/../saved.wav"));
    Session born = Play(fresh, "reload-born", "", {"--frames", std::to_string(N - M), "--capture", std::to_string(N - M - 1)});
    ASSERT_EQ(long(saved.trace.size()), N);
    ASSERT_EQ(long(unchanged.trace.size()), N);
    ASSERT_EQ(long(born.trace.size()), N - M);
    EXPECT_EQ(Count(saved.errors, "watching the data folder by polling"), GetParam() ? 1u : 0u) << saved.errors;
    for (const char* name : {"bmp/stage1.BMP", "data.txt", "koi.pmd"})  // the system's later notices are not saves
        EXPECT_EQ(Count(saved.errors, std::string("took the saved ") + name), 1u) << saved.errors;

    for (long f = 0; f < M; ++f) ASSERT_EQ(saved.trace[size_t(f)], unchanged.trace[size_t(f)]) << "frame " << f;
    for (long f = M; f < N; ++f) {
        ASSERT_EQ(TraceField(saved.trace[size_t(f)], "message"), TraceField(born.trace[size_t(f - M)], "message"))
            << "frame " << f;
        ASSERT_EQ(TraceField(saved.trace[size_t(f)], "song"), TraceField(unchanged.trace[size_t(f)], "song")) << "frame " << f;
    }
    EXPECT_EQ(Page(saved.dir, M - 1), Page(unchanged.dir, M - 1));
    EXPECT_NE(Page(saved.dir, N - 1), Page(unchanged.dir, N - 1));
    EXPECT_EQ(Page(saved.dir, N - 1), Page(born.dir, N - M - 1));

    // The sound is the same up to the save and changes from there.
    std::string heard = ReadText(data + "/../saved.wav"), before = ReadText(data + "/../unchanged.wav");
    ASSERT_EQ(heard.size(), before.size());
    size_t differs = 0;
    while (differs < heard.size() && heard[differs] == before[differs]) ++differs;
    ASSERT_LT(differs, heard.size());
    // Nothing changes until the first step after the save strikes new notes.
    long strike = M;
    while (strike < N && TraceField(saved.trace[size_t(strike)], "song") == TraceField(saved.trace[size_t(M - 1)], "song"))
        ++strike;
    ASSERT_LT(strike, N);
    EXPECT_GE(differs, 44 + 4 * size_t(strike * 44100 / 60)) << "strike at frame " << strike;
}

// With change notification refused the folder is looked at every frame. Broken files saved at frame 10
// are reported on standard error and over the page and change nothing else; good files saved at frame
// 50 are taken and the line goes away: from then on the page is that of a run that saved only those.
TEST(LiveReload, BrokenFilesKeepTheLastGoodVersionAndAreShownOverThePage) {
    std::string data = CopyOfDefaultData("broken-data");
    if (data.empty()) GTEST_SKIP() << "no default data";
    std::string files = MakeTempDir("broken-files");
    const std::vector<std::string> names = {"data.txt", "koi.pmd", "bmp/stage1.BMP", "Han.wav"};
    std::string restores, breaks;
    for (const std::string& name : names) {
        std::string base = fs::path(name).filename().string();
        // Good again, and not the bytes the folder began with, so that both runs see a save.
        std::string good = ReadText(data + "/" + name);
        good.back() = char(good.back() ^ 1);
        WriteText(files + "/good-" + base, good);
        WriteText(files + "/bad-" + base, name == "data.txt" ? "" : "RIFX broken");
        breaks += "10 save " + name + " " + files + "/bad-" + base + "\n";
        restores += "50 save " + name + " " + files + "/good-" + base + "\n";
    }
    std::vector<std::string> options = Words("--watch --fault no-inotify --frames 80 --capture 9,30,79");
    Session clean = Play(CopyOfDefaultData("broken-data-clean"), "broken-clean", restores, options);
    Session broken = Play(data, "broken-broken", breaks + restores, options);
    ASSERT_EQ(broken.trace.size(), 80u);
    EXPECT_EQ(broken.trace, clean.trace);
    EXPECT_EQ(Page(broken.dir, 9), Page(clean.dir, 9));
    EXPECT_NE(Page(broken.dir, 30), Page(clean.dir, 30));  // the line over the page
    EXPECT_EQ(Page(broken.dir, 79), Page(clean.dir, 79));
    for (const std::string& name : names) {
        EXPECT_NE(broken.errors.find(name + ": "), std::string::npos) << broken.errors;
        EXPECT_NE(broken.errors.find("took the saved " + name), std::string::npos) << broken.errors;
    }
    EXPECT_NE(broken.errors.find("keeping the last good version"), std::string::npos);
}

// A build without the compilers takes no saved source: each one is named once over the page, and the
// game plays on as if nothing was saved.
TEST(LiveReload, ASourceTheBuildCannotCompileIsNamedOnce) {
    if (ProjectRebuildAvailable()) GTEST_SKIP() << "this build compiles saved sources";
    std::string data = CopyOfDefaultData("uncompiled-data"), files = MakeTempDir("uncompiled-files");
    if (data.empty()) GTEST_SKIP() << "no default data";
    fs::create_directories(data + "/pictures");
    fs::create_directories(data + "/songs");
    WriteText(files + "/a.pic", "size 640 480\n");
    WriteText(files + "/b.pic", "size 640 480\nfill #000000\n");
    WriteText(files + "/koi.song", "tempo 120\n");
    std::vector<std::string> options = Words("--watch --frames 40 --capture 39");
    Session quiet = Play(data, "uncompiled-quiet", "", options);
    Session saved = Play(data, "uncompiled-saved",
                         "5 save pictures/stage1.pic " + files + "/a.pic\n10 save songs/koi.song " + files +
                             "/koi.song\n20 save pictures/stage1.pic " + files + "/b.pic\n",
                         options);
    EXPECT_EQ(Count(saved.errors, "pictures/stage1.pic saved: this build cannot compile pictures"), 1u) << saved.errors;
    EXPECT_EQ(Count(saved.errors, "songs/koi.song saved: this build cannot compile songs"), 1u) << saved.errors;
    EXPECT_EQ(saved.trace, quiet.trace);
    EXPECT_NE(Page(saved.dir, 39), Page(quiet.dir, 39));  // the line over the page
}

// The data folder watched in this process, as the frame loop takes its saves.
class Watch : public testing::TestWithParam<bool> {
protected:
    fs::path before = fs::current_path();
    void SetUp() override {
        std::string dir = MakeTempDir("watch");
        for (const char* folder : {"bmp", "pictures", "songs"}) fs::create_directories(dir + "/" + folder);
        fs::current_path(dir);
        PlatformOptions options;
        options.headless = options.watch = true;
        if (GetParam()) options.faults.push_back("no-inotify");
        std::string error;
        ASSERT_TRUE(PlatformStart(options, &error)) << error;
    }
    void TearDown() override {
        PlatformStop();
        fs::current_path(before);
    }
    // The names passed on over up to `looks` looks 10 ms apart, until `want` have come (0: every look).
    std::vector<std::string> Take(int looks, size_t want = 1) {
        std::vector<std::string> all, names;
        for (int look = 0; look < looks && (!want || all.size() < want); ++look) {
            if (look) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_TRUE(TakeSavedFiles(&names));
            all.insert(all.end(), names.begin(), names.end());
        }
        std::sort(all.begin(), all.end());
        return all;
    }
};
INSTANTIATE_TEST_SUITE_P(Ways, Watch, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Polled" : "Notified"; });

// A save is passed on once: a notified one when its writer has closed it (a polled one may be seen
// before), whatever steps the system tells of it in; a file told of again as it was is not passed on;
// bytes that differ count even where the time stamp and size are the same.
TEST_P(Watch, EachSaveIsPassedOnOnceWhenDone) {
    bool polled = GetParam();
    if (!polled && std::string(WatchMethod()) == "polling") GTEST_SKIP() << "no file watch in this build";
    EXPECT_EQ(std::string(WatchMethod()) == "polling", polled) << WatchMethod();
    const std::vector<std::string> picture = {"bmp/a.BMP"};
    std::vector<std::string> whileOpen, afterClose;
    {
        std::ofstream writer("bmp/a.BMP", std::ios::binary);
        writer << "first" << std::flush;
        whileOpen = Take(polled ? 100 : 20);
    }
    afterClose = Take(polled ? 1 : 100);
    EXPECT_EQ(whileOpen, polled ? picture : std::vector<std::string>{});
    EXPECT_EQ(afterClose, polled ? std::vector<std::string>{} : picture);
    EXPECT_EQ(Take(10, 0), std::vector<std::string>{}) << "the save's later steps";

    fs::file_time_type stamp = fs::file_time_type::clock::now();
    for (const char* bytes : {"one..", "two.."}) {
        WriteText("bmp/a.BMP", bytes);
        fs::last_write_time("bmp/a.BMP", stamp);
        EXPECT_EQ(Take(100), picture) << "the same size and time stamp, other bytes: " << bytes;
    }
    NoteSavedFile("bmp/a.BMP");
    EXPECT_EQ(Take(1, 0), std::vector<std::string>{}) << "told again as it was";

    for (const char* name : {"data.txt", "pictures/x.pic", "songs/x.song"}) WriteText(name, name);
    EXPECT_EQ(Take(100, 3), (std::vector<std::string>{"data.txt", "pictures/x.pic", "songs/x.song"}));
}

}  // namespace
