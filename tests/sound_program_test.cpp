// Sound through whole programs: the game on the headless backend with effects and a title song, and the
// song player for authors.
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>
#include "run_program.h"
#include "sound_test_songs.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The left channel of a 44-byte-head stereo 16-bit WAV file.
std::vector<int16_t> LeftChannel(const std::vector<uint8_t>& wav) {
    std::vector<int16_t> left;
    for (size_t at = 44; at + 4 <= wav.size(); at += 4) left.push_back(int16_t(wav[at] | wav[at + 1] << 8));
    return left;
}

// The first sample at or after `from` that is not silent, or -1.
long FirstSound(const std::vector<int16_t>& samples, size_t from, size_t to) {
    for (size_t i = from; i < to && i < samples.size(); ++i)
        if (samples[i] != 0) return long(i);
    return -1;
}

int RunTool(std::vector<std::string> arguments, std::string* output = nullptr) {
    arguments.insert(arguments.begin(), std::string(KIRAKE_TOOLS_DIR) + "/song/" + ExecutableName("kirake-song"));
    ProcessOptions options;
    options.capture = true;
    ProcessResult run = RunProcess(arguments, options);
    if (output) *output = run.output;
    return run.status;
}

// Notes of 50 ms on instrument 0 at steps 0 and 3, every 100 ms; nothing else.
TestSong SparseSong() {
    TestSong song;
    song.stepInterval = 100;
    song.songLength = song.trackLength = 6;
    song.instruments[0].noteLength = 1102;
    song.tracks[0] = {1 << 9, 0, 0, 1 << 21, 0, 0};
    return song;
}

// Frames at which the steps of a song with this interval sound when play starts on frame `start`:
// the first frame whose clock reading (frame x 1000 / 60) is above the last step's reading plus the interval.
std::vector<long> StepFrames(uint32_t interval, long start, int steps) {
    std::vector<long> frames;
    uint32_t last = uint32_t(start * 1000 / 60);
    for (long f = start; int(frames.size()) < steps; ++f) {
        uint32_t now = uint32_t(f * 1000 / 60);
        if (now > last + interval) {
            frames.push_back(f);
            last = now;
        }
    }
    return frames;
}

TEST(SoundSongPlayer, RenderedNotesStartWhereTheStepsSay) {
    std::string dir = MakeTempDir("render");
    WriteFile(dir + "/sparse.pmd", SparseSong().Bytes());
    std::string output;
    ASSERT_EQ(RunTool({"render", dir + "/sparse.pmd", dir + "/out.wav", "--seconds", "1"}, &output), 0) << output;
    std::vector<int16_t> left = LeftChannel(ReadBytes(dir + "/out.wav"));
    ASSERT_EQ(left.size(), 44100u);
    std::vector<long> frames = StepFrames(100, 0, 7);
    EXPECT_EQ(frames, (std::vector<long>{7, 14, 21, 28, 35, 42, 49}));
    long note0 = frames[0] * 735, note3 = frames[3] * 735;
    EXPECT_EQ(FirstSound(left, 0, left.size()), note0) << "nothing before the first step";
    EXPECT_EQ(FirstSound(left, size_t(note0) + 2205 + 128, left.size()), note3)
        << "silence after the 50 ms note until step 3";
    EXPECT_EQ(FirstSound(left, size_t(note3) + 2205 + 128, left.size()), frames[6] * 735)
        << "steps 4 and 5 are silent; then the song loops to step 0";
}

TEST(SoundSongPlayer, DefaultLengthIsOnePassAndTwoSecondsOfRingingOut) {
    std::string dir = MakeTempDir("render-default");
    WriteFile(dir + "/sparse.pmd", SparseSong().Bytes());
    ASSERT_EQ(RunTool({"render", dir + "/sparse.pmd", dir + "/out.wav"}), 0);
    std::vector<int16_t> left = LeftChannel(ReadBytes(dir + "/out.wav"));
    long lastStepFrame = StepFrames(100, 0, 6).back();
    EXPECT_EQ(left.size(), size_t(lastStepFrame + 1 + 120) * 735);
}

