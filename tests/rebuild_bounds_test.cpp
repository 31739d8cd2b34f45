// A story project's sources as the rebuild meets them, hostile ones too (tests/hostile-pictures): an
// include of a FIFO or of /dev/zero, a song that is a link to /dev/zero, an include tree that multiplies,
// a picture that paints too much or is larger than the game reads. Each is refused with its file and line
// by kirake-new --rebuild and by the game under --watch, which plays on; quitting abandons a build.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "app/app.h"
#include "test_support.h"

using namespace authoring;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A project with the hostile pictures, a FIFO among their includes and a song that is a link to /dev/zero.
fs::path HostileProject(const ScratchDir& dir) {
    fs::path project = dir.path() / "story";
    fs::create_directories(project / "bmp");
    fs::create_directories(project / "songs");
    WriteText(project / "data.txt", "tx0Hello<!");
    fs::copy(fs::path(KIRAKE_SOURCE_DIR) / "tests/hostile-pictures", project / "pictures");
    EXPECT_EQ(mkfifo((project / "pictures/pipe.inc").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", project / "songs/zero.song");
    return project;
}

// What each hostile source is refused with: zero.pic, pipe.pic, tree.pic, cost.pic, side.pic.
const char* const kRefusals[] = {
    "/dev/zero: not a regular file",
    "pictures/pipe.inc: not a regular file",
    "more than 1024 includes in one picture",
    "pictures/cost.pic:67: too much drawing",
    "pictures/side.pic:1: expected a whole number 1..1024, found '4096'",
};

}  // namespace

TEST(RebuildBounds, HostileSourcesAreRefusedAndTheGamePlaysOn) {
    ScratchDir dir;
    fs::path project = HostileProject(dir);
    // kirake-art, one picture at a time.
    const char* pictures[] = {"zero", "pipe", "tree", "cost", "side"};
    for (size_t i = 0; i < std::size(pictures); ++i) {
        RunResult drawn = RunTool({ToolPath("art", "kirake-art"), (project / "pictures" / pictures[i]).string() + ".pic",
                                   (dir.path() / "out.bmp").string()});
        EXPECT_EQ(drawn.status, 1) << drawn.output;
        EXPECT_TRUE(Contains(drawn.output, kRefusals[i])) << kRefusals[i] << drawn.output;
    }
    RunResult rebuilt = RunTool({ToolPath("new", "kirake-new"), "--rebuild", project.string()});
    EXPECT_EQ(rebuilt.status, 1) << rebuilt.output;
    for (const char* refusal : kRefusals) EXPECT_TRUE(Contains(rebuilt.output, refusal)) << refusal << rebuilt.output;
    EXPECT_TRUE(Contains(rebuilt.output, "songs/zero.song: not a regular file")) << rebuilt.output;
    EXPECT_TRUE(fs::is_regular_file(project / "bmp/good.BMP"));

    // The palette saved while the game watches: every picture is built again, in turn.
    fs::remove(project / "bmp/good.BMP");
    WriteText(dir.path() / "p.pal", ReadText(project / "pictures/p.pal") + "3 blue #0000ff\n");
    WriteText(dir.path() / "keys.txt", "2 save pictures/p.pal " + (dir.path() / "p.pal").string() + "\n");
    std::string errors;
    int status = RunKirake({"--headless", "--data", project.string(), "--watch", "--frames", "40", "--keys",
                            (dir.path() / "keys.txt").string()},
                           &errors);
    EXPECT_EQ(status, 0) << errors;
    for (const char* refusal : kRefusals) EXPECT_TRUE(Contains(errors, refusal)) << refusal << errors;
    EXPECT_TRUE(Contains(errors, "rebuilt bmp/good.BMP from pictures/good.pic")) << errors;
}

// In this process, as the game runs them: a song that is a link to /dev/zero is refused by name, and a
// build under way when the game quits is abandoned (nothing written), not waited for.
TEST(RebuildBounds, ALinkedSongIsRefusedAndQuittingAbandonsABuild) {
    if (!ProjectRebuildAvailable()) GTEST_SKIP() << "this build compiles no sources";
    ScratchDir dir;
    fs::path project = HostileProject(dir);
    fs::path before = fs::current_path();
    fs::current_path(project);
    StartRebuilds(1);
    EXPECT_EQ(QueueSourceRebuild("songs/zero.song"), 1);
    std::vector<RebuildResult> done;
    TakeFinishedRebuilds(&done);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].error, "songs/zero.song: not a regular file");

    // Near the most a picture may paint: 63 times its whole area, much longer than a frame.
    std::string most = "size 1024 1024\npalette p\n";
    for (int i = 0; i < 63; ++i) most += "rgrad 512 512 800 red green black\n";
    WriteText("pictures/most.pic", most);
    StartRebuilds(0);
    EXPECT_EQ(QueueSourceRebuild("pictures/most.pic"), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    StopRebuilds();
    EXPECT_FALSE(fs::exists("bmp/most.BMP")) << "the build was waited for";
    fs::current_path(before);
}
