// kirake-sfx import on WAV files as sox writes them: the result is the game's layout, holds the same
// sound at 22050 Hz, and what cannot be taken is refused with the reason, before it is read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include "test_support.h"

using namespace authoring;

namespace {

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

bool HaveSox() { return RunTool({"sox", "--version"}).status == 0; }

RunResult Sox(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"sox", "-n"};
    command.insert(command.end(), args.begin(), args.end());
    return RunTool(command);
}

RunResult Import(const fs::path& in, const fs::path& out) {
    return RunTool({ToolPath("sfx", "kirake-sfx"), "import", in.string(), out.string()});
}

// The 16-bit mono samples of a file in the game's layout (empty when the head is not that layout).
std::vector<int16_t> Samples58(const fs::path& file) {
    std::vector<uint8_t> b = ReadBytes(file);
    if (b.size() < 58 || std::string(b.begin() + 36, b.begin() + 42) != std::string("\0\0fact", 6) ||
        std::string(b.begin() + 50, b.begin() + 54) != "data" || Get16(b, 22) != 1 || Get32(b, 24) != 22050 ||
        Get16(b, 34) != 16 || Get32(b, 54) + 58 > b.size() || Get32(b, 46) != Get32(b, 54) / 2)
        return {};
    std::vector<int16_t> s(Get32(b, 54) / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(Get16(b, 58 + 2 * i));
    return s;
}

double Rms(const std::vector<int16_t>& s) {
    double sum = 0;
    for (int16_t v : s) sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size())) / 32768.0;
}

int ZeroCrossings(const std::vector<int16_t>& s) {
    int n = 0;
    for (size_t i = 1; i < s.size(); ++i) n += (s[i - 1] < 0) != (s[i] < 0);
    return n;
}

}  // namespace

TEST(AuthoringSfx, ImportsWhatSoxWrites) {
    if (!HaveSox()) GTEST_SKIP() << "no sox";
    ScratchDir dir;
    struct Form {
        const char* what;
        std::vector<std::string> options;  // sox output options
    } forms[] = {
        {"16-bit mono 44100 (44-byte head)", {"-r", "44100", "-b", "16", "-c", "1"}},
        {"24-bit stereo 48000 (extensible)", {"-r", "48000", "-b", "24", "-c", "2"}},
        {"8-bit unsigned mono 11025", {"-r", "11025", "-b", "8", "-e", "unsigned", "-c", "1"}},
        {"32-bit stereo 22050", {"-r", "22050", "-b", "32", "-e", "signed", "-c", "2"}},
    };
    for (const Form& form : forms) {
        fs::path in = dir.path() / "in.wav", out = dir.path() / "out.wav";
        std::vector<std::string> args = form.options;
        args.insert(args.end(), {in.string(), "synth", "0.5", "sine", "1000", "vol", "0.5"});
        ASSERT_EQ(Sox(args).status, 0) << form.what;
        RunResult r = Import(in, out);
        ASSERT_EQ(r.status, 0) << form.what << ": " << r.output;
        std::vector<int16_t> s = Samples58(out);
        EXPECT_NEAR(double(s.size()), 11025, 2) << form.what;
        EXPECT_NEAR(Rms(s), 0.5 / std::sqrt(2.0), 0.01) << form.what;  // 8 bits are coarse, but within this
        EXPECT_NEAR(ZeroCrossings(s), 1000, 4) << form.what;
    }
    // A tone above the new Nyquist frequency is filtered out, not folded down into the hearing range.
    fs::path high = dir.path() / "high.wav", out = dir.path() / "high58.wav";
    ASSERT_EQ(Sox({"-r", "48000", "-b", "16", high.string(), "synth", "0.3", "sine", "15000"}).status, 0);
    ASSERT_EQ(Import(high, out).status, 0);
    EXPECT_LT(Rms(Samples58(out)), 0.003);
}

