// The song compiler, run as authors run it: kirake-song compile SONG.txt -o SONG.pmd.
#include <gtest/gtest.h>
#include <cmath>
#include "test_support.h"

using namespace authoring;

namespace {

struct Compiled {
    RunResult run;
    std::vector<uint8_t> pmd;  // empty when no file was written
};

Compiled Compile(const std::string& text) {
    ScratchDir dir;
    WriteText(dir.path() / "song.txt", text);
    Compiled c;
    c.run = RunTool({ToolPath("song", "kirake-song"), "compile", (dir.path() / "song.txt").string(), "-o",
                 (dir.path() / "song.pmd").string()});
    if (fs::exists(dir.path() / "song.pmd")) c.pmd = ReadBytes(dir.path() / "song.pmd");
    return c;
}

uint32_t Word(const std::vector<uint8_t>& pmd, int track, int step) {
    uint32_t n = Get32(pmd, 20);
    return Get32(pmd, 1048 + 4 * (size_t(n) * track + step));
}

std::string Numbers(int count, int first, int stride) {
    std::string s;
    for (int i = 0; i < count; ++i) s += std::to_string(((first + stride * i) % 200) - 100) + " ";
    return s;
}

}  // namespace

TEST(AuthoringSong, HeaderInstrumentsAndStepsAsWritten) {
    std::string text =
        "# a test song\n"
        "tempo 100\n"
        "drums 250\n"
        "loop 2\n"
        "instrument 0\n"
        "  octave 3\n"
        "  length 5000\n"
        "  volume 280\n"
        "  wave sine\n"
        "  envelope values " + Numbers(30, 7, 3) + "\n    " + Numbers(34, 97, 3) + "\n"
        "end\n"
        "instrument 2\n"
        "  octave 1\n"
        "  wave values " + Numbers(256, 0, 7) + "\n"
        "end\n"
        "track 0\n"
        "  C4 A4 . @7 C4+E4+G4 | B5:2 v5\n"
        "end\n"
        "track 2\n"
        "  [ C2 [ B3 ]x2 ]x2 Db3\n"
        "end\n"
        "track drums\n"
        "  bd sd~ [ hh ]x2 @1 . cy\n"
        "end\n";
    Compiled c = Compile(text);
    ASSERT_EQ(c.run.status, 0) << c.run.output;
    EXPECT_NE(c.run.output.find("note: track 3 has 6 steps"), std::string::npos) << c.run.output;
    ASSERT_EQ(c.pmd.size(), 1048u + 16u * 7u);
    EXPECT_EQ(Get32(c.pmd, 8), 100u);   // step interval
    EXPECT_EQ(Get32(c.pmd, 12), 2u);    // loop step
    EXPECT_EQ(Get32(c.pmd, 16), 7u);    // song length: the longest track
    EXPECT_EQ(Get32(c.pmd, 20), 7u);    // track length
    EXPECT_EQ(Get32(c.pmd, 1044), 250u);

    // Instrument 0 as written; 1 has the defaults; 2 its own wave values.
    EXPECT_EQ(c.pmd[24], 3);
    EXPECT_EQ(Get32(c.pmd, 28), 5000u);
    EXPECT_EQ(Get32(c.pmd, 32), 280u);
    EXPECT_EQ(int8_t(c.pmd[24 + 20 + 0]), 0);     // sine: zero at the start,
    EXPECT_EQ(int8_t(c.pmd[24 + 20 + 64]), 127);  // top a quarter in,
    EXPECT_EQ(int8_t(c.pmd[24 + 20 + 192]), -127);
    for (int k = 0; k < 64; ++k)
        ASSERT_EQ(int8_t(c.pmd[24 + 276 + k]), k < 30 ? (7 + 3 * k) % 200 - 100 : (97 + 3 * (k - 30)) % 200 - 100)
            << k;
    EXPECT_EQ(c.pmd[364], 3);
    EXPECT_EQ(Get32(c.pmd, 368), 8000u);
    EXPECT_EQ(Get32(c.pmd, 372), 250u);
    EXPECT_EQ(c.pmd[704], 1);
    for (int k = 0; k < 256; ++k) ASSERT_EQ(int8_t(c.pmd[704 + 20 + k]), (7 * k) % 200 - 100) << k;

    // Track 0: C4 is voice 0 at octave shift 3, A4 voice 9; the pan sits in the top byte.
    const uint32_t track0[7] = {1u << 0, 1u << 9, 0, 0x07000000u | 1u << 0 | 1u << 4 | 1u << 7, 1u << 23, 0, 1u << 5};
    const uint32_t track2[7] = {1u << 0, 1u << 23, 1u << 23, 1u << 0, 1u << 23, 1u << 23, 1u << 13};
    const uint32_t track3[7] = {1u << 0, 1u << 5, 1u << 10, 1u << 10, 0x01000000u, 1u << 12, 0};
    for (int s = 0; s < 7; ++s) {
        EXPECT_EQ(Word(c.pmd, 0, s), track0[s]) << "track 0 step " << s;
        EXPECT_EQ(Word(c.pmd, 1, s), 0u) << "track 1 step " << s;
        EXPECT_EQ(Word(c.pmd, 2, s), track2[s]) << "track 2 step " << s;
        EXPECT_EQ(Word(c.pmd, 3, s), track3[s]) << "track 3 step " << s;
    }
}

