// Story projects: kirake-new writes a folder that plays its story script, checks clean and rebuilds to
// the same files; under --watch a saved picture source, palette plan, song source and story are rebuilt
// in the game and shown as a project that had them from the start shows them.
#include <gtest/gtest.h>
#include "test_support.h"

using namespace authoring;

namespace {

RunResult New(const std::vector<std::string>& args) {
    std::vector<std::string> command = {ToolPath("new", "kirake-new")};
    command.insert(command.end(), args.begin(), args.end());
    return RunTool(command);
}

void Replace(const fs::path& file, const std::string& from, const std::string& to, std::string* edited) {
    std::string text = ReadText(file);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << file;
    *edited = text.replace(at, from.size(), to);
}

}  // namespace

TEST(AuthoringProject, NewProjectChecksCleanAndRebuildsToTheSameFiles) {
    ScratchDir dir;
    fs::path project = dir.path() / "story";
    RunResult made = New({project.string()});
    ASSERT_EQ(made.status, 0) << made.output;
    for (const char* file : {"README.md", "data.txt", "scenes.txt", "pictures/stage1.pic", "pictures/main.pal",
                             "songs/koi.song", "bmp/System.BMP", "koi.pmd", "punch3.wav"})
        EXPECT_TRUE(fs::is_regular_file(project / file)) << file;
    RunResult check = RunTool({ToolPath("check", "kirake-check"), project.string()});
    EXPECT_EQ(check.status, 0) << check.output;
    // The project plays its own script: the trace names the script's place.
    RunResult played = RunTool({KIRAKE_BINARY, "--headless", "--data", project.string(), "--frames", "2", "--trace",
                                (dir.path() / "trace.jsonl").string()});
    EXPECT_EQ(played.status, 0) << played.output;
    EXPECT_NE(ReadText(dir.path() / "trace.jsonl").find("\"scene\":\"scenes.txt:"), std::string::npos);
    EXPECT_EQ(New({project.string()}).status, 1) << "an existing project is never written over";

    std::vector<uint8_t> picture = ReadBytes(project / "bmp/stage1.BMP"), song = ReadBytes(project / "koi.pmd");
    fs::remove(project / "bmp/stage1.BMP");
    RunResult rebuilt = New({"--rebuild", project.string()});
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.output;
    EXPECT_EQ(ReadBytes(project / "bmp/stage1.BMP"), picture);
    EXPECT_EQ(ReadBytes(project / "koi.pmd"), song);

    std::string broken;
    Replace(project / "songs/koi.song", "tempo", "tempi", &broken);
    WriteText(project / "songs/koi.song", broken);
    RunResult failed = New({"--rebuild", project.string()});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.output.find("koi.song:"), std::string::npos) << failed.output;
    EXPECT_EQ(ReadBytes(project / "koi.pmd"), song) << "the last good song stays";
}

// Frame M saves a picture source, the palette plan, a song source and the story into the watched
// project. From then on the page is the page of a project that had those sources from the start, the
// message being typed starts again in its new words, and the song is the one compiled from the new source.
TEST(AuthoringProject, SavedSourcesAreRebuiltWhilePlaying) {
    ScratchDir dir;
    fs::path watched = dir.path() / "watched", born = dir.path() / "born", edits = dir.path() / "edits";
    ASSERT_EQ(New({watched.string()}).status, 0);
    ASSERT_EQ(New({born.string()}).status, 0);
    fs::create_directories(edits);
    struct Edit {
        const char* file;
        const char* from;
        const char* to;
    } changes[] = {
        {"pictures/stage1.pic", "ofill white ink 3 circle", "ofill blossom ink 3 circle"},  // the clock
        {"pictures/main.pal", "105 board #2e5a44", "105 board #5a2e44"},                  // the blackboard
        {"songs/koi.song", "tempo", "drums 40\ntempo"},
        {"data.txt", "tx4", "tx4Written again while playing.</"},
    };
    std::string keys;
    constexpr long M = 10, N = 70;
    for (const Edit& e : changes) {
        std::string text;
        Replace(watched / e.file, e.from, e.to, &text);
        fs::path copy = edits / fs::path(e.file).filename();
        WriteText(copy, text);
        WriteText(born / e.file, text);
        keys += std::to_string(M) + " save " + e.file + " " + copy.string() + "\n";
    }
    ASSERT_EQ(New({"--rebuild", born.string()}).status, 0);
    WriteText(edits / "keys.txt", keys);

    auto play = [&](const fs::path& data, const std::string& name, std::vector<std::string> more, long frames) {
        fs::path out = dir.path() / name;
        fs::create_directories(out);
        std::vector<std::string> command = {KIRAKE_BINARY, "--headless", "--data", data.string(), "--start",
                                            "route:hiyori", "--frames", std::to_string(frames), "--capture",
                                            std::to_string(frames - 1), "--capture-dir", out.string(), "--trace",
                                            (out / "trace.jsonl").string()};
        command.insert(command.end(), more.begin(), more.end());
        RunResult r = RunTool(command);
        EXPECT_EQ(r.status, 0) << r.output;
        return std::make_pair(out, r.output);
    };
    auto [playedDir, errors] = play(watched, "played", {"--watch", "--keys", (edits / "keys.txt").string()}, N);
    auto [bornDir, bornErrors] = play(born, "fresh", {}, N - M);
    for (const char* line : {"rebuilt bmp/stage1.BMP from pictures/stage1.pic",
                             "rebuilt bmp/System.BMP from pictures/System.pic", "rebuilt koi.pmd from songs/koi.song",
                             "took the saved data.txt", "took the saved bmp/stage2.BMP"})
        EXPECT_NE(errors.find(line), std::string::npos) << line << " in:\n" << errors;
    // The picture and the palette it reads were saved in one frame: it is built once.
    const std::string stage1 = "rebuilt bmp/stage1.BMP";
    EXPECT_EQ(errors.find(stage1), errors.rfind(stage1)) << errors;
    std::vector<std::string> played = ReadLines(playedDir / "trace.jsonl"), fresh = ReadLines(bornDir / "trace.jsonl");
    ASSERT_EQ(long(played.size()), N);
    ASSERT_EQ(long(fresh.size()), N - M);
    for (long f = M; f < N; ++f)
        ASSERT_EQ(TraceField(played[size_t(f)], "message"), TraceField(fresh[size_t(f - M)], "message")) << "frame " << f;
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06ld.png", N - 1);
    std::string lastPlayed = name;
    std::snprintf(name, sizeof name, "frame-%06ld.png", N - M - 1);
    EXPECT_EQ(ReadBytes(playedDir / lastPlayed), ReadBytes(bornDir / name));
    EXPECT_EQ(ReadBytes(watched / "koi.pmd"), ReadBytes(born / "koi.pmd"));
}
