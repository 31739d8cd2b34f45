// Live reload: files saved into the data folder while the game runs are on screen (and heard) from the
// frame after the save; broken files are reported over the page and change nothing else. The key script
// saves the files at the frame it names, the way an editor writes them.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
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

// Frame M of the key script saves a new stage picture (every colour moved), a new text for the message
// being typed (whose first line had run out of the box) and a song with other instruments. From frame M
// on, the message is typed again from its first page in its new words, exactly as a run that had the new
// files from the start types it, and nothing of the old text is left; the page shows the new picture;
// the song plays on from its step with the new sound, the notes sounding at the save ringing out.
TEST(LiveReload, SavedPictureTextAndSongAreTakenAtTheNextFrame) {
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
        return std::vector<std::string>{"--watch", "--frames", std::to_string(N), "--capture",
                                        std::to_string(M - 1) + "," + std::to_string(N - 1), "--record-audio",
                                        recording};
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
    for (const char* name : {"bmp/stage1.BMP", "data.txt", "koi.pmd"})
        EXPECT_NE(saved.errors.find(std::string("took the saved ") + name), std::string::npos) << saved.errors;

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

}  // namespace