TEST(AuthoringSong, LoopMarkAndExplicitLength) {
    Compiled c = Compile("length 8\ntrack 1\n C4 D4 $ E4 F4\nend\ntrack drums\n bd . $ sd\nend\n");
    ASSERT_EQ(c.run.status, 0) << c.run.output;
    EXPECT_EQ(Get32(c.pmd, 12), 2u);
    EXPECT_EQ(Get32(c.pmd, 16), 8u);
    EXPECT_EQ(Word(c.pmd, 1, 3), 1u << 5);
    EXPECT_EQ(Word(c.pmd, 1, 7), 0u);
}

TEST(AuthoringSong, ErrorsNameTheLine) {
    const std::string inst = "instrument 0\n octave 3\nend\n";  // lines 1-3
    struct Case {
        const char* what;
        std::string text;
        const char* expected;  // ":LINE: error: ..." part
    } cases[] = {
        {"unknown setting", "tempo 100\n\nspeed 3\n", ":3: error: unknown setting 'speed'"},
        {"note below the range", inst + "track 0\n C4 D4\n B3\nend\n", ":6: error: note B3 is outside instrument 0"},
        {"note above the range", inst + "track 0\n C6\nend\n", ":5: error: note C6 is outside instrument 0"},
        {"not a note", inst + "track 0\n C4 H4\nend\n", ":5: error: unknown note or command 'H4'"},
        {"drum name in a note track", "track 1\n bd\nend\n", ":2: error: unknown note or command 'bd'"},
        {"unknown drum", "track drums\n bd\n bd sn\nend\n", ":3: error: unknown drum 'sn'"},
        {"pan out of range", "track 0\n @9 C4\nend\n", ":2: error: pan is '@1' (left) to '@7'"},
        {"pan without a step", "track 0\n C4\n @3\nend\n", ":3: error: a pan change must come before a step"},
        {"open repeat", "track 0\n C4\n [ D4\n E4\nend\n", ":3: error: '[' without a closing"},
        {"stray repeat end", "track 0\n C4 ]x2\nend\n", ":2: error: ']x2' without an opening"},
        {"repeat without a count", "track 0\n [ C4 ]\nend\n", ":2: error: a repeat ends with ']x'"},
        {"bad step length", "track 0\n C4:0\nend\n", ":2: error: 'C4:0': the length after ':'"},
        {"voice out of range", "track 2\n v24\nend\n", ":2: error: voice 'v24' does not exist"},
        {"instrument without end", "tempo 90\ninstrument 1\n octave 2\n", ":2: error: instrument 1 has no 'end'"},
        {"track without end", "track 3\n bd\n", ":1: error: track 3 has no 'end'"},
        {"volume out of range", "instrument 2\n volume 400\nend\ntrack 0\n C4\nend\n",
         ":2: error: 'volume' must be between 0 and 300, not 400"},
        {"octave out of range", "instrument 0\n octave 25\nend\n", ":2: error: 'octave' must be between 0 and 19"},
        {"short note length", "instrument 0\n length 2\nend\n", ":2: error: 'length' must be between 4"},
        {"missing number", "tempo\ntrack 0\n C4\nend\n", ":1: error: 'tempo' needs a number"},
        {"unknown wave", "instrument 0\n wave sawtooth\nend\n", ":2: error: unknown wave shape 'sawtooth'"},
        {"too few envelope values", "instrument 0\n envelope values 1 2 3\nend\n",
         ":2: error: envelope values: 64 numbers needed, 3 given"},
        {"wave value out of range", "instrument 0\n wave values\n" + Numbers(100, 0, 1) + "\n 200\nend\n",
         ":4: error: wave values are numbers from -128 to 127, not '200'"},
        {"loop outside the song", "loop 4\ntrack 0\n C4 D4 E4 F4\nend\n", ":1: error: loop step 4 is not inside"},
        {"loop marks disagree", "track 0\n C4 $ D4\nend\ntrack 1\n C4 D4 $ E4\nend\n",
         ":5: error: loop mark '$' at step 2 disagrees"},
        {"track longer than the length", "length 2\ntrack 0\n C4 D4 E4\nend\n", ":1: error: track 0 has 3 steps"},
        {"bad track number", "track 4\n C4\nend\n", ":1: error: 'track' needs a number 0-3"},
        {"no steps at all", "tempo 100\n", ":1: error: the song has no steps"},
    };
    for (const Case& c : cases) {
        Compiled result = Compile(c.text);
        EXPECT_EQ(result.run.status, 1) << c.what << "\n" << result.run.output;
        EXPECT_NE(result.run.output.find(std::string("song.txt") + c.expected), std::string::npos)
            << c.what << ": expected \"" << c.expected << "\" in:\n" << result.run.output;
        EXPECT_TRUE(result.pmd.empty()) << c.what << ": no file is written after an error";
    }
}

