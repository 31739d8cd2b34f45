// The build's backends chosen by name: the null backend (no window, no sound, the real clock) plays the
// title as the headless one does, and a name the build lacks, or one of the other kind, is refused.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "test_files.h"
#include "test_support.h"

namespace {

bool BuildHas(const std::string& name) {
    for (const Backend* const* backend = buildBackends; *backend; ++backend)
        if ((*backend)->name == name) return true;
    return false;
}

TEST(PlatformBackends, NullBackendPlaysTheTitleOnTheRealClock) {
    if (!BuildHas("null")) GTEST_SKIP() << "this build has no null backend";
    std::string dir = MakeTempDir("backend-null");
    std::string errors;
    ASSERT_EQ(RunKirake({"--backend", "null", "--data", KIRAKE_DATA_DIR, "--frames", "600", "--trace", dir + "/null.jsonl"},
                        &errors),
              0)
        << errors;
    ASSERT_EQ(RunKirake({"--headless", "--data", KIRAKE_DATA_DIR, "--frames", "600", "--trace", dir + "/headless.jsonl"}), 0);
    std::vector<std::string> real = ReadLines(dir + "/null.jsonl"), virtualClock = ReadLines(dir + "/headless.jsonl");
    ASSERT_EQ(real.size(), 600u);
    ASSERT_EQ(virtualClock.size(), 600u);
    // The same frames of the story; only the music, which follows the clock, may stand elsewhere.
    for (size_t frame : {0u, 100u, 300u, 599u})
        EXPECT_EQ(TraceField(real[frame], "scene"), TraceField(virtualClock[frame], "scene")) << "frame " << frame;
}

TEST(PlatformBackends, UnknownNamesAndTheWrongKindAreRefused) {
    std::string errors;
    EXPECT_EQ(RunKirake({"--backend", "teletype", "--frames", "1"}, &errors), 1);
    EXPECT_NE(errors.find("this build has no backend teletype (it has "), std::string::npos) << errors;
    EXPECT_NE(errors.find("headless"), std::string::npos) << errors;
    EXPECT_EQ(RunKirake({"--backend", "headless", "--frames", "1"}, &errors), 1);
    EXPECT_NE(errors.find("the backend headless serves --headless runs only"), std::string::npos) << errors;
    EXPECT_EQ(RunKirake({"--headless", "--backend", "headless", "--frames", "1"}, &errors), 0) << errors;
}

}  // namespace
