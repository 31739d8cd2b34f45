// The default story as a story script against the built-in scenes: every starting scene and the failure
// paths give the same trace (but for where the story stands), the same pages and the same sound. The
// whole playthroughs are compared in story_play_test.cpp.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "test_support.h"

namespace {

std::string DefaultData() {
    std::string data = KIRAKE_DATA_DIR;
    return std::filesystem::exists(data + "/scenes.txt") ? data : "";
}

TEST(StoryScript, EveryStartingSceneIsTheBuiltInOne) {
    std::string data = DefaultData();
    if (data.empty()) GTEST_SKIP() << "no default data";
    // The built-in scene and the way to the same place of the script.
    const std::pair<const char*, const char*> scenes[] = {
        {"title", "title"},
        {"opening", "opening"},
        {"choice", "choice"},
        {"route:hiyori", "route:hiyori"},
        {"route:heren", "route:heren"},
        {"route:fuuya", "route:fuuya"},
        {"route-choice:hiyori", "route-choice:hiyori"},
        {"route-choice:heren", "route-choice:heren"},
        {"route-choice:fuuya", "route-choice:fuuya"},
        {"ending:match:hiyori", "hiyori-match/ending"},
        {"ending:miss:heren", "heren-miss/ending"},
        {"ending:match:fuuya", "fuuya-match/ending"},
        {"ending:miss", "hiyori-miss/ending"},
        {"roll", "hiyori-match/roll"},
        {"roll:miss:fuuya", "fuuya-miss/roll"},
        {"roll:match:heren", "heren-match/roll"},
    };
    for (const auto& [builtin, script] : scenes) {
        // Long enough for the ending's Space and the roll's first lines; a key a second on the way.
        StoryRuns runs = RunBothStories(data, {"--start", builtin, "--frames", "700", "--keys", KIRAKE_SOURCE_DIR "/tests/keys-every-second.txt"},
                                        "0,1,60,299,699", script);
        ExpectSameStory(runs, builtin);
        EXPECT_EQ(runs.builtinTrace.size(), 700u) << builtin;
    }
}

TEST(StoryScript, FailuresAndFaultsGoTheSameWay) {
    std::string data = DefaultData();
    if (data.empty()) GTEST_SKIP() << "no default data";
    std::string keys = MakeTempDir("script-faults") + "/keys.txt";
    ASSERT_EQ(RunKirake({"--headless", "--data", data, "--builtin-story", "--start", "roll:match:heren", "--start-keys",
                         keys, "--frames", "1"}),
              0);
    // A folder that lacks a picture and an effect: the scenes go on without them.
    std::string lacking = MakeTempDir("script-lacking");
    CopyFolder(data, lacking);
    std::filesystem::remove(lacking + "/bmp/stage2.BMP");
    std::filesystem::remove(lacking + "/Han.wav");
    const std::pair<std::string, std::vector<std::string>> runs[] = {
        {"surface lost", {"--fault", "surface-lost@700"}},
        {"palette refused", {"--fault", "palette@1500"}},
        {"input lost", {"--fault", "input-lost@1100"}},
        {"no sound", {"--fault", "no-sound"}},
        {"no keyboard", {"--fault", "no-keyboard"}},
        {"display refused", {"--fault", "display:sheet"}},
        {"deactivated", {}},
    };
    for (const auto& [what, faults] : runs) {
        std::vector<std::string> arguments = {"--keys", keys, "--frames", "3000"};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        if (what == "deactivated") {  // after the last key of the way: the roll pauses and goes on
            std::string moved = MakeTempDir("script-deactivated") + "/keys.txt";
            std::ofstream out(moved);
            for (const std::string& line : ReadLines(keys)) out << line << "\n";
            out << "2600 deactivate 3000\n";
            arguments[1] = moved;
        }
        ExpectSameStory(RunBothStories(data, arguments, "0,699,1499,2999"), what);
    }
    ExpectSameStory(RunBothStories(lacking, {"--keys", keys, "--frames", "3000"}, "0,1000,2000,2999"), "lacking files");
}

}  // namespace
