// The player's comforts in the story's text: text speed, auto-advance, the settings file and the command
// line over it, the history's pages and the voice's lines in the trace. Headless runs of the default story.
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include "app/comforts.h"
#include "test_support.h"

namespace {

// A run of the default story with its own kept folders: the trace's lines and standard error.
struct ComfortRun {
    int code = -1;
    std::vector<std::string> trace;
    std::string errors;
};

ComfortRun Play(const std::string& folder, const std::string& keys, const std::string& options) {
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    WriteText(folder + "/keys.txt", keys);
    std::vector<std::string> arguments = {"--headless", "--data", KIRAKE_DATA_DIR, "--keys", folder + "/keys.txt",
                                          "--trace", folder + "/trace.jsonl"};
    for (const std::string& word : Words(options)) arguments.push_back(word);
    ComfortRun run;
    run.code = RunKirake(arguments, &run.errors);
    run.trace = ReadLines(folder + "/trace.jsonl");
    return run;
}

// The frame the first message first waits for a key, and where it stands then; -1 when it never does.
long FirstWait(const std::vector<std::string>& trace, long* pos) {
    for (const std::string& line : trace)
        if (TraceNumber(TraceField(line, "message"), "wait", 0) == 1) {
            *pos = TraceNumber(TraceField(line, "message"), "pos", -1);
            return TraceNumber(line, "frame", -1);
        }
    return -1;
}

long FirstFound(const std::vector<std::string>& trace) {
    for (const std::string& line : trace)
        if (TraceNumber(TraceField(line, "message"), "found", 0) == 1) return TraceNumber(line, "frame", -1);
    return -1;
}

const char TITLE_KEY[] = "170 press space\n";  // past the title; the rest is the comforts' or nobody's

TEST(Comforts, EachTextSpeedTypesTheSamePageInItsFrames) {
    std::string folder = MakeTempDir("comforts-speed");
    long pos1 = 0;
    ComfortRun one = Play(folder, TITLE_KEY, "--frames 500");
    long found = FirstFound(one.trace), wait1 = FirstWait(one.trace, &pos1);
    ASSERT_GT(found, 0);
    ASSERT_GT(wait1, found);
    long steps = wait1 - found + 1;  // one item a frame, the last the wait's
    struct Case {
        const char* speed;
        long frames;  // from the frame of the first item to that of the wait
    } cases[] = {{"2", (steps + 1) / 2 - 1}, {"4", (steps + 3) / 4 - 1}, {"page", 0}};
    for (const Case& c : cases) {
        long pos = 0;
        ComfortRun run = Play(folder, TITLE_KEY, std::string("--frames 500 --text-speed ") + c.speed);
        EXPECT_EQ(FirstFound(run.trace), found) << c.speed;
        EXPECT_EQ(FirstWait(run.trace, &pos), found + c.frames) << c.speed;
        EXPECT_EQ(pos, pos1) << c.speed;
    }
    // A key pressed in the frame a fast page reaches its wait types, and does not pass the wait too.
    long pos = 0;
    long fast = found + (steps + 3) / 4 - 1;
    std::string keys = std::string(TITLE_KEY) + std::to_string(fast) + " press space\n";
    ComfortRun run = Play(folder, keys, "--frames 500 --text-speed 4");
    EXPECT_EQ(FirstWait(run.trace, &pos), fast);
    long at = fast + 1;
    ASSERT_GT(long(run.trace.size()), at);
    EXPECT_EQ(TraceNumber(TraceField(run.trace[size_t(at)], "message"), "wait", -1), 1);
}

TEST(Comforts, AutoGoesOnAtAWaitAndStopsAtAQuestion) {
    std::string folder = MakeTempDir("comforts-auto");
    ComfortRun run = Play(folder, "", "--frames 4000 --auto --start school");
    ASSERT_EQ(run.code, 0) << run.errors;
    ASSERT_EQ(run.trace.size(), 4000u);
    // The first page waits the pause and 40 ms a character, then goes on by itself.
    long pos = 0, wait = FirstWait(run.trace, &pos), found = FirstFound(run.trace);
    long chars = wait - found, waited = 0;
    for (size_t f = size_t(wait); f < run.trace.size(); ++f, ++waited)
        if (TraceNumber(TraceField(run.trace[f], "message"), "wait", 0) != 1) break;
    EXPECT_NEAR(waited, (1500 + 40 * chars) * 60 / 1000, 2);
    // It passes the pages up to the first question (the cursor, slot 5) and stays there: no answer is taken.
    long question = -1;
    for (const std::string& line : run.trace)
        if (question < 0 && line.find("\"sprites\":[") != std::string::npos &&
            (line.find(",5,") != std::string::npos || line.find("[5,") != std::string::npos ||
             line.find(",5]") != std::string::npos))
            question = TraceNumber(line, "frame", -1);
    ASSERT_GT(question, 0);
    EXPECT_EQ(TraceField(run.trace.back(), "scene"), TraceField(run.trace[size_t(question)], "scene"));
}

TEST(Comforts, SettingsAreKeptAndTheCommandLineWins) {
    std::string folder = MakeTempDir("comforts-settings");
    std::filesystem::create_directories(folder + "/config/kirake");
    WriteText(folder + "/config/kirake/settings", "# mine\ntext-speed = page\ncolour = blue\n");
    ComfortRun run = Play(folder, TITLE_KEY, "--frames 400");
    long pos = 0;
    EXPECT_EQ(FirstWait(run.trace, &pos), FirstFound(run.trace));
    EXPECT_NE(run.errors.find("unknown setting \"colour\""), std::string::npos) << run.errors;
    ComfortRun overruled = Play(folder, TITLE_KEY, "--frames 400 --text-speed 1");
    EXPECT_GT(FirstWait(overruled.trace, &pos), FirstFound(overruled.trace) + 50);
    EXPECT_EQ(ReadLines(folder + "/config/kirake/settings")[1], "text-speed = page");  // not written back

    // A bad value: the file is set aside, named once, and the game starts with the defaults.
    WriteText(folder + "/config/kirake/settings", "text-speed = 3\n");
    ComfortRun bad = Play(folder, TITLE_KEY, "--frames 400");
    EXPECT_EQ(bad.code, 0);
    EXPECT_NE(bad.errors.find("config/kirake/settings set aside (line 1"), std::string::npos) << bad.errors;
    EXPECT_GT(FirstWait(bad.trace, &pos), FirstFound(bad.trace) + 50);
    EXPECT_TRUE(std::filesystem::exists(folder + "/config/kirake/settings.bad"));
}

TEST(Comforts, SettingsTextReadsBack) {
    PlayerSettings s;
    s.textSpeed = 0;
    s.autoAdvance = 1;
    s.musicVolume = 30;
    s.language = "es";
    PlayerSettings back;
    std::string why;
    std::vector<std::string> notes;
    ASSERT_TRUE(ParseSettings(SettingsText(s), &back, &why, &notes)) << why;
    EXPECT_EQ(SettingsText(back), SettingsText(s));
    EXPECT_TRUE(notes.empty());
    for (const char* text : {"music-volume = 101\n", "auto-pause-ms = -1\n", "language = ../x\n", "just words\n"})
        EXPECT_FALSE(ParseSettings(text, &back, &why, &notes)) << text;
}

TEST(Comforts, HistoryKeepsThePagesAsTypedWithTheSpeaker) {
    const std::string text = "tx{a}One<+two</second line<*Page two<!";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    QuietComforts(1);
    SetMessageSpeaker("Hiyori");
    NoteMessagePage(bytes, uint32_t(text.size()), 5, 0);
    SetMessageSpeaker("");
    NoteMessagePage(bytes, uint32_t(text.size()), int(text.find("Page")), 0);
    for (int i = 0; i < HISTORY_ENTRIES; ++i) NoteMessagePage(bytes, uint32_t(text.size()), 5, 0);
    const std::vector<HistoryEntry>& entries = HistoryEntries();
    ASSERT_EQ(entries.size(), size_t(HISTORY_ENTRIES));  // the oldest two gone
    EXPECT_EQ(entries.back().text, "One two\nsecond line");
    QuietComforts(0);
}

TEST(Comforts, SelfVoicingSaysARoutesPagesAndAnswers) {
    std::string folder = MakeTempDir("comforts-voice");
    std::string keys = ReadText(std::string(KIRAKE_SOURCE_DIR) + "/tests/keys-every-second.txt");
    ComfortRun run = Play(folder, keys, "--frames 3000 --self-voicing");
    ASSERT_EQ(run.code, 0) << run.errors;
    std::vector<std::string> spoken;
    for (const std::string& line : run.trace)
        if (line.find("\"spoke\":") != std::string::npos) spoken.push_back(TraceField(line, "spoke"));
    ASSERT_GE(spoken.size(), 3u);
    EXPECT_NE(spoken[0].find("Spring."), std::string::npos) << spoken[0];
    // Played without it, the trace has no such field.
    ComfortRun quiet = Play(folder, keys, "--frames 3000");
    for (const std::string& line : quiet.trace) EXPECT_EQ(line.find("\"spoke\""), std::string::npos);
}


// The frame the question's cursor (slot 5) first shows; -1 when it never does.
long FirstQuestion(const std::vector<std::string>& trace) {
    for (const std::string& line : trace) {
        std::string sprites = ",";
        sprites += TraceField(line, "sprites").substr(1);
        if (sprites.find(",5,") != std::string::npos || sprites.find(",5]") != std::string::npos)
            return TraceNumber(line, "frame", -1);
    }
    return -1;
}

TEST(Comforts, SkipPassesReadMessagesOnlyAndStopsAtTheQuestion) {
    std::string folder = MakeTempDir("comforts-skip");
    const std::string hold = std::string(TITLE_KEY) + "175 down ctrl\n";
    ComfortRun unread = Play(folder, hold, "--frames 1500");
    long pos = 0;
    long wait = FirstWait(unread.trace, &pos);
    ASSERT_GT(wait, 0);
    EXPECT_EQ(TraceNumber(TraceField(unread.trace.back(), "message"), "pos", -1), pos);  // never passed

    std::string keys = ReadText(std::string(KIRAKE_SOURCE_DIR) + "/tests/keys-every-second.txt");
    ComfortRun reading = Play(folder, keys, "--frames 1500 --start school");
    long question = FirstQuestion(reading.trace);
    ASSERT_GT(question, 0);
    ComfortRun skipped = Play(folder, "5 down ctrl\n", "--frames 1500 --start school");
    long fast = FirstQuestion(skipped.trace);
    ASSERT_GT(fast, 0);
    EXPECT_LT(fast, question - 300);
    EXPECT_EQ(TraceField(skipped.trace.back(), "scene"), TraceField(skipped.trace[size_t(fast)], "scene"));
}

TEST(Comforts, HistoryStandsTheStoryStillOverItsPage) {
    std::string folder = MakeTempDir("comforts-history");
    std::string keys = ReadText(std::string(KIRAKE_SOURCE_DIR) + "/tests/keys-every-second.txt");
    ComfortRun plain = Play(folder, keys, "--frames 900");
    ComfortRun run = Play(folder, keys + "700 press pageup\n740 press up\n760 press pagedown\n",
                          "--frames 960 --capture 750 --capture-dir " + folder);
    ASSERT_EQ(run.code, 0) << run.errors;
    ASSERT_EQ(run.trace.size(), 960u);
    // Page Up is read by frame 700, which runs and opens the history; frames 701-760 stand under it (Page
    // Down closes it in frame 760) with the story's fields of frame 700; frame 761 runs the story's 701.
    auto story = [](const std::string& line) {
        std::string rest = line.substr(line.find("\"sprites\""));
        size_t overlay = rest.find(",\"overlay\"");
        return overlay == std::string::npos ? rest : rest.substr(0, overlay) + "}";
    };
    for (long f = 700; f <= 760; ++f) {
        EXPECT_EQ(TraceField(run.trace[size_t(f)], "overlay"), f < 760 ? "\"history\"" : "") << f;
        EXPECT_EQ(story(run.trace[size_t(f)]), story(plain.trace[700])) << f;
    }
    EXPECT_EQ(story(run.trace[761]), story(plain.trace[701]));
    EXPECT_TRUE(std::filesystem::exists(folder + "/frame-000750.png"));
}

}  // namespace
