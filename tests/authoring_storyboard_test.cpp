// The storyboard of the whole story, and the song tool's picture and its refusal of files that are not
// compiled songs.
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include "test_support.h"

namespace {

using namespace authoring;

uint32_t Get32BigEndian(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// Pages of a message counted from its text: "<*" turns the page, and so does a "</" that ends a page's
// fourth line.
int PagesOf(const std::string& script, char id) {
    size_t at = script.find(std::string("tx") + id);
    if (at == std::string::npos) return 0;
    int pages = 1, lines = 1;
    for (size_t i = at + 3; i + 1 < script.size(); ++i) {
        if (script[i] != '<') continue;
        char code = script[++i];
        if (code == '!') break;
        if (code == '*' || (code == '/' && lines == 4)) ++pages, lines = 1;
        else if (code == '/') ++lines;
    }
    return pages;
}

struct Board {
    RunResult run;
    std::string html;
    std::vector<std::string> figures;
};

Board MakeBoard(const fs::path& data, const fs::path& out, std::vector<std::string> options = {}) {
    Board board;
    std::vector<std::string> args{ToolPath("storyboard", "kirake-storyboard")};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(data.string());
    args.push_back(out.string());
    board.run = RunTool(args);
    board.html = ReadText(out / "index.html");
    for (size_t at = board.html.find("<figure"); at != std::string::npos; at = board.html.find("<figure", at + 1))
        board.figures.push_back(board.html.substr(at, board.html.find("</figure>", at) - at));
    return board;
}

// The pictures of the cards whose heading matches.
std::set<std::string> PicturesOf(const Board& board, const std::regex& heading) {
    std::set<std::string> pictures;
    std::regex picture(R"re(src="(pages/[0-9a-f]{16}\.png)")re");
    for (const std::string& figure : board.figures) {
        std::smatch m;
        if (std::regex_search(figure, heading) && std::regex_search(figure, m, picture)) pictures.insert(m[1]);
    }
    return pictures;
}

// Every page of every message on every path and every scene, each shown once: the messages the paths
// share once, each route's own pages once, each of the nine route questions with its answer highlighted,
// the match and miss messages once per route (whatever the answer), the two ending pictures, and the staff
// roll with each partner's portrait and without. The default story as a script plays the same: 18 paths
// (the draw's outcomes that miss taken once), the same pages and choices, each labelled by its line.
TEST(Storyboard, DefaultDataShowsEveryPageAndSceneOfEveryPathOnce) {
    fs::path data = KIRAKE_DATA_DIR;
    if (!fs::exists(data / "data.txt")) GTEST_SKIP() << "no default data at " << data;
    ScratchDir out;
    Board board = MakeBoard(data, out.path() / "builtin", {"--builtin-story"});
    ASSERT_EQ(board.run.status, 0) << board.run.output;
    std::string script = ReadText(data / "data.txt");
    int pages = 0;
    for (char id : std::string("0123")) pages += PagesOf(script, id);
    for (const char* route : {"4567" "8", "9#$%&", ":-?,."})
        for (const char* id = route; *id; ++id) pages += PagesOf(script, *id);
    int scenes = 2 /* title, picture */ + 3 /* first choices */ + 9 /* route questions */ + 2 /* endings */ +
                 4 /* staff rolls */;
    EXPECT_EQ(board.figures.size(), size_t(pages + scenes)) << board.run.output;
    EXPECT_NE(board.run.output.find(std::to_string(pages) + " message pages, " + std::to_string(scenes) + " scenes"),
              std::string::npos)
        << board.run.output;
    // Each message's pages are numbered 1 to its count, every number shown.
    std::regex pageOf(R"re(message <code>([^<]+)</code> \S+ page (\d+) of (\d+))re");
    std::map<std::string, std::set<int>> seen;
    for (const std::string& figure : board.figures) {
        std::smatch m;
        if (!std::regex_search(figure, m, pageOf)) continue;
        std::string id = m[1] == "&amp;" ? "&" : m[1].str();
        EXPECT_EQ(std::stoi(m[3]), PagesOf(script, id[0])) << m[0];
        seen[id].insert(std::stoi(m[2]));
    }
    EXPECT_EQ(seen.size(), 19u);
    for (auto& [id, numbers] : seen)
        EXPECT_EQ(int(numbers.size()), *numbers.rbegin()) << "message " << id << " skips a page number";
    // Every picture is there, a 640x480 PNG.
    std::regex picture(R"re(src="(pages/[0-9a-f]{16}\.png)")re");
    std::set<std::string> files;
    for (const std::string& figure : board.figures) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(figure, m, picture)) << figure;
        files.insert(m[1]);
    }
    for (const std::string& file : files) {
        std::vector<uint8_t> png = ReadBytes(out.path() / "builtin" / file);
        ASSERT_GE(png.size(), 24u) << file;
        EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
        EXPECT_EQ(png[18] << 8 | png[19], 640);
        EXPECT_EQ(png[22] << 8 | png[23], 480);
    }
    EXPECT_EQ(files.size(), board.figures.size()) << "two moments show the same picture";
    for (const char* words : {"every path", "Hiyori's route", "no song", "koi.pmd", "end.pmd", "Staff roll with Heren"})
        EXPECT_NE(board.html.find(words), std::string::npos) << words;