TEST(AuthoringSong, ReportsEveryErrorNotOnlyTheFirst) {
    Compiled c = Compile("track 0\n X1\n C4\n Y2\nend\n");
    EXPECT_EQ(c.run.status, 1);
    EXPECT_NE(c.run.output.find(":2: error"), std::string::npos) << c.run.output;
    EXPECT_NE(c.run.output.find(":4: error"), std::string::npos) << c.run.output;
}

TEST(AuthoringSong, UsageAndMissingInput) {
    EXPECT_EQ(RunTool({ToolPath("song", "kirake-song"), "compile", "only-one-name.txt"}).status, 2);
    RunResult missing = RunTool({ToolPath("song", "kirake-song"), "compile", "/nonexistent/x.txt", "-o", "/tmp/x.pmd"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("/nonexistent/x.txt: cannot be read"), std::string::npos) << missing.output;
}

TEST(AuthoringSong, NamedShapesStayInRangeAndEnvelopesEndSilent) {
    const char* waves[] = {"sine", "triangle", "saw", "softsaw", "square", "pulse25", "pulse12", "organ", "noise"};
    const char* envelopes[] = {"flat", "pluck", "piano", "bell", "organ", "pad", "swell", "staccato"};
    for (const char* wave : waves)
        for (const char* envelope : envelopes) {
            Compiled c = Compile(std::string("instrument 0\n wave ") + wave + "\n envelope " + envelope +
                                 "\nend\ntrack 0\n C4\nend\n");
            ASSERT_EQ(c.run.status, 0) << wave << " " << envelope << "\n" << c.run.output;
            long sum = 0;
            for (int k = 0; k < 256; ++k) sum += int8_t(c.pmd[44 + k]);
            EXPECT_LT(std::abs(sum) / 256.0, 4.0) << wave << ": no offset in the wave";
            EXPECT_LE(std::abs(int8_t(c.pmd[300 + 63])), 2) << envelope << ": a note ends without a click";
            for (int k = 0; k < 64; ++k) EXPECT_GE(int8_t(c.pmd[300 + k]), 0) << envelope;
        }
}

// The default songs: each compiled, whole bars, looping from a step inside the song.
TEST(AuthoringSong, DefaultSongsAreBuilt) {
    for (const char* name : {"kura3.pmd", "koi.pmd", "end.pmd"}) {
        std::vector<uint8_t> pmd = ReadBytes(fs::path(KIRAKE_DATA_DIR) / name);
        ASSERT_GE(pmd.size(), 1048u) << name;
        uint32_t length = Get32(pmd, 16), n = Get32(pmd, 20), loop = Get32(pmd, 12);
        EXPECT_EQ(length, n) << name;
        EXPECT_EQ(length % 8, 0u) << name << ": whole bars";
        EXPECT_LT(loop, length) << name;
        EXPECT_EQ(pmd.size(), 1048u + 16u * n) << name;
        int notes[4] = {0, 0, 0, 0};
        for (int t = 0; t < 4; ++t)
            for (uint32_t s = 0; s < n; ++s) notes[t] += (Word(pmd, t, int(s)) & 0xFFFFFF) != 0;
        for (int t = 0; t < 4; ++t) EXPECT_GT(notes[t], int(n) / 8) << name << " track " << t << " is nearly empty";
    }
}

// Whatever the text, the compiler answers with a result and never dies.
TEST(AuthoringSong, GarbageNeverCrashes) {
    uint32_t state = 12345;
    const std::string alphabet = "track drums instrument end wave values envelope [ ] ]x3 ]x9999 @ @4 $ | . : :99 + "
                                 "C4 G#5 Bb3 v7 bd~ sd oh 0 -5 300 99999999999\n\n#\t";
    for (int round = 0; round < 40; ++round) {
        std::string text;
        int words = 5 + round * 10;
        for (int i = 0; i < words; ++i) {
            state = state * 1664525u + 1013904223u;
            if (round % 4 == 3) {
                text += char(state >> 24);  // raw bytes
            } else {
                size_t at = (state >> 8) % alphabet.size();
                size_t end = alphabet.find(' ', at);
                text += alphabet.substr(at, end == std::string::npos ? std::string::npos : end - at) + " ";
            }
        }
        Compiled c = Compile(text);
        EXPECT_TRUE(c.run.status == 0 || c.run.status == 1) << "round " << round << ": " << c.run.output;
    }
}
