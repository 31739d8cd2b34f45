// The guide for authors as a script: every command block of docs/authoring.md ("```sh"), in order, in a
// fresh folder with the built game and tools on the PATH, must succeed. The game's window cannot open
// here, so "--window" plays headless for a second.
#include <gtest/gtest.h>
#include <sstream>
#include "authoring_util.h"

using namespace authoring;

namespace {

// The guide's blocks are shell commands: they run in sh, from the scratch folder.
std::string ShellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> CommandBlocks(const std::string& guide) {
    std::vector<std::string> blocks;
    std::istringstream lines(guide);
    std::string line, block;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (!inside && line == "```sh") {
            inside = true;
            block.clear();
        } else if (inside && line == "```") {
            inside = false;
            blocks.push_back(block);
        } else if (inside) {
            for (size_t at; (at = line.find("--window")) != std::string::npos;)
                line.replace(at, 8, "--headless --frames 60");
            block += line + "\n";
        }
    }
    return blocks;
}

}  // namespace

TEST(AuthoringGuide, EveryCommandInTheGuideRuns) {
    if (RunTool({"sox", "--version"}).status != 0) GTEST_SKIP() << "no sox";
    std::vector<uint8_t> text = ReadBytes(fs::path(KIRAKE_SOURCE_DIR) / "docs" / "authoring.md");
    std::vector<std::string> blocks = CommandBlocks(std::string(text.begin(), text.end()));
    ASSERT_GE(blocks.size(), 8u);
    ScratchDir dir;
    fs::create_directories(dir.path() / "bin");
    fs::create_symlink(KIRAKE_BINARY, dir.path() / "bin" / "kirake");
    for (const auto& entry : fs::recursive_directory_iterator(KIRAKE_TOOLS_DIR)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("kirake-", 0) == 0 && access(entry.path().c_str(), X_OK) == 0 &&
            !fs::exists(dir.path() / "bin" / name))
            fs::create_symlink(entry.path(), dir.path() / "bin" / name);
    }
    std::string setup = "cd " + ShellQuote(dir.path().string()) + " && PATH=" +
                        ShellQuote((dir.path() / "bin").string()) + ":\"$PATH\" && set -e && ";
    for (const std::string& block : blocks) {
        RunResult r = RunTool({"sh", "-c", setup + block});
        EXPECT_EQ(r.status, 0) << block << "\n" << r.output;
    }
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "mystory-board" / "index.html"));
}