TEST(AuthoringSfx, ChunksInAnyOrder) {
    if (!HaveSox()) GTEST_SKIP() << "no sox";
    ScratchDir dir;
    fs::path plain = dir.path() / "plain.wav";
    ASSERT_EQ(Sox({"-r", "44100", "-b", "16", "-c", "2", plain.string(), "synth", "0.2", "sine", "440"}).status, 0);
    std::vector<uint8_t> b = ReadBytes(plain);
    ASSERT_EQ(Get32(b, 16), 16u);  // sox's plain head: "fmt " of 16 bytes at 12, "data" at 36
    std::vector<uint8_t> fmt(b.begin() + 12, b.begin() + 36), data(b.begin() + 36, b.end());
    std::vector<uint8_t> odd = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};  // an odd chunk and its pad
    std::vector<uint8_t> shuffled(b.begin(), b.begin() + 12);
    for (const auto* part : {&odd, &data, &fmt}) shuffled.insert(shuffled.end(), part->begin(), part->end());
    Set32(shuffled, 4, uint32_t(shuffled.size() - 8));
    WriteBytes(dir.path() / "shuffled.wav", shuffled);
    ASSERT_EQ(Import(plain, dir.path() / "a.wav").status, 0);
    RunResult r = Import(dir.path() / "shuffled.wav", dir.path() / "b.wav");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadBytes(dir.path() / "a.wav"), ReadBytes(dir.path() / "b.wav"));
}

TEST(AuthoringSfx, RefusesWithTheReason) {
    if (!HaveSox()) GTEST_SKIP() << "no sox";
    ScratchDir dir;
    struct Case {
        std::vector<std::string> options;
        const char* expected;
    } cases[] = {
        {{"-b", "32", "-e", "floating-point"}, "not integer PCM; convert it"},
        {{"-e", "a-law"}, "stored as A-law"},
        {{"-c", "4", "-b", "16"}, "4 channels; mono or stereo"},
    };
    for (const Case& c : cases) {
        fs::path in = dir.path() / "in.wav";
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {in.string(), "synth", "0.1", "sine", "500"});
        ASSERT_EQ(Sox(args).status, 0) << c.expected;
        RunResult r = Import(in, dir.path() / "out.wav");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(c.expected), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir.path() / "out.wav"));
    }
    WriteText(dir.path() / "text.wav", "not a sound at all");
    RunResult r = Import(dir.path() / "text.wav", dir.path() / "out.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not a WAV file"), std::string::npos) << r.output;
    EXPECT_EQ(RunTool({ToolPath("sfx", "kirake-sfx"), "import", "only-one.wav"}).status, 2);
}

// What cannot be an effect is refused at once: a FIFO, a device or a file over the 256 MiB read, by their
// type or size before a byte is read; a sound longer than the game plays, by its head before a sample is.
// (FIFOs, /dev/zero and sparse files as made here are the POSIX systems'.)
#ifndef _WIN32
TEST(AuthoringSfx, RefusesByTypeSizeAndHeadBeforeReading) {
    ScratchDir dir;
    fs::path fifo = dir.path() / "fifo.wav", zero = dir.path() / "zero.wav", huge = dir.path() / "huge.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", zero);
    WriteText(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), off_t(2) << 30), 0);  // sparse: no disk taken
    // 8-bit mono at 1000 Hz, 200 s: 200,000 bytes, 19.2 MB once at 48000 Hz in 16 bits.
    std::vector<uint8_t> head = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                 1, 0, 1, 0, 0xE8, 3, 0, 0, 0xE8, 3, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    Set32(head, 4, 36 + 200000);
    Set32(head, 40, 200000);
    head.resize(44 + 200000, 128);
    WriteBytes(dir.path() / "long.wav", head);
    struct Case {
        fs::path in;
        std::vector<std::string> options;
        std::string said;
    } cases[] = {
        {fifo, {}, fifo.string() + ": not a regular file"},
        {zero, {}, zero.string() + ": not a regular file"},
        {huge, {}, "2147483648 bytes, more than the 256 MiB that is read"},
        {dir.path() / "long.wav", {"--rate", "48000"},
         "the game would not play the result: more than 16 MiB of samples (200.0 s; an effect of 16-bit samples at "
         "48000 Hz lasts at most 174.8 s"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {ToolPath("sfx", "kirake-sfx"), "import", c.in.string(),
                                          (dir.path() / "out.wav").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ProcessOptions options;
        options.seconds = 20;  // a FIFO blocked the reader for ever
        RunResult r = RunTool(args, options);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir.path() / "out.wav"));
    }
    // The same sound at a rate whose result the game plays is taken.
    RunResult r = RunTool({ToolPath("sfx", "kirake-sfx"), "import", (dir.path() / "long.wav").string(),
                           (dir.path() / "out.wav").string(), "--rate", "8000", "--bits", "8"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadBytes(dir.path() / "out.wav").size(), 58u + 1600000u);
}
#endif
