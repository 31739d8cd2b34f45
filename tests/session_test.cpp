// Leave and come back: a headless game left at a frame and continued shows, from there on, what the game
// played without a break shows (trace and captured pages), across the route's draw; a session of another
// story is not continued, and a damaged one is set aside.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "app/session.h"
#include "test_support.h"

namespace {

constexpr long END = 2700;  // past the route's question (the draw) into the ending

struct Game {
    std::string data, state, keys;
};

// A run of the game with its own kept state; the exit code, standard error in *errors.
int Play(const Game& game, const std::vector<std::string>& options, std::string* errors = nullptr) {
    ProcessOptions process;
    process.errors = MakeTempDir("session-err") + "/err.txt";
    process.environment = {"XDG_STATE_HOME=" + game.state};
    std::vector<std::string> command = {KIRAKE_BINARY, "--headless", "--data", game.data, "--builtin-story"};
    if (!game.keys.empty()) command.insert(command.end(), {"--keys", game.keys});
    command.insert(command.end(), options.begin(), options.end());
    int status = RunProcess(command, process).status;
    if (errors) *errors = ReadText(process.errors);
    return status;
}

// The default data with the keys of the way to the staff roll (through the route's question).
Game MakeGame(const std::string& name, const std::string& data) {
    Game game{data, MakeTempDir(name + "-state"), ""};
    std::string keys = MakeTempDir(name + "-keys") + "/keys.txt";
    EXPECT_EQ(Play(game, {"--start", "roll", "--start-keys", keys, "--frames", "1"}), 0);
    game.keys = keys;
    return game;
}

std::string Captured(const std::string& dir, long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    return ReadText(dir + name);
}

TEST(Session, ContinuedGameShowsWhatTheGameWithoutABreakShows) {
    if (!std::filesystem::exists(std::string(KIRAKE_DATA_DIR) + "/data.txt")) GTEST_SKIP() << "no default data";
    Game game = MakeGame("session", KIRAKE_DATA_DIR);
    std::string whole = MakeTempDir("session-whole");
    ASSERT_EQ(Play(game, {"--afresh", "--frames", std::to_string(END), "--trace", whole + "/trace.jsonl", "--capture",
                          std::to_string(END - 1), "--capture-dir", whole}),
              0);
    std::vector<std::string> wholeTrace = ReadLines(whole + "/trace.jsonl");
    ASSERT_EQ(long(wholeTrace.size()), END);
    // Left before the draw (the continued game draws by the calendar, as the whole one did), and after it
    // (continued on another day: the kept seed draws).
    for (const auto& [left, epoch] : {std::pair<long, long>{2000, 946684800}, {2400, 1234567890}}) {
        SCOPED_TRACE("left at " + std::to_string(left));
        ASSERT_EQ(Play(game, {"--afresh", "--frames", std::to_string(left)}), 0);
        std::string dir = MakeTempDir("session-continued");
        std::string errors;
        ASSERT_EQ(Play(game, {"--continue", "--epoch", std::to_string(epoch), "--frames", std::to_string(END),
                              "--trace", dir + "/trace.jsonl", "--capture", std::to_string(END - 1), "--capture-dir", dir},
                       &errors),
                  0)
            << errors;
        std::vector<std::string> trace = ReadLines(dir + "/trace.jsonl");
        ASSERT_EQ(long(trace.size()), END - left);
        for (long frame = left; frame < END; ++frame) ASSERT_EQ(trace[size_t(frame - left)], wholeTrace[size_t(frame)]);
        EXPECT_FALSE(Captured(dir, END - 1).empty());
        EXPECT_EQ(Captured(dir, END - 1), Captured(whole, END - 1));
    }
}

TEST(Session, AnotherStoryIsNotContinuedAndADamagedSessionIsSetAside) {
    if (!std::filesystem::exists(std::string(KIRAKE_DATA_DIR) + "/data.txt")) GTEST_SKIP() << "no default data";
    std::string data = MakeTempDir("session-data");
    CopyFolder(KIRAKE_DATA_DIR, data);
    Game game = MakeGame("session-changed", data);
    std::string fresh = MakeTempDir("session-fresh"), dir = MakeTempDir("session-changed-run");
    ASSERT_EQ(Play(game, {"--afresh", "--frames", "800", "--trace", fresh + "/trace.jsonl"}), 0);
    ASSERT_EQ(Play(game, {"--afresh", "--frames", "700"}), 0);
    std::ofstream(data + "/data.txt", std::ios::app) << "\n";
    std::string errors;
    ASSERT_EQ(Play(game, {"--continue", "--frames", "800", "--trace", dir + "/trace.jsonl"}, &errors), 0);
    EXPECT_NE(errors.find("not continued: the story has changed"), std::string::npos) << errors;
    std::vector<std::string> trace = ReadLines(dir + "/trace.jsonl"), freshTrace = ReadLines(fresh + "/trace.jsonl");
    ASSERT_EQ(trace.size(), 800u);
    EXPECT_EQ(trace.front(), freshTrace.front());

    // Damaged: cut short, then not a session at all. Each is set aside, named, and the game starts afresh.
    std::string kept = game.state + "/kirake/session";
    std::string whole = ReadText(kept);
    ASSERT_FALSE(whole.empty());
    for (const std::string& damaged : {whole.substr(0, whole.size() / 2), std::string("\x89PNG\r\n\x1a\n", 8)}) {
        std::ofstream(kept, std::ios::binary) << damaged;
        ASSERT_EQ(Play(game, {"--continue", "--frames", "800", "--trace", dir + "/trace.jsonl"}, &errors), 0);
        EXPECT_NE(errors.find(kept + " was set aside"), std::string::npos) << errors;
        EXPECT_EQ(ReadText(kept + ".bad"), damaged);
        EXPECT_EQ(ReadLines(dir + "/trace.jsonl").front(), freshTrace.front());
    }
}

// The file's reader: what it writes reads back; damage anywhere is named by its line.
TEST(Session, FileReadsBackAndDamageIsNamedByLine) {
    KeptSession s;
    s.identity = "0123456789abcdef";
    s.textName = "data.es.txt";
    s.frames = 900;
    s.shown = 905;
    s.clock = 4294967295u;
    s.keys = {{0, 0, 0}, {5, 16, 16}, {6, 0, 0}};
    s.comforts = {{0, 1, 0}, {40, 0, 1}};
    s.clockSteps = {{3, 77}};
    s.draws = {{600, 946684837u}};
    KeptSession back;
    std::string why, text = SessionText(s);
    ASSERT_TRUE(ParseSession(text, &back, &why)) << why;
    EXPECT_EQ(SessionText(back), text);
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"kirake-session 2\n", "line 1"},
        {text.substr(0, text.size() - 4), "cut short"},
        {text + "k 1 2 3\n", "more after the end"},
        {"kirake-session 1\nstory x\nframes 3\nk 5 1 1\nk 5 0 0\nend\n", "line 5: keys out of order"},
        {"kirake-session 1\nstory x\nframes 3\nc 5 9 0\nend\n", "line 4"},
        {"kirake-session 1\nstory x\nframes 99999999999999999999\nend\n", "line 3"},
        {"kirake-session 1\nstory x\nframes -1\nend\n", "line 3"},
        {"kirake-session 1\nstory x\nframes 3\nk 1 2\nend\n", "line 4"},
    };
    for (const auto& [bad, said] : damaged) {
        EXPECT_FALSE(ParseSession(bad, &back, &why)) << bad;
        EXPECT_NE(why.find(said), std::string::npos) << why;
    }
}

}  // namespace