TEST(SoundSongPlayer, InfoNamesWhatIsWrong) {
    std::string dir = MakeTempDir("info");
    TestSong good = SparseSong();
    good.tracks[3] = {0x02000001, 0, 0, 0, 0, 0};
    WriteFile(dir + "/good.pmd", good.Bytes());
    TestSong bad = SparseSong();
    bad.loopStep = 6;
    bad.instruments[1].octaveShift = 20;
    bad.tracks[2] = {0, 0, int32_t(0x09000001u), 0, 0, 0};
    WriteFile(dir + "/bad.pmd", bad.Bytes());
    std::vector<uint8_t> shortFile = good.Bytes();
    shortFile.resize(shortFile.size() - 4);
    WriteFile(dir + "/short.pmd", shortFile);
    std::string output;
    EXPECT_EQ(RunTool({"info", dir + "/good.pmd"}, &output), 0) << output;
    EXPECT_NE(output.find("track length N: 6"), std::string::npos) << output;
    EXPECT_NE(output.find("track 3 (drums): 1 steps with notes, 1 strikes, 1 pan changes, voices 0"),
              std::string::npos)
        << output;
    EXPECT_EQ(RunTool({"info", dir + "/bad.pmd"}, &output), 1);
    EXPECT_NE(output.find("loop step is outside the song"), std::string::npos) << output;
    EXPECT_NE(output.find("instrument 1: octave shift above 19"), std::string::npos) << output;
    EXPECT_NE(output.find("track 2: 1 pan index(es) outside 0 to 7, first at step 2"), std::string::npos) << output;
    EXPECT_EQ(RunTool({"info", dir + "/short.pmd"}, &output), 1);
    EXPECT_NE(output.find("shorter than 1048 + 16 x track length"), std::string::npos) << output;
    // The game plays a file that ends early with its missing steps silent, and so does the player.
    EXPECT_EQ(RunTool({"render", dir + "/short.pmd", dir + "/x.wav"}, &output), 0) << output;
    EXPECT_EQ(RunTool({"info"}, &output), 2);
}

// A data folder with the eight effects and a title song.
std::string SoundDataFolder() {
    std::string dir = MakeTempDir("sound-data");
    const char* names[] = {"End.wav", "Crash.wav", "Houtyo.wav", "Han.wav",
                           "mag.wav", "messg.wav", "hako3.wav",  "punch3.wav"};
    for (int i = 0; i < 8; ++i) {
        std::vector<uint8_t> data(3000);
        for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t(128 + ((k / size_t(8 + i)) % 2 ? 50 : -50));
        WriteFile(dir + "/" + names[i], MakeWav58(1, 22050, 8, data));
    }
    WriteFile(dir + "/kura3.pmd", SparseSong().Bytes());
    std::ofstream(dir + "/data.txt");  // an empty script
    return dir;
}

std::string TraceField(const std::string& line, const std::string& name) {
    size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return "";
    at += name.size() + 3;
    size_t end = line.find_first_of(line[at] == '[' ? "]" : (line[at] == '{' ? "}" : ",}"), at);
    return line.substr(at, end - at + (line[at] == '[' || line[at] == '{'));
}

// What the game recorded is silent until the first frame that plays something, and sounds from the
// first sample of that frame.
void ExpectSoundOnlyFromTheFirstPlay(const std::vector<std::string>& trace, const std::vector<int16_t>& left) {
    long firstPlay = -1;
    for (size_t f = 0; f < trace.size() && firstPlay < 0; ++f) {
        std::string plays = TraceField(trace[f], "plays");
        if (plays != "[]" || TraceField(trace[f], "song").find("\"playing\":1") != std::string::npos)
            firstPlay = long(f);
    }
    long end = firstPlay < 0 ? long(left.size()) : firstPlay * 735;
    EXPECT_EQ(FirstSound(left, 0, size_t(end)), -1) << "silence before frame " << firstPlay;
    if (firstPlay >= 0) {
        long sound = FirstSound(left, size_t(end), left.size());
        EXPECT_GE(sound, end);
        EXPECT_LT(sound, end + 735 * 8) << "sound within a few frames of the first play";
    }
}

TEST(SoundProgram, HeadlessRunLoadsTheSoundsAndRecordsSilenceUntilSomethingPlays) {
    std::string data = SoundDataFolder();
    std::string dir = MakeTempDir("run");
    std::string errors;
    ASSERT_EQ(RunKirake({"--headless", "--data", data, "--frames", "240", "--trace", dir + "/trace.jsonl",
                         "--record-audio", dir + "/audio.wav"},
                        &errors),
              0)
        << errors;
    std::vector<std::string> trace = ReadLines(dir + "/trace.jsonl");
    ASSERT_EQ(trace.size(), 240u);
    EXPECT_EQ(TraceField(trace[0], "song"), "{\"playing\":0,\"step\":-1}") << trace[0];
    std::vector<uint8_t> wav = ReadBytes(dir + "/audio.wav");
    ASSERT_EQ(wav.size(), 44u + 240 * 735 * 4);
    ExpectSoundOnlyFromTheFirstPlay(trace, LeftChannel(wav));
}

TEST(SoundProgram, WithoutASoundDeviceTheGamePlaysThroughSilently) {
    std::string data = SoundDataFolder();
    std::string dir = MakeTempDir("run-silent");
    std::string errors;
    ASSERT_EQ(RunKirake({"--headless", "--fault", "no-sound", "--data", data, "--frames", "600", "--trace",
                         dir + "/trace.jsonl", "--record-audio", dir + "/audio.wav"},
                        &errors),
              0)
        << errors;
    EXPECT_EQ(ReadLines(dir + "/trace.jsonl").size(), 600u);
    std::vector<int16_t> left = LeftChannel(ReadBytes(dir + "/audio.wav"));
    ASSERT_EQ(left.size(), 600u * 735);
    EXPECT_EQ(FirstSound(left, 0, left.size()), -1);
}

}  // namespace
