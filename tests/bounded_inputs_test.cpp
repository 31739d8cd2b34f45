// Inputs from anywhere, for the game's command line and the tools: devices, folders and huge files are
// refused with the file's name and the limit, failed writes end the run with status 1, and a bad save of
// a key script leaves the data file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>
#include "test_support.h"

namespace {

using authoring::RunTool;
using authoring::ScratchDir;
using authoring::ToolPath;
namespace fs = std::filesystem;


// A data folder holding only a script with message 0.
std::string TinyData(const std::string& name) {
    std::string dir = MakeTempDir(name);
    WriteText(dir + "/data.txt", "tx0Hello<!");
    return dir;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(BoundedInputs, KeyScriptSavesNeverDestroyTheDataFile) {
    std::string data = TinyData("save-data"), keys = MakeTempDir("save-keys");
    WriteText(keys + "/new.txt", "tx0Saved<!");
    std::string errors;
    // A FROM that is missing, or not a regular file, is an error of the script's line before anything runs.
    for (const std::string& from : {std::string("missing.txt"), std::string("/dev/zero")}) {
        WriteText(keys + "/keys.txt", "# saves\n2 save data.txt " + from + "\n");
        EXPECT_EQ(RunKirake({"--headless", "--data", data, "--frames", "5", "--keys", keys + "/keys.txt"}, &errors), 1);
        EXPECT_TRUE(Contains(errors, keys + "/keys.txt:2: save: cannot read")) << errors;
    }
    WriteText(keys + "/keys.txt", "2 save ../outside.txt new.txt\n");
    EXPECT_EQ(RunKirake({"--headless", "--data", data, "--frames", "5", "--keys", keys + "/keys.txt"}, &errors), 1);
    EXPECT_TRUE(Contains(errors, "is not a file of the data folder")) << errors;
    // A NUL byte in NAME ended the name the system was given early: "pipe\0x" opened the FIFO "pipe"
    // for writing, which blocked the run for ever.
#ifndef _WIN32
    ASSERT_EQ(mkfifo((data + "/pipe").c_str(), 0600), 0);
#endif
    WriteText(keys + "/keys.txt", std::string("2 save pipe\0x new.txt\n", 22));
    EXPECT_EQ(RunKirake({"--headless", "--data", data, "--frames", "5", "--keys", keys + "/keys.txt"}, &errors), 1);
    EXPECT_TRUE(Contains(errors, "a name with a NUL byte")) << errors;
    EXPECT_EQ(ReadBytes(data + "/data.txt"), std::vector<uint8_t>({'t', 'x', '0', 'H', 'e', 'l', 'l', 'o', '<', '!'}));

    // A good save: the new bytes take the data file's place whole, through a temporary file.
    WriteText(keys + "/keys.txt", "1 save data.txt new.txt\n");
    EXPECT_EQ(RunKirake({"--headless", "--data", data, "--frames", "5", "--keys", keys + "/keys.txt"}, &errors), 0)
        << errors;
    EXPECT_EQ(ReadBytes(data + "/data.txt"), std::vector<uint8_t>({'t', 'x', '0', 'S', 'a', 'v', 'e', 'd', '<', '!'}));
    EXPECT_FALSE(fs::exists(data + "/data.txt.saving"));
}

TEST(BoundedInputs, RunsRefuseWhatTheyCannotReadOrWrite) {
    std::string data = TinyData("bounded-data"), out = MakeTempDir("bounded-out");
    std::string errors;
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {"--headless", "--data", data, "--frames", "30"};
        args.insert(args.end(), more.begin(), more.end());
        return RunKirake(args, &errors);
    };
    // Failed writes: said once, status 1.
    EXPECT_EQ(run({"--trace", "/dev/full"}), 1);
    EXPECT_TRUE(Contains(errors, "cannot write the trace /dev/full")) << errors;
    EXPECT_EQ(errors.find("cannot write the trace"), errors.rfind("cannot write the trace")) << errors;
    EXPECT_EQ(run({"--record-audio", "/dev/full"}), 1);
    EXPECT_TRUE(Contains(errors, "the audio recording could not be written")) << errors;
    EXPECT_EQ(run({"--capture", "0-9", "--capture-dir", out + "/missing"}), 1);
    EXPECT_TRUE(Contains(errors, "the capture folder " + out + "/missing does not exist")) << errors;
    EXPECT_EQ(run({"--data", ""}), 2);
    // The capture list: ranges of any length cost nothing before they are reached; at most 4096 items.
    EXPECT_EQ(run({"--capture", "28-999999999999,3,1-2", "--capture-dir", out}), 0) << errors;
    std::vector<std::string> frames;
    for (const auto& entry : fs::directory_iterator(out)) frames.push_back(entry.path().filename().string());
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames, (std::vector<std::string>{"frame-000001.png", "frame-000002.png", "frame-000003.png",
                                                "frame-000028.png", "frame-000029.png"}));
    std::string many;
    for (int i = 0; i <= 4096; ++i) many += std::to_string(i) + ",";
    EXPECT_EQ(run({"--capture", many, "--capture-dir", out}), 1);
    EXPECT_TRUE(Contains(errors, "more than 4096 items in the capture list")) << errors;
    // A key script of events out of frame order plays them at their frames.
    WriteText(out + "/keys.txt", "20 escape\n5 press z\n");
    EXPECT_EQ(run({"--trace", out + "/t.jsonl", "--keys", out + "/keys.txt"}), 0);
    std::vector<std::string> trace = ReadLines(out + "/t.jsonl");
    EXPECT_TRUE(trace.size() >= 20 && trace.size() < 30) << trace.size() << errors;
    ASSERT_GT(trace.size(), 5u);
    EXPECT_FALSE(Contains(trace[5], "\"pressed\":0,")) << trace[5];

