// The tests' process runner, seen through the game binary: arguments arrive as given, whatever they hold;
// a program past its time limit is killed.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <fstream>
#include "run_program.h"
#include "test_support.h"

TEST(ProcessRunner, ArgumentsArriveUnchangedAndStandardErrorGoesToItsFile) {
    std::string dir = MakeTempDir("runner");
    for (std::string scene : {"", "two words", "a \"quoted\" one", "back\\slash\\", "\\\"", "it's $HOME `x` *", "ない"}) {
        ProcessOptions options;
        options.errors = dir + "/err.txt";
        EXPECT_EQ(RunProcess({KIRAKE_BINARY, "--headless", "--start", scene}, options).status, 2) << scene;
        std::ifstream in(options.errors, std::ios::binary);
        std::string errors((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        errors.erase(std::remove(errors.begin(), errors.end(), '\r'), errors.end());  // Windows: CR LF
        EXPECT_NE(errors.find("unknown scene \"" + scene + "\"\n"), std::string::npos) << errors;
    }
    EXPECT_EQ(RunProcess({dir + "/no-such-program"}).status, -1);
}

TEST(ProcessRunner, AProgramPastItsTimeLimitIsKilled) {
    std::string data = MakeTempDir("runner-forever");
    std::ofstream(data + "/data.txt").flush();
    ProcessOptions options;
    options.seconds = 0.5;
    auto start = std::chrono::steady_clock::now();
    ProcessResult run = RunProcess({KIRAKE_BINARY, "--headless", "--data", data, "--frames", "1000000000"}, options);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.status, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