    if (!fs::exists(data / "scenes.txt")) return;
    Board scripted = MakeBoard(data, out.path() / "script");
    ASSERT_EQ(scripted.run.status, 0) << scripted.run.output;
    EXPECT_NE(scripted.run.output.find("18 paths, " + std::to_string(pages + scenes) + " moments"), std::string::npos)
        << scripted.run.output;
    std::regex page(R"(<h3>message <code>)"), builtinChoice(R"(<h3>(First choice|\w+'s question):)"),
        scriptChoice(R"(<h3>Choice, answer \d of 3:)");
    EXPECT_EQ(PicturesOf(scripted, page), PicturesOf(board, page));
    EXPECT_EQ(PicturesOf(scripted, scriptChoice), PicturesOf(board, builtinChoice));
    EXPECT_EQ(PicturesOf(scripted, scriptChoice).size(), 12u);
    // Message 3's pages stand at its line of the script, in the scene "teacher".
    std::string story = ReadText(data / "scenes.txt");
    size_t say = story.find("say 3\n");
    ASSERT_NE(say, std::string::npos);
    std::string place = "scenes.txt:" + std::to_string(std::count(story.begin(), story.begin() + long(say), '\n') + 1) +
                        " \xc2\xb7 teacher";
    int atPlace = 0;
    for (const std::string& figure : scripted.figures)
        if (figure.find("message <code>3</code>") != std::string::npos) {
            EXPECT_NE(figure.find(place), std::string::npos) << figure;
            ++atPlace;
        }
    EXPECT_EQ(atPlace, PagesOf(script, '3'));
    EXPECT_NE(scripted.html.find("hope 2 or 3"), std::string::npos);
}

// A story script whose choice can jump back: every way round is played, each loop followed --loops times
// and said so; outcomes of a draw that lead on alike are one path; the frame limit and the limit of paths
// end the board early and say so.
TEST(Storyboard, ScriptLoopsAreFollowedAndLimitsSaidSo) {
    fs::path data = KIRAKE_DATA_DIR;
    if (!fs::exists(data / "data.txt")) GTEST_SKIP() << "no default data at " << data;
    ScratchDir work;
    fs::path copy = work.path() / "data";
    fs::copy(data, copy, fs::copy_options::recursive);
    WriteText(copy / "scenes.txt", "scene start\n"
                                   "  load window game_w\n"
                                   "  load system system\n"
                                   "label ask\n"
                                   "  choice again first-1 first-2\n"
                                   "  if again = 1 goto ask\n"
                                   "  draw luck 4\n"
                                   "  if luck > 3 goto lucky\n"
                                   "  say 4\n"
                                   "  goto end\n"
                                   "label lucky\n"
                                   "  say 5\n"
                                   "label end\n");
    // ask: 1, 1, then round a third time (the loop); 1, 2; 2 - each of the last two with luck 1-3 or 4.
    Board board = MakeBoard(copy, work.path() / "board", {"--loops", "2"});
    EXPECT_EQ(board.run.status, 0) << board.run.output;
    EXPECT_NE(board.run.output.find("/index.html: 5 paths"), std::string::npos) << board.run.output;
    EXPECT_NE(board.html.find("the choice at scenes.txt:5 came round a 3rd time: the loop was followed 2 times"),
              std::string::npos);
    for (const char* words : {"luck 1-3", "luck 4", "Choice, answer 2 of 2", "scenes.txt:9 \xc2\xb7 start \xe2\x80\xba ask"})
        EXPECT_NE(board.html.find(words), std::string::npos) << words;

    Board stuck = MakeBoard(copy, work.path() / "stuck", {"--frames", "60", "--paths", "2"});
    EXPECT_EQ(stuck.run.status, 1);
    EXPECT_NE(stuck.run.output.find("stopped before their end"), std::string::npos) << stuck.run.output;
    EXPECT_NE(stuck.run.output.find("more paths were left after the first 2"), std::string::npos) << stuck.run.output;
    EXPECT_NE(stuck.html.find("after 60 frames (the frame limit)"), std::string::npos);
    EXPECT_NE(stuck.html.find("Still going at the frame limit"), std::string::npos);
}

