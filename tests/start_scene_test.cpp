// Starting at a scene: every scene begins with the frames a player sees on reaching it from the title.
// The keys of the way there (--start-keys) replayed from the title give, from the scene's frame on, the
// same trace and the same captured pages as the run that starts there.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "test_support.h"

namespace {

constexpr long SHOWN = 40;  // frames compared after the start


// A trace line without its frame number.
std::string Unnumbered(const std::string& line) {
    size_t comma = line.find(',');
    return comma == std::string::npos ? line : line.substr(comma);
}

std::string PageName(long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
    return name;
}

struct Start {
    std::string scene;
    long frame = -1;                // the frame of the scene in a play from the title
    std::vector<std::string> keys;  // the key script of the way there, without the closing comment
    std::string dir;
};

// Starts at the scene for SHOWN frames with no keys; the keys of the way there and its frame are kept.
Start RunFromScene(const std::string& data, const std::string& scene, const std::string& story) {
    Start s;
    s.scene = scene;
    s.dir = MakeTempDir("start-" + std::to_string(std::hash<std::string>{}(scene)));
    std::string errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", data, story, "--start", scene, "--start-keys", s.dir + "/keys.txt",
                         "--frames", std::to_string(SHOWN), "--trace", s.dir + "/trace.jsonl", "--capture",
                         "0,19," + std::to_string(SHOWN - 1), "--capture-dir", s.dir},
                        &errors),
              0)
        << scene << ": " << errors;
    for (const std::string& line : ReadLines(s.dir + "/keys.txt")) {
        if (line.rfind("# ", 0) == 0)
            s.frame = std::atol(line.substr(line.rfind(' ') + 1).c_str());
        else
            s.keys.push_back(line);
    }
    return s;
}

// Each path through the story is played once from the title with the keys of its deepest scene; every
// scene on the path is compared with it.
TEST(StartScene, EachSceneShowsWhatPlayingThereFromTheTitleShows) {
    std::string data = KIRAKE_DATA_DIR;
    if (!std::filesystem::exists(data + "/data.txt")) GTEST_SKIP() << "no default data at " << data;
    // The deepest scene of a path is where its keys end, so the scenes before it are compared up to the
    // next key of the way (a player who starts there presses it too).
    // The built-in story's scenes, and the same places of the default story's script.
    const std::vector<std::pair<std::string, std::vector<std::string>>> paths = {
        {"--builtin-story", {"title", "opening", "choice", "route:hiyori", "route-choice:hiyori", "roll"}},
        {"--builtin-story", {"route:heren", "route-choice:heren", "ending:miss:heren"}},
        {"--builtin-story", {"route:2", "route-choice:fuuya", "ending:match:fuuya"}},
        {"--window", {"title", "opening", "choice", "route:hiyori", "route-choice:hiyori", "hiyori-match/roll"}},
        {"--window", {"route:heren", "route-choice:heren", "heren-miss/ending"}},
        {"--window", {"route:fuuya", "route-choice:fuuya", "fuuya-match/ending"}},
    };
    for (const auto& [story, path] : paths) {
        std::vector<Start> starts;
        for (const std::string& scene : path) starts.push_back(RunFromScene(data, scene, story));
        const Start& deepest = starts.back();
        std::string out = MakeTempDir("start-from-title");
        std::ofstream(out + "/keys.txt") << [&] {
            std::string text;
            for (const std::string& line : deepest.keys) text += line + "\n";
            return text;
        }();
        std::string captures;
        for (const Start& s : starts)
            for (long k : {0L, 19L, SHOWN - 1}) captures += std::to_string(s.frame + k) + ",";
        captures.pop_back();
        ASSERT_EQ(RunKirake({"--headless", "--data", data, story, "--keys", out + "/keys.txt", "--frames",
                             std::to_string(deepest.frame + SHOWN), "--trace", out + "/trace.jsonl", "--capture",
                             captures, "--capture-dir", out}),
                  0);
        std::vector<std::string> played = ReadLines(out + "/trace.jsonl");
        ASSERT_EQ(long(played.size()), deepest.frame + SHOWN);
        for (const Start& s : starts) {
            SCOPED_TRACE(s.scene);
            ASSERT_GE(s.frame, 0);
            // The way to a scene is the start of the way to any scene after it on the same path.
            ASSERT_LE(s.keys.size(), deepest.keys.size());
            EXPECT_EQ(s.keys, std::vector<std::string>(deepest.keys.begin(), deepest.keys.begin() + long(s.keys.size())));
            std::vector<std::string> started = ReadLines(s.dir + "/trace.jsonl");
            ASSERT_EQ(long(started.size()), SHOWN);
            if (s.scene.find("choice") != std::string::npos) {  // the answers open, with their cursor (slot 5)
                EXPECT_NE(started[0].find(",5]"), std::string::npos) << started[0].substr(0, 120);
            }
            long compared = SHOWN;
            for (const std::string& key : deepest.keys)
                if (std::atol(key.c_str()) >= s.frame) compared = std::min(compared, std::atol(key.c_str()) - s.frame);
            EXPECT_GE(compared, 20);
            for (long k = 0; k < compared; ++k) {
                ASSERT_EQ(started[size_t(k)].rfind("{\"frame\":" + std::to_string(k) + ",", 0), 0u);
                ASSERT_EQ(Unnumbered(started[size_t(k)]), Unnumbered(played[size_t(s.frame + k)])) << "frame " << k;
            }
            for (long k : {0L, 19L, SHOWN - 1}) {
                if (k >= compared) continue;
                std::string page = ReadText(s.dir + PageName(k));
                ASSERT_FALSE(page.empty());
                EXPECT_EQ(page, ReadText(out + PageName(s.frame + k))) << "page " << k;
            }
        }
    }
}

TEST(StartScene, UnknownScenesAreRefusedWithTheUsage) {
    for (const char* scene : {"nowhere", "route", "route:nobody", "ending", "ending:maybe", "roll:match:3", "title:1"}) {
        std::string errors;
        EXPECT_EQ(RunKirake({"--headless", "--builtin-story", "--frames", "1", "--start", scene}, &errors), 2) << scene;
        EXPECT_NE(errors.find("unknown scene"), std::string::npos) << errors;
    }
    // With the default story's script: its places only, and each of a way's places.
    for (const char* scene : {"nowhere", "ending:match", "route:heren/nowhere", "/", "route:heren//ending"}) {
        std::string errors;
        EXPECT_EQ(RunKirake({"--headless", "--frames", "1", "--start", scene}, &errors), 2) << scene;
        EXPECT_NE(errors.find("has no scene or label"), std::string::npos) << errors;
    }
}

}  // namespace
