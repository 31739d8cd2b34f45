// Stories in UTF-8: a data.txt with the mark types one character a frame, advancing ASCII by the width
// table and every other character by its own width; the same text without the mark is stepped over
// byte by byte as always; the checker measures and reports by character.
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "run_program.h"
#include "test_support.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;

const std::string MARK = "\xEF\xBB\xBF";

// The first line of the test story's message 4 (utf8-story.txt): "Café? Ça va, señor Müller. 日本語!".
std::string FirstLine() {
    std::string body = ReadText(KIRAKE_UTF8_MESSAGE);
    return body.substr(0, body.find("</"));
}
const std::string BODY = FirstLine();

struct Typed {
    std::vector<long> pos, penX;
    std::string dir;
    long bodyStart;  // the offset of BODY in the file
};

// Message 4 (the first of the route) begins with BODY: the UTF-8 test story, with or without the mark.
Typed Type(bool mark) {
    Typed t;
    t.dir = MakeTempDir(mark ? "utf8-marked" : "utf8-plain");
    CopyFolder(KIRAKE_UTF8_STORY_DIR, t.dir);
    std::string text = ReadText(t.dir + "/data.txt").substr(mark ? 0 : MARK.size());
    std::ofstream(t.dir + "/data.txt", std::ios::binary) << text;
    t.bodyStart = long(text.find("tx4") + 3);
    std::string errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", t.dir, "--start", "route:hiyori", "--frames", "45", "--trace",
                         t.dir + "/trace.jsonl", "--capture", "44", "--capture-dir", t.dir},
                        &errors),
              0)
        << errors;
    for (const std::string& line : ReadLines(t.dir + "/trace.jsonl")) {
        std::string message = TraceField(line, "message");
        t.pos.push_back(TraceNumber(message, "pos"));
        t.penX.push_back(TraceNumber(message, "penX"));
    }
    return t;
}

}  // namespace

TEST(TextUtf8, MarkedStoryTypesACharacterAFrame) {
    if (access(KIRAKE_UTF8_STORY_DIR "/data.txt", R_OK) != 0) GTEST_SKIP() << "no UTF-8 test story";
    Typed t = Type(true);
    ASSERT_EQ(t.pos.size(), 45u);
    // Each frame types the next character (the first frame of the scene has typed the first).
    ASSERT_EQ(t.pos[0] - t.bodyStart, 1);
    size_t at = 1;
    std::vector<int> advances;
    for (size_t f = 1; f < t.pos.size() && at < BODY.size(); ++f, ++at) {
        uint32_t codePoint = uint8_t(BODY[at]);
        int length = uint8_t(BODY[at]) >= 0x80 ? DecodeUtf8(reinterpret_cast<const uint8_t*>(BODY.data()) + at,
                                                             uint32_t(BODY.size() - at), &codePoint)
                                               : 1;
        ASSERT_GT(length, 0);
        ASSERT_EQ(t.pos[f] - t.pos[f - 1], length) << "frame " << f;
        int advance = int(t.penX[f] - t.penX[f - 1]);
        if (codePoint < 0x80) {
            EXPECT_EQ(advance, charWidthTable[codePoint]) << "frame " << f;
        }
        advances.push_back(advance);
        at += size_t(length - 1);
    }
    ASSERT_EQ(at, BODY.size());
    // The three characters of 日本語 are full width, alike, and wider than the accented letters.
    std::vector<int> kanji(advances.end() - 4, advances.end() - 1);
    EXPECT_EQ(kanji[0], kanji[1]);
    EXPECT_EQ(kanji[1], kanji[2]);
    EXPECT_GE(kanji[0], 18);
    EXPECT_LT(advances[2], kanji[0]);  // é (after "a", "f")
    EXPECT_GT(advances[2], 0);
}

TEST(TextUtf8, WithoutTheMarkEveryByteIsSteppedOverAsBefore) {
    if (access(KIRAKE_UTF8_STORY_DIR "/data.txt", R_OK) != 0) GTEST_SKIP() << "no UTF-8 test story";
    Typed t = Type(false);
    ASSERT_EQ(t.pos.size(), 45u);
    ASSERT_EQ(t.pos[0] - t.bodyStart, 1);
    for (size_t f = 1; f < t.pos.size() && f < BODY.size(); ++f) {
        uint8_t byte = uint8_t(BODY[f]);
        ASSERT_EQ(t.pos[f] - t.pos[f - 1], 1) << "frame " << f;
        EXPECT_EQ(t.penX[f] - t.penX[f - 1], byte < 0x80 ? charWidthTable[byte] : 0) << "frame " << f;
    }
}

TEST(TextUtf8, CheckerMeasuresCharactersAndPlacesBadBytes) {
    std::string dir = MakeTempDir("utf8-check");
    std::string text = MARK + "Notes.\n";
    const char* ids = "0123456789#$%&:-?,.";
    for (const char* p = ids; *p; ++p) {
        std::string body = "Hello.";
        if (*p == '1') body = "\xE6\x97\xA5\xE6\x9C\xAC" + std::string(26, '\xE2') + "x";  // bad bytes, not wide
        if (*p == '2') {
            body.clear();
            for (int i = 0; i < 30; ++i) body += "\xE6\x97\xA5";  // 30 full-width characters: too wide
        }
        text += std::string("tx") + *p + body + "<!\n";
    }
    std::ofstream(dir + "/data.txt", std::ios::binary) << text;
    std::string out = dir + "/out.txt";
    ProcessOptions options;
    options.output = out;
    EXPECT_NE(RunProcess({std::string(KIRAKE_TOOLS_DIR) + "/check/" + ExecutableName("kirake-check"), dir}, options).status, 0);
    std::string report = ReadText(out);
    EXPECT_NE(report.find("data.txt:3:6: the byte 0xE2 starts no UTF-8 character"), std::string::npos) << report;
    EXPECT_NE(report.find("message '2', page 1, line 1 is"), std::string::npos) << report;
    EXPECT_EQ(report.find("message '1', page 1, line 1 is"), std::string::npos) << report;
    EXPECT_EQ(report.find("bytes above 127"), std::string::npos) << report;
}