    // The polling watch says that a FIFO stands where a data file could be.
    ASSERT_EQ(mkfifo((data + "/mag.wav").c_str(), 0600), 0);
    EXPECT_EQ(run({"--watch", "--fault", "no-inotify"}), 0) << errors;
    EXPECT_TRUE(Contains(errors, "mag.wav is not a regular file (a FIFO)")) << errors;

    // data.txt over 16 MiB fails as a missing one, saying the size and the limit.
    ASSERT_EQ(truncate((data + "/data.txt").c_str(), (16 << 20) + 1), 0);
    EXPECT_EQ(run({}), 1);
    EXPECT_TRUE(Contains(errors, "data.txt is 16777217 bytes; the game reads at most 16 MiB\n")) << errors;
}

TEST(BoundedInputs, TheGameNeverPlaysTheWorkingFolderWhenItsDataIsMissing) {
    ScratchDir dir;
    fs::copy_file(KIRAKE_BINARY, dir.path() / "kirake");
    WriteText(dir.path() / "data.txt", "tx0planted<!");
    fs::path before = fs::current_path();
    fs::current_path(dir.path());
    authoring::RunResult run = RunTool({(dir.path() / "kirake").string(), "--headless", "--frames", "3"});
    fs::current_path(before);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "no game data found (looked in " + dir.path().string() + "/../gamedata, "))
        << run.output;
}

TEST(BoundedInputs, ToolsReadOnlyRegularFilesWithinTheGamesLimits) {
    ScratchDir dir;
    fs::path zero = dir.path() / "zero.pmd", big = dir.path() / "big.song", binary = dir.path() / "binary.song";
    fs::create_symlink("/dev/zero", zero);
    WriteText(big, "");
    ASSERT_EQ(truncate(big.c_str(), (16 << 20) + 1), 0);
    std::string song = ToolPath("song", "kirake-song"), art = ToolPath("art", "kirake-art");
    struct Case {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{song, "plot", zero, (dir.path() / "o.png").string()}, zero.string() + ": not a regular file"},
        {{song, "plot", dir.path().string(), (dir.path() / "o.png").string()}, ": not a regular file"},
        {{song, "info", zero}, zero.string() + ": not a regular file"},
        {{song, "render", zero, (dir.path() / "o.wav").string()}, zero.string() + ": not a regular file"},
        {{song, "compile", big, "-o", (dir.path() / "o.pmd").string()}, "16777217 bytes, more than the 16 MiB"},
        {{art, zero, (dir.path() / "o.bmp").string()}, "not a regular file"},
    };
    for (const Case& c : cases) {
        authoring::RunResult run = RunTool(c.args);
        EXPECT_EQ(run.status, 1) << c.args[1] << ": " << run.output;
        EXPECT_TRUE(Contains(run.output, c.said)) << run.output;
    }
    // The bytes of a bad input are shown escaped.
    WriteText(binary, std::string("track 0\n C4 \x1b[2J\x01\xff\n"));
    authoring::RunResult run = RunTool({song, "compile", binary, "-o", (dir.path() / "o.pmd").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.output, "\\x1b[2J\\x01\\xff")) << run.output;
    EXPECT_FALSE(Contains(run.output, "\x1b")) << run.output;

    // kirake-check names what the game would not read.
    ScratchDir data;
    WriteText(data.path() / "data.txt", "");
    ASSERT_EQ(truncate((data.path() / "data.txt").c_str(), (16 << 20) + 1), 0);
    run = RunTool({ToolPath("check", "kirake-check"), data.path().string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.output, "data.txt: longer than the 16 MiB the game reads")) << run.output;
    // A FIFO or a link to a device where a data file goes is named for what it is, not "missing".
    fs::remove(data.path() / "data.txt");
    ASSERT_EQ(mkfifo((data.path() / "data.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", data.path() / "End.wav");
    run = RunTool({ToolPath("check", "kirake-check"), data.path().string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.output, "data.txt: not a regular file")) << run.output;
    EXPECT_TRUE(Contains(run.output, "End.wav: not a regular file")) << run.output;
}

// kirake-glyphs writes no glyph file larger than the browser and Windows builds read (16 MiB): here 128
// block and shape characters at 16 heights of 400, some 19 MB.
TEST(BoundedInputs, GlyphFilesStayWithinWhatTheBuildsRead) {
    ScratchDir dir;
    std::string text = "\xef\xbb\xbftx0";
    for (uint32_t c = 0x2580; c < 0x2600; ++c)  // three bytes of UTF-8 each
        text += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
    WriteText(dir.path() / "data.txt", text + "<!");
    std::vector<std::string> args = {ToolPath("glyphs", "kirake-glyphs"), "--story", dir.path().string(),
                                     (dir.path() / "glyphs.kfnt").string()};
    args.insert(args.end(), 16, "400");
    authoring::RunResult run = RunTool(args);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "glyphs.kfnt: 128 characters at 16 heights take ")) << run.output;
    EXPECT_TRUE(Contains(run.output, "bytes, more than the 16 MiB the browser and Windows builds read; nothing "
                                     "written: bake fewer characters or fewer or lower heights"))
        << run.output;
    EXPECT_FALSE(fs::exists(dir.path() / "glyphs.kfnt"));
}
