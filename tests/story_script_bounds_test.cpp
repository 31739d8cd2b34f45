// The story script's bounds: what is read (4 MiB in all, includes 8 deep, 64 files, 100,000 commands,
// lines of any length, files that are no regular files) is refused with its file and line, and a story
// that loops is played on without end: a loop of jumps is stopped with its line, a loop through a scene
// holds a frame a round.
#include <gtest/gtest.h>
#include <map>
#include <string>
#include "test_support.h"
#include "story/script.h"
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

// Reads scenes.txt from these files; "" when it reads without problems, else its first problem.
std::string FirstProblem(const std::map<std::string, std::string>& files, ScriptProgram* program = nullptr) {
    ScriptProgram own;
    ScriptProgram& p = program ? *program : own;
    ScriptFileReader reader = [&](const std::string& name, std::string* text, std::string* why) {
        auto file = files.find(name);
        if (file == files.end()) return *why = "no such file in the story folder", 0;
        *text = file->second;
        return 1;
    };
    return ReadScript("scenes.txt", reader, &p) ? "" : ProblemText(p.problems.at(0));
}

std::string Repeat(const std::string& line, size_t times) {
    std::string text;
    text.reserve(line.size() * times);
    for (size_t i = 0; i < times; ++i) text += line;
    return text;
}

// The game on a folder of data.txt and this scenes.txt for `frames` frames: its status, standard error
// and the number of frames it traced.
struct Played {
    int status = -1;
    std::string errors;
    size_t frames = 0;
};
Played Play(const std::string& name, const std::string& scenes, int frames) {
    std::string dir = MakeTempDir(name);
    WriteText(dir + "/data.txt", "tx0Hello<!");
    WriteText(dir + "/scenes.txt", scenes);
    Played played;
    played.status = RunKirake({"--headless", "--data", dir, "--frames", std::to_string(frames), "--trace",
                               dir + "/trace.txt"},
                              &played.errors);
    played.frames = ReadLines(dir + "/trace.txt").size();
    return played;
}

}  // namespace

TEST(StoryScriptBounds, SizeIsBoundedOverEveryFile) {
    const std::string head = "scene a\n";
    std::string full = head + std::string(SCRIPT_MAX_BYTES - head.size(), '\n');
    EXPECT_EQ(FirstProblem({{"scenes.txt", full}}), "");
    EXPECT_EQ(FirstProblem({{"scenes.txt", full + "\n"}}),
              "scenes.txt: the script and its includes are larger than 4 MiB");
    // Counted over the includes: the one that goes past the limit is refused at its line.
    std::string half(SCRIPT_MAX_BYTES / 2, '\n');
    EXPECT_EQ(FirstProblem({{"scenes.txt", "scene a\ninclude b.txt\n" + half}, {"b.txt", half}}),
              "scenes.txt:2: the script and its includes are larger than 4 MiB");
}

TEST(StoryScriptBounds, IncludesAreBoundedInDepthFilesAndCycles) {
    // scenes.txt and seven nested includes are eight files deep; the ninth is refused where it is named.
    std::map<std::string, std::string> chain = {{"scenes.txt", "scene a\ninclude 1.txt\n"}};
    for (int i = 1; i < 7; ++i) chain[std::to_string(i) + ".txt"] = "wait 1\ninclude " + std::to_string(i + 1) + ".txt\n";
    chain["7.txt"] = "wait 1\n";
    EXPECT_EQ(FirstProblem(chain), "");
    chain["7.txt"] = "wait 1\n\ninclude 8.txt\n";
    chain["8.txt"] = "wait 1\n";
    EXPECT_EQ(FirstProblem(chain), "7.txt:3: includes nest deeper than 8");

    EXPECT_EQ(FirstProblem({{"scenes.txt", "scene a\ninclude b.txt\n"}, {"b.txt", "wait 1\ninclude scenes.txt\n"}}),
              "b.txt:2: 'scenes.txt' includes itself");

    // A file read 63 times besides scenes.txt makes 64 files; the 64th include is refused at its line.
    std::map<std::string, std::string> many = {{"scenes.txt", "scene a\n" + Repeat("include part.txt\n", 63)},
                                               {"part.txt", "wait 1\n"}};
    EXPECT_EQ(FirstProblem(many), "");
    many["scenes.txt"] += "include part.txt\n";
    EXPECT_EQ(FirstProblem(many), "scenes.txt:65: more than 64 files are included");
}

