// Files from anyone: pictures, effects, songs and sources that claim far more than they hold, or that end
// early. Each case here once crashed, overflowed or asked for gigabytes.
#include <gtest/gtest.h>
#include <malloc.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "test_support.h"
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/sound.h"
#include "sound_test_songs.h"
#include "story/story.h"

namespace {

using authoring::Get32;
using authoring::Set32;

// A bottom-up 8-bit BMP head (no colour table) with the given size, compression and pixel data.
std::vector<uint8_t> BmpHead(int32_t width, int32_t height, uint32_t compression) {
    std::vector<uint8_t> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Set32(b, 10, 54);
    Set32(b, 14, 40);
    Set32(b, 18, uint32_t(width));
    Set32(b, 22, uint32_t(height));
    b[26] = 1;
    b[28] = 8;
    Set32(b, 30, compression);
    Set32(b, 46, 1);  // one colour, cut short: the decoder takes what is there
    return b;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(HardenedPictures, RunsAndMovesNeverCountPastThePicture) {
    // One row of runs adding up to 2^31 + 64 pixels: the column counter used to overflow and the
    // decoder wrote gigabytes past the pixel buffer.
    std::vector<uint8_t> b = BmpHead(4, 2, 1);
    b.reserve(b.size() + 2 * ((size_t(1) << 23) + 40000) + 8);
    for (uint32_t runs = 0; runs < (1u << 23) + 40000; ++runs) b.insert(b.end(), {0xFF, 7});
    b.insert(b.end(), {0, 2, 200, 200, 2, 9, 0, 1});  // a move far outside, then a run and the end
    Bitmap* bitmap = DecodeBitmap(b.data(), b.size());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(bitmap->pixels, bitmap->pixels + 8), (std::vector<uint8_t>{0, 0, 0, 0, 7, 7, 7, 7}));
    FreeBitmap(bitmap);

    struct Case {
        const char* what;
        int32_t width, height;
    };
    // A 54-byte file of height -2^31; then pictures that claim more than any sheet shows (RLE8, so the
    // claim costs the file nothing).
    std::vector<uint8_t> head = BmpHead(4, INT32_MIN, 0);
    head.push_back(0);
    EXPECT_EQ(DecodeBitmap(head.data(), head.size()), nullptr);
    const Case refused[] = {{"wider than any sheet shows", MAX_PICTURE_SIDE + 1, 1},
                            {"higher than any sheet shows", 1, MAX_PICTURE_SIDE + 1},
                            {"the old bound of 8192", 8192, 8192}};
    for (const Case& c : refused) {
        std::vector<uint8_t> rle = BmpHead(c.width, c.height, 1);
        rle.insert(rle.end(), {0, 1});
        EXPECT_EQ(DecodeBitmap(rle.data(), rle.size()), nullptr) << c.what;
    }
    std::vector<uint8_t> largest = BmpHead(MAX_PICTURE_SIDE, MAX_PICTURE_SIDE, 1);
    largest.insert(largest.end(), {0, 1});
    bitmap = DecodeBitmap(largest.data(), largest.size());
    ASSERT_NE(bitmap, nullptr) << "the largest picture still loads";
    FreeBitmap(bitmap);
}

class HardenedSheets : public DisplayTest {};

TEST_F(HardenedSheets, AReplacedSheetGivesItsMemoryBack) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer's allocator keeps its own books";
    std::filesystem::path cwd = std::filesystem::current_path();
    std::string dir = MakeTempDir("sheets");
    WriteFile(dir + "/big.BMP", MakeBmp(1000, 1000, std::vector<uint8_t>(1000 * 1000, 3)));
    std::filesystem::current_path(dir);
    auto held = [] {
        struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    };
    ReplaceSheet(&display.bgSheet, "big.BMP");
    size_t before = held();
    for (int scene = 0; scene < 40; ++scene) ReplaceSheet(&display.bgSheet, "big.BMP");
    size_t after = held();
    std::filesystem::current_path(cwd);
    ASSERT_NE(display.bgSheet, nullptr);
    EXPECT_EQ(SurfaceWidth(display.bgSheet), 1000);
    EXPECT_LT(after, before + (size_t(4) << 20)) << "40 pictures of 1 MB replaced one another";
}

