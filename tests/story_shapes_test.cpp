// Stories of a shape the default story does not have, played by their key scripts as a player plays them:
// "four-answers" (tests/stories) asks a question with four answers, a second question on one way, names
// its speaker above the box, shows a meadow of its own and ends in one of three endings that the points
// of the answers decide, each with its own closing line under its own staff roll.
#include <filesystem>
#include <string>
#include <vector>
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

#ifdef KIRAKE_FOUR_ANSWERS_DIR
const std::string story = KIRAKE_FOUR_ANSWERS_DIR;
#else
const std::string story;
#endif
const std::string keys = KIRAKE_SOURCE_DIR "/tests/stories/four-answers/";

// "scenes.txt:N" in its quotes, as the trace gives the place of the first line of the story's script
// that holds `text`.
std::string PlaceOf(const std::string& text) {
    std::vector<std::string> lines = ReadLines(story + "/scenes.txt");
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(text) == std::string::npos) continue;
        std::string place = "\"scenes.txt:";
        place += std::to_string(i + 1);
        return place += '"';
    }
    return "(no line holds " + text + ")";
}

// Plays the story with a key script for `frames` frames: the trace and the captures in `dir`.
std::vector<std::string> Play(const std::string& keyScript, const std::string& dir, long frames,
                              const std::string& captures, const std::string& data = story) {
    fs::create_directories(dir);
    std::string errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", data, "--keys", keyScript, "--frames", std::to_string(frames), "--trace",
                         dir + "/trace.jsonl", "--capture", captures, "--capture-dir", dir},
                        &errors),
              0)
        << errors;
    return ReadLines(dir + "/trace.jsonl");
}

std::string Capture(const std::string& dir, long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    return ReadText(dir + name);
}

}  // namespace

// Each key script plays to its ending's staff roll, which comes to rest on that ending's closing line. The
// points decide the ending at its edges: 3 (the kite, higher) is the best ending, 1 (the fourth answer,
// which three downs reach only when the cursor has four answers to go through) the middle one, none the
// last.
TEST(StoryShapes, EachEndingPlaysToItsStaffRoll) {
    if (story.empty() || !fs::exists(story + "/data.txt")) GTEST_SKIP() << "no test story four-answers";
    authoring::RunResult check = authoring::RunTool({authoring::ToolPath("check", "kirake-check"), story});
    EXPECT_EQ(check.status, 0) << check.output;
    struct Ending {
        const char* name;
        const char* vars;
        const char* roll;
    } endings[] = {
        {"sunset", "{\"fun\":3,\"plan\":1,\"how\":1,\"ending\":1}", "roll credits closing-sunset"},
        {"walk", "{\"fun\":1,\"plan\":4,\"how\":0,\"ending\":2}", "roll credits closing-walk"},
        {"rain", "{\"fun\":0,\"plan\":3,\"how\":0,\"ending\":3}", "roll credits closing-rain"},
    };
    constexpr long FRAMES = 2400, EARLIER = 2100;
    std::string root = MakeTempDir("story-shapes-endings");
    std::vector<std::string> rests;
    for (const Ending& e : endings) {
        std::string dir = root + "/" + e.name;
        std::vector<std::string> trace =
            Play(keys + "keys-" + e.name + ".txt", dir, FRAMES, std::to_string(EARLIER) + "," + std::to_string(FRAMES - 1));
        ASSERT_EQ(long(trace.size()), FRAMES) << e.name;
        EXPECT_EQ(TraceField(trace.back(), "scene"), PlaceOf(e.roll)) << e.name;
        EXPECT_EQ(TraceField(trace.back(), "vars"), e.vars) << e.name;
        std::string rest = Capture(dir, FRAMES - 1);
        EXPECT_FALSE(rest.empty()) << e.name;
        EXPECT_TRUE(Capture(dir, EARLIER) == rest) << e.name << ": the roll has come to rest";
        for (const std::string& other : rests) EXPECT_FALSE(other == rest) << e.name << ": each ending ends on its own";
        rests.push_back(rest);
    }
}

// The speaker's name is drawn above the box while the message runs, and the window is as it was once the
// message ends: played again with the name taken out of the script, the frames differ only while it is
// shown.
TEST(StoryShapes, NameAboveTheBoxComesAndGoes) {
    if (story.empty() || !fs::exists(story + "/data.txt")) GTEST_SKIP() << "no test story four-answers";
    std::string root = MakeTempDir("story-shapes-name"), unnamed = root + "/unnamed";
    CopyFolder(story, unnamed);
    std::string script = ReadText(story + "/scenes.txt");
    size_t at = script.find("say ask by hiyori");
    ASSERT_NE(at, std::string::npos);
    WriteText(unnamed + "/scenes.txt", script.replace(at, 17, "say ask"));
    // 150: the first message; 200: Hiyori asks; 299: the four answers, the cursor on the fourth.
    const std::string captures = "150,200,299";
    std::vector<std::string> named = Play(keys + "keys-walk.txt", root + "/named", 300, captures);
    std::vector<std::string> plain = Play(keys + "keys-walk.txt", root + "/plain", 300, captures, unnamed);
    ASSERT_EQ(named.size(), 300u);
    EXPECT_EQ(TraceField(named[299], "scene"), PlaceOf("choice plan"));
    auto same = [&](long frame) { return Capture(root + "/named", frame) == Capture(root + "/plain", frame); };
    EXPECT_TRUE(same(150));
    EXPECT_FALSE(same(200)) << "the name is drawn";
    EXPECT_TRUE(same(299)) << "and taken away";
}