TEST(StoryScriptBounds, CommandsAreBoundedAndLongLinesRead) {
    // 100,000 commands, as many names as they can hold (each place and variable looked up once).
    std::string text;
    for (int i = 0; i < 50000; ++i) text += "label l" + std::to_string(i) + "\n";
    for (int i = 0; i < 49999; ++i) text += "set v" + std::to_string(i) + " v" + std::to_string(i / 2) + "\n";
    text += "goto l49999\n";
    ScriptProgram program;
    EXPECT_EQ(FirstProblem({{"scenes.txt", text}}, &program), "");
    EXPECT_EQ(program.commands.size(), SCRIPT_MAX_COMMANDS);
    EXPECT_EQ(program.commands.back().target, 49999);
    EXPECT_EQ(program.variables.size(), 49999u);
    EXPECT_EQ(FirstProblem({{"scenes.txt", text + "wait 1\n"}}),
              "scenes.txt:100001: the script has more than 100000 commands; the rest is not read");

    // A line of 1 MB: of blanks after a command, one word, many words.
    const size_t mb = 1 << 20;
    EXPECT_EQ(FirstProblem({{"scenes.txt", "scene a" + std::string(mb, ' ') + "\nwait 1\n"}}), "");
    EXPECT_EQ(FirstProblem({{"scenes.txt", "scene a\nwait " + std::string(mb, '9') + "\n"}}).substr(0, 18),
              "scenes.txt:2: '999");
    EXPECT_EQ(FirstProblem({{"scenes.txt", "scene a\nhide" + Repeat(" 1", mb / 2) + "\n"}}),
              "scenes.txt:2: 'hide' is written: hide SLOT");
}

#ifndef _WIN32
// In the data folder, as the game reads it: a FIFO, a device and a file above the limit named by
// `include` are refused at once, each at its line.
TEST(StoryScriptBounds, IncludesReadOnlyRegularFilesOfTheFolder) {
    std::string dir = MakeTempDir("script-bounds-fifo");
    ASSERT_EQ(mkfifo((dir + "/pipe.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir + "/zero.txt");
    WriteText(dir + "/big.txt", std::string(SCRIPT_MAX_BYTES + 1, '\n'));
    WriteText(dir + "/scenes.txt", "scene a\ninclude pipe.txt\ninclude zero.txt\ninclude big.txt\nwait 1\n");
    fs::path home = fs::current_path();
    fs::current_path(dir);
    ScriptProgram program;
    int read = ReadDataFolderScript(&program);
    fs::current_path(home);
    ASSERT_EQ(read, 1);
    ASSERT_EQ(program.problems.size(), 3u);
    EXPECT_EQ(ProblemText(program.problems[0]).rfind("scenes.txt:2: cannot read pipe.txt", 0), 0u);
    EXPECT_EQ(ProblemText(program.problems[1]).rfind("scenes.txt:3: cannot read zero.txt", 0), 0u);
    EXPECT_EQ(ProblemText(program.problems[2]).rfind("scenes.txt:4: cannot read big.txt", 0), 0u);
}
#endif

TEST(StoryScriptBounds, LoopsPlayOnToTheLastFrame) {
    // A loop of jumps with nothing that waits: stopped with its line; the game stays to --frames.
    Played jumps = Play("script-bounds-jumps", "label a\ngoto a\n", 30);
    EXPECT_EQ(jumps.status, 0) << jumps.errors;
    EXPECT_EQ(jumps.frames, 30u);
    EXPECT_NE(jumps.errors.find("scenes.txt:1: the story ran 10000 lines in one frame without anything that waits"),
              std::string::npos)
        << jumps.errors;
    // Through a scene line each round holds a frame: nothing to say.
    Played scenes = Play("script-bounds-scenes", "scene a\ngoto a\n", 30);
    EXPECT_EQ(scenes.status, 0) << scenes.errors;
    EXPECT_EQ(scenes.frames, 30u);
    EXPECT_EQ(scenes.errors, "");
}