TEST(HardenedEffects, WhatTheMixerWouldHoldDecidesNotOnlyTheFileSize) {
    const SoundFormat low = {1, 1, 100, 100, 1, 8, 0};
    const SoundFormat usual = {1, 1, 22050, 22050, 1, 8, 0};
    const SoundFormat wide = {1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(SoundConvertedBytes(&usual, 22050, 48000), 96000u);
    // 256 KiB at 100 Hz: 44 minutes, 231 MB at 44.1 kHz. It used to be converted whole.
    EXPECT_NE(SoundBufferProblem(&low, 256 << 10, 44100), nullptr);
    EXPECT_EQ(SoundBufferProblem(&low, 4096, 44100), nullptr) << "a short one at 100 Hz is fine";
    EXPECT_EQ(SoundBufferProblem(&wide, MAX_SOUND_BYTES, 48000), nullptr) << "16 MiB of CD sound fits";
    EXPECT_NE(SoundBufferProblem(&wide, MAX_SOUND_BYTES + 4, 48000), nullptr);
    EXPECT_NE(SoundBufferProblem(&wide, MAX_SOUND_BYTES, 96000), nullptr) << "converted, it is twice the size";

    FreshSound();
    std::string lowPath = WriteTestFile("low.wav", MakeWav58(1, 100, 8, std::vector<uint8_t>(256 << 10, 200)));
    EXPECT_EQ(LoadEffect(lowPath.c_str(), 2), 0);
    EXPECT_EQ(sound.slots[2], nullptr);
    std::string usualPath = WriteTestFile("usual.wav", MakeWav58(1, 22050, 8, std::vector<uint8_t>(1 << 20, 200)));
    ASSERT_EQ(LoadEffect(usualPath.c_str(), 3), 1);
    EXPECT_EQ(SlotInfo(3).frames, 2u << 20) << "converted to 44.1 kHz, to the frame";
    ResetSound();
}

class SoundSongEnd : public testing::Test {
protected:
    void SetUp() override { FreshSound(); }
    void TearDown() override { ResetSound(); }
    static TestSong Song(int32_t n, uint32_t interval, uint32_t noteLength, int32_t wordBase) {
        TestSong s;
        s.stepInterval = interval;
        s.songLength = s.trackLength = n;
        for (TestInstrument& in : s.instruments) in.noteLength = noteLength;
        for (int t = 0; t < 4; ++t)
            for (int32_t i = 0; i < n; ++i) s.tracks[t].push_back(wordBase + 16 * t + i);
        return s;
    }
};

TEST_F(SoundSongEnd, AFileThatEndsEarlyKeepsTheRestOfTheSongBeforeIt) {
    const std::vector<uint8_t> first = Song(6, 100, 70000, 0x100).Bytes();
    const std::vector<uint8_t> second = Song(4, 250, 500, 0x200).Bytes();
    struct Case {
        const char* what;
        size_t length;  // bytes of the second song that the file holds
        uint32_t interval, noteLength0;
        int32_t trackLength;
        std::vector<int32_t> track0, track1;
    };
    const Case cases[] = {
        {"empty: the first song with silent tracks", 0, 100, 70000, 6, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
        {"up to the instruments", 24, 250, 70000, 4, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"half a note length", 30, 250, (70000 & 0xFFFF0000u) | 500, 4, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"header only", 1048, 250, 500, 4, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"into track 1, a word cut short", 1048 + 16 + 9, 250, 500, 4, {0x200, 0x201, 0x202, 0x203}, {0x210, 0x211, 0, 0}},
        {"one byte short", 1048 + 64 - 1, 250, 500, 4, {0x200, 0x201, 0x202, 0x203}, {0x210, 0x211, 0x212, 0x213}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(LoadSong(WriteTestFile("first.pmd", first).c_str()), 1);
        std::vector<uint8_t> cut(second.begin(), second.begin() + long(c.length));
        SongControl(SONG_LOAD, WriteTestFile("second.pmd", cut).c_str());
        EXPECT_EQ(music.header.stepInterval, c.interval) << c.what;
        EXPECT_EQ(music.header.trackLength, c.trackLength) << c.what;
        EXPECT_EQ(music.header.instruments[0].noteLength, c.noteLength0) << c.what;
        EXPECT_EQ(music.tracks[0], c.track0) << c.what;
        EXPECT_EQ(music.tracks[1], c.track1) << c.what;
        EXPECT_EQ(music.tracks[3].size(), size_t(c.trackLength)) << c.what;
        EXPECT_EQ(SlotInfo(400).bytes, c.noteLength0) << c.what << ": voices built from the merged header";
    }
    // What would index outside the tracks is still refused: a first song of 6 steps looping at 5, then a
    // file that sets the track length to 4 and ends before the loop step.
    TestSong looping = Song(6, 100, 3000, 0x100);
    looping.loopStep = 5;
    ASSERT_EQ(LoadSong(WriteTestFile("first.pmd", looping.Bytes()).c_str()), 1);
    std::vector<uint8_t> shortened(second.begin(), second.begin() + 24);
    Set32(shortened, 12, 5);
    shortened.resize(16);  // loop step 5 stays, song and track length stay 6: nothing to refuse
    EXPECT_EQ(LoadSong(WriteTestFile("second.pmd", shortened).c_str()), 1);
    std::vector<uint8_t> refused(second.begin(), second.begin() + 24);  // track length 4, loop step 0 ...
    Set32(refused, 12, 5);                                               // ... but loop step 5
    EXPECT_EQ(LoadSong(WriteTestFile("second.pmd", refused).c_str()), 0);
    EXPECT_EQ(music.header.trackLength, 6);
}

// ---- the authoring tools -------------------------------------------------------------------------------

namespace {
using authoring::RunResult;
using authoring::RunTool;
using authoring::ScratchDir;
using authoring::ToolPath;
namespace fs = std::filesystem;

RunResult Check(const fs::path& dir) { return RunTool({ToolPath("check", "kirake-check"), dir.string()}); }

fs::path GoodFolder(const ScratchDir& scratch) {
    fs::path dir = scratch.path() / "data";
    fs::copy(KIRAKE_DATA_DIR, dir, fs::copy_options::recursive);
    return dir;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}
}  // namespace

TEST(HardenedCheck, FindsFilesAsTheGameDoes) {
    ScratchDir scratch;
    fs::path dir = GoodFolder(scratch);
    fs::rename(dir / "bmp", dir / "BMP");
    fs::rename(dir / "BMP" / "stage2.BMP", dir / "BMP" / "Stage2.bmp");
    RunResult r = Check(dir);
    EXPECT_EQ(r.status, 0) << r.output;
    // A picture beside the folder (its parent) is one the game finds too.
    fs::rename(dir / "BMP" / "sakura.BMP", scratch.path() / "SAKURA.bmp");
    r = Check(dir);
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST(HardenedCheck, ReportsEveryFileTheGameWillNotLoadWithTheReason) {
    ScratchDir scratch;
    fs::path dir = GoodFolder(scratch);
    // A picture that claims more than the game loads.
    std::vector<uint8_t> huge = ReadBytes(dir / "bmp" / "stage1.BMP");
    Set32(huge, 18, 8192);
    WriteBytes(dir / "bmp" / "stage1.BMP", huge);
    // An effect at 100 Hz that would grow past what the mixer holds.
    WriteBytes(dir / "mag.wav", MakeWav58(1, 100, 8, std::vector<uint8_t>(256 << 10, 128)));
    // A note longer than the game builds.
    std::vector<uint8_t> song = ReadBytes(dir / "koi.pmd");
    Set32(song, 24 + 340 + 4, MAX_NOTE_LENGTH + 1);
    WriteBytes(dir / "koi.pmd", song);
    RunResult r = Check(dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("bmp/stage1.BMP: claims 8192x272 pixels; the game loads no picture wider or higher "
                            "than 1024"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("mag.wav: the game will not load it: more than 32 MiB once converted"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("koi.pmd: instrument 1: note length 262145 bytes (at most 262144)"), std::string::npos)
        << r.output;
}

TEST(HardenedCheck, ScriptReportsComeInLineOrderAndAreBounded) {
    ScratchDir scratch;
    fs::path dir = GoodFolder(scratch);
    std::vector<uint8_t> bytes = ReadBytes(dir / "data.txt");
    std::string text(bytes.begin(), bytes.end());
    // Message '5' loses its end code: the next line starts message '6', which the game would type on into.
    size_t five = text.find("tx5");
    size_t end = text.find("<!", five);
    ASSERT_NE(end, std::string::npos);
    text.erase(end, 2);
    // Message '.' moves to the top (messages may stand in any order) and gets an unknown code; message '0',
    // now after it, too.
    size_t dot = text.find("tx.");
    std::string dotLine = text.substr(dot, text.find('\n', dot) + 1 - dot);
    text.erase(dot, dotLine.size());
    text.insert(text.find("tx0"), dotLine);
    text.insert(text.find("tx.") + 3, "<z");
    text.insert(text.find("tx0") + 3, "<y");
    // And 5000 sound codes that play nothing in message '2'.
    std::string many;
    for (int k = 0; k < 5000; ++k) many += "<wv9";
    text.insert(text.find("tx2") + 3, many);
    WriteText(dir / "data.txt", text);
    RunResult r = Check(dir);
    EXPECT_EQ(r.status, 1);
    five = text.find("tx5");
    size_t lineFive = 1 + size_t(std::count(text.begin(), text.begin() + long(five), '\n'));
    EXPECT_NE(r.output.find("data.txt:" + std::to_string(lineFive) +
                            ": message '5' has no end code \"<!\": the game would type on into message '6'"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("message '6' has no end code"), std::string::npos) << r.output;
    EXPECT_LT(r.output.find("message '.' has an unknown code"), r.output.find("message '0' has an unknown code"))
        << r.output;
    EXPECT_EQ(Count(r.output, "message '2' has a sound code that plays nothing"), 20u) << r.output;
    EXPECT_NE(r.output.find("data.txt: 4980 more reports of sound codes that play nothing not shown"),
              std::string::npos)
        << r.output;
    // The lines of the report are in order.
    size_t lastLine = 0;
    for (size_t at = r.output.find("data.txt:"); at != std::string::npos; at = r.output.find("\ndata.txt:", at + 1)) {
        size_t colon = r.output.find("data.txt:", at) + 9;
        size_t line = std::stoul(r.output.substr(colon));
        EXPECT_GE(line, lastLine) << r.output;
        lastLine = line;
    }
}

TEST(HardenedSongCompiler, TheOutputBoundsTheWorkAndOneLimitForNotes) {
    ScratchDir scratch;
    std::string chord = "C4";
    for (const char* n : {"C#4", "D4", "D#4", "E4", "F4", "F#4", "G4", "G#4", "A4", "A#4", "B4", "C5", "C#5", "D5",
                          "D#5", "E5", "F5", "F#5", "G5", "G#5", "A5", "A#5", "B5"})
        for (int k = 0; k < 4; ++k) chord += std::string("+") + n;
    // 2^20 steps of a 93-note chord: each copy once took its own list of 93 notes (1.2 GB in all).
    std::string source = "track 0\n [ [ [ [ " + chord + " ]x16 ]x256 ]x16 ]x16\nend\n";
    WriteText(scratch.path() / "big.song", source);
    fs::path out = scratch.path() / "big.pmd";
    WriteText(scratch.path() / "more.song", "track 0\n [ [ [ C4 ]x256 ]x256 ]x16\n\n [ C4 ]x2\nend\n");
    RunResult r = RunTool({ToolPath("song", "kirake-song"), "compile", (scratch.path() / "more.song").string(), "-o",
                           out.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("more.song:4: error: the track is longer than 1048576 steps"),
              std::string::npos)
        << r.output;
    WriteText(scratch.path() / "long.song", "instrument 0\n length 262145\nend\ntrack 0\n C4\nend\n");
    r = RunTool({ToolPath("song", "kirake-song"), "compile", (scratch.path() / "long.song").string(), "-o",
                 out.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("long.song:2: error: 'length' must be between 4 and 262144"), std::string::npos)
        << r.output;

#ifdef _WIN32
    GTEST_SKIP() << "no address space limit for a program started on Windows";
#endif
    ProcessOptions limited;
    if (!kSanitized) limited.addressSpace = 800000ull * 1024;  // 800 MB
    r = RunTool({ToolPath("song", "kirake-song"), "compile", (scratch.path() / "big.song").string(), "-o",
                 out.string()}, limited);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(fs::file_size(out), 1048 + 16 * (size_t(1) << 20));
}

TEST(HardenedArt, NumbersOutOfRangeAreRefusedWithTheirLine) {
    ScratchDir scratch;
    WriteText(scratch.path() / "p.pal", "0 black #000000\n1 white #ffffff\n");
    WriteText(scratch.path() / "huge.pic", "size 8 8\npalette p\nscale 1000000\nscale 1000000\n"
                                                      "vgrad 0 0 8 8 black white\n");
    RunResult r = RunTool({ToolPath("art", "kirake-art"), (scratch.path() / "huge.pic").string(),
                           (scratch.path() / "huge.bmp").string()});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("huge.pic:5: the gradient is out of range"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(scratch.path() / "huge.bmp"));
}