// Paths of the built-in story still going at the frame limit are said to be, on the page and in the
// messages, not only "stopped".
TEST(Storyboard, BuiltinPathsAtTheFrameLimitAreSaidSo) {
    fs::path data = KIRAKE_DATA_DIR;
    if (!fs::exists(data / "data.txt")) GTEST_SKIP() << "no default data at " << data;
    ScratchDir out;
    Board board = MakeBoard(data, out.path() / "board", {"--builtin-story", "--frames", "300"});
    EXPECT_EQ(board.run.status, 1);
    EXPECT_NE(board.run.output.find("18 of 18 paths stopped before the staff roll"), std::string::npos)
        << board.run.output;
    EXPECT_NE(board.run.output.find("18 of them were still going at the frame limit of 300 frames; a longer story "
                                    "needs a higher --frames"),
              std::string::npos)
        << board.run.output;
    EXPECT_NE(board.html.find("still going at the frame limit of 300 frames"), std::string::npos);
    EXPECT_NE(board.html.find("Still going at the frame limit (--frames)"), std::string::npos);
}

// A line too wide for the message box is marked on its page's picture, next to the checker's finding.
TEST(Storyboard, LineTooLongIsMarkedWithTheCheckersFinding) {
    fs::path data = KIRAKE_DATA_DIR;
    if (!fs::exists(data / "data.txt")) GTEST_SKIP() << "no default data at " << data;
    ScratchDir work;
    fs::path copy = work.path() / "data";
    fs::copy(data, copy);
    std::string script = ReadText(copy / "data.txt");
    size_t body = script.find("tx5") + 3;
    script.insert(body, std::string(30, 'W'));  // 570 pixels before the line's own text
    WriteText(copy / "data.txt", script);
    Board board = MakeBoard(copy, work.path() / "board");
    ASSERT_EQ(board.run.status, 0) << board.run.output;
    int marked = 0;
    for (const std::string& figure : board.figures) {
        if (figure.find("class=\"mark\"") == std::string::npos) continue;
        ++marked;
        EXPECT_NE(figure.find("message <code>5</code> \xc2\xb7 page 1"), std::string::npos) << figure;
        EXPECT_NE(figure.find("message '5', page 1, line 1 is "), std::string::npos) << figure;
        EXPECT_NE(figure.find("data.txt:"), std::string::npos) << figure;
    }
    EXPECT_EQ(marked, 1);
    EXPECT_NE(board.run.output.find("1 lines too long"), std::string::npos) << board.run.output;
}

