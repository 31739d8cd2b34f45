// Every program answers --help (its usage, on standard output, status 0) and --version (its name and the
// game's version), whatever else its command line would want; the manual pages are made from these.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif
#include "test_support.h"

using namespace authoring;

namespace {
bool IsProgram(const fs::directory_entry& entry) {
#ifdef _WIN32
    return entry.is_regular_file() && entry.path().extension() == ".exe";
#else
    return entry.is_regular_file() && access(entry.path().c_str(), X_OK) == 0;
#endif
}
}  // namespace

TEST(ToolHelp, EveryProgramAnswersHelpAndVersion) {
    RunResult game = RunTool({KIRAKE_BINARY, "--version"});
    ASSERT_EQ(game.status, 0);
    ASSERT_EQ(game.output.rfind("kirake ", 0), 0u) << game.output;
    std::string version = game.output.substr(7);

    std::vector<fs::path> programs{KIRAKE_BINARY};
    for (const auto& entry : fs::recursive_directory_iterator(KIRAKE_TOOLS_DIR)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("kirake-", 0) == 0 && IsProgram(entry))
            programs.push_back(entry.path());
    }
    EXPECT_GE(programs.size(), 8u) << "the game and the seven tools";
    for (const fs::path& program : programs) {
        std::string name = program.filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".exe") name.resize(name.size() - 4);
        for (const char* ask : {"--help", "-h"}) {
            RunResult help = RunTool({program.string(), ask});
            EXPECT_EQ(help.status, 0) << name << " " << ask;
            EXPECT_EQ(help.output.rfind("Usage: " + name + " ", 0), 0u) << name << ": " << help.output;
            EXPECT_NE(help.output.find("--version"), std::string::npos) << name;
        }
        RunResult shown = RunTool({program.string(), "--version"});
        EXPECT_EQ(shown.status, 0) << name;
        EXPECT_EQ(shown.output, name + " " + version) << name;
    }
}