TEST(Storyboard, AnswersHelpVersionAndBadArgumentsAndFolders) {
    std::string tool = ToolPath("storyboard", "kirake-storyboard");
    RunResult help = RunTool({tool, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--check PROGRAM"), std::string::npos);
    RunResult version = RunTool({tool, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("kirake-storyboard ", 0), 0u) << version.output;
    EXPECT_EQ(RunTool({tool, "only-one"}).status, 2);
    EXPECT_EQ(RunTool({tool, "--loops", "0", "a", "b"}).status, 2);
    EXPECT_EQ(RunTool({tool, "--frames", "9x", "a", "b"}).status, 2);
    ScratchDir out;
    RunResult missing = RunTool({tool, (out.path() / "nothing").string(), out.path().string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("is not a folder"), std::string::npos) << missing.output;
    // A folder without data.txt: the game closes at once; the page still says why.
    fs::create_directories(out.path() / "empty");
    Board board = MakeBoard(out.path() / "empty", out.path() / "board");
    EXPECT_EQ(board.run.status, 1);
    EXPECT_NE(board.run.output.find("18 of 18 paths stopped before the staff roll"), std::string::npos)
        << board.run.output;
    EXPECT_TRUE(board.figures.empty());
    EXPECT_NE(board.html.find("data.txt"), std::string::npos);
}

// kirake-song info reads compiled songs only and says so about anything else; plot draws a source or a
// compiled song.
TEST(SongTool, InfoRefusesSourcesAndOtherFilesAndPlotDrawsBothForms) {
    std::string tool = ToolPath("song", "kirake-song");
    fs::path source = fs::path(KIRAKE_SOURCE_DIR) / "data" / "songs" / "koi.song";
    RunResult info = RunTool({tool, "info", source.string()});
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.output.find("is text, not a compiled song"), std::string::npos) << info.output;
    EXPECT_EQ(info.output.find("step interval"), std::string::npos) << info.output;
    ScratchDir work;
    std::vector<uint8_t> notSong(2000, 0);
    for (size_t i = 0; i < notSong.size(); ++i) notSong[i] = uint8_t(i * 37);
    WriteBytes(work.path() / "noise.pmd", notSong);
    info = RunTool({tool, "info", (work.path() / "noise.pmd").string()});
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.output.find("is not a compiled song"), std::string::npos) << info.output;

    fs::path compiled = work.path() / "koi.pmd";
    ASSERT_EQ(RunTool({tool, "compile", source.string(), "-o", compiled.string()}).status, 0);
    for (const fs::path& song : {source, compiled}) {
        fs::path png = work.path() / (song.extension().string().substr(1) + ".png");
        RunResult plot = RunTool({tool, "plot", song.string(), png.string()});
        ASSERT_EQ(plot.status, 0) << plot.output;
        std::vector<uint8_t> bytes = ReadBytes(png);
        ASSERT_GE(bytes.size(), 24u);
        EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 4), "PNG");
        EXPECT_GT(bytes[18] << 8 | bytes[19], 800);  // width
    }
    RunResult bad = RunTool({tool, "plot", (work.path() / "noise.pmd").string(), (work.path() / "x.png").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("not a playable song"), std::string::npos) << bad.output;
    EXPECT_FALSE(fs::exists(work.path() / "x.png"));
}

// A long song is drawn in rows (in one it was wider than a picture can be from 32,260 steps on); a song
// longer than the rows hold is refused with the plot's limit.
TEST(SongTool, PlotDrawsLongSongsInRowsAndNamesItsLimit) {
    std::string tool = ToolPath("song", "kirake-song");
    ScratchDir work;
    fs::path png = work.path() / "long.png";
    WriteText(work.path() / "long.song", "length 40000\ntrack 1\n C4 $ D4\nend\n");
    RunResult plot = RunTool({tool, "plot", (work.path() / "long.song").string(), png.string()});
    ASSERT_EQ(plot.status, 0) << plot.output;
    std::vector<uint8_t> bytes = ReadBytes(png);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_LT(Get32BigEndian(bytes, 16), 9000u);  // width: a row of 8192 steps and the instruments
    EXPECT_GT(Get32BigEndian(bytes, 20), 3000u);  // height: five rows
    WriteText(work.path() / "longer.song", "length 70000\ntrack 1\n C4\nend\n");
    plot = RunTool({tool, "plot", (work.path() / "longer.song").string(), png.string()});
    EXPECT_EQ(plot.status, 1);
    EXPECT_NE(plot.output.find("longer.song: 70000 steps; a plot draws at most 65536 (8 rows of 8192)"),
              std::string::npos)
        << plot.output;
}

}  // namespace
