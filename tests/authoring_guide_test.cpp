// The guide for authors as a script: every command block of docs/authoring.md ("```sh"), in order, in a
// fresh folder with the built game and tools on the PATH, must succeed; a file block ("```text PATH")
// is written to PATH there first. The game's window cannot open here, so "--window" plays headless for
// a second, and kirake-export writes only the parts whose engines were built beside this build (the web
// and Windows test scripts play those). The guide's hello world is then played to each of its endings,
// as it is and from the Linux folder exported.
#include <gtest/gtest.h>
#include <fstream>
#include <set>
#include <sstream>
#include "test_support.h"

using namespace authoring;

namespace {

// The guide's blocks are shell commands: they run in sh, from the scratch folder.
std::string ShellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A block of the guide: shell commands (no file), or the text of a file.
struct Block {
    std::string file, text;
};

// The parts kirake-export can write here: the Linux folder always, the web site and the Windows zip when
// ./setup built them beside this build (where the tool looks).
std::string ExportParts() {
    fs::path root = fs::path(KIRAKE_TOOLS_DIR).parent_path().parent_path();
    std::string parts = "linux";
    if (fs::exists(root / "build-web" / "kirake.wasm") && RunTool({"node", "--version"}).status == 0) parts += ",web";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root / "build-windows", error))
        if (fs::exists(entry.path() / "kirake.exe")) return parts + ",windows";
    return parts;
}

std::vector<Block> GuideBlocks(const std::string& guide) {
    std::vector<Block> blocks;
    std::istringstream lines(guide);
    std::string line;
    Block* block = nullptr;
    while (std::getline(lines, line)) {
        if (!block && (line == "```sh" || line.rfind("```text ", 0) == 0)) {
            blocks.push_back({line == "```sh" ? "" : line.substr(8), ""});
            block = &blocks.back();
        } else if (block && line == "```") {
            block = nullptr;
        } else if (block) {
            for (size_t at; block->file.empty() && (at = line.find("--window")) != std::string::npos;)
                line.replace(at, 8, "--headless --frames 60");
            if (block->file.empty() && line.rfind("kirake-export ", 0) == 0) line.insert(14, "--only " + ExportParts() + " ");
            block->text += line + "\n";
        }
    }
    return blocks;
}

// A story's endings: the scenes that end in a staff roll, with the line of their roll.
std::vector<std::pair<std::string, int>> Endings(const std::vector<std::string>& script) {
    std::vector<std::pair<std::string, int>> endings;
    std::string scene;
    for (size_t i = 0; i < script.size(); ++i) {
        std::istringstream words(script[i]);
        std::string verb, name;
        words >> verb >> name;
        if (verb == "scene") scene = name;
        if (verb == "roll" && !scene.empty()) endings.push_back({scene, int(i + 1)}), scene.clear();
    }
    return endings;
}

}  // namespace

// The browser tests play the hello world from a copy of its sources (tests/stories/hello, beside its key
// scripts): the copy is the guide's text, file for file.
TEST(AuthoringGuide, HelloWorldCopyIsTheGuides) {
    std::vector<uint8_t> text = ReadBytes(fs::path(KIRAKE_SOURCE_DIR) / "docs" / "authoring.md");
    fs::path copy = fs::path(KIRAKE_SOURCE_DIR) / "tests" / "stories";
    std::set<std::string> guideFiles, copyFiles;
    for (const Block& block : GuideBlocks(std::string(text.begin(), text.end()))) {
        if (block.file.rfind("hello/", 0) != 0) continue;
        guideFiles.insert(block.file);
        EXPECT_EQ(ReadText(copy / block.file), block.text) << block.file;
    }
    for (const auto& entry : fs::recursive_directory_iterator(copy / "hello")) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.rfind("keys-", 0) != 0)
            copyFiles.insert(fs::relative(entry.path(), copy).generic_string());
    }
    EXPECT_EQ(guideFiles.size(), 3u);
    EXPECT_EQ(copyFiles, guideFiles);
}

TEST(AuthoringGuide, EveryCommandInTheGuideRuns) {
    if (RunTool({"sox", "--version"}).status != 0) GTEST_SKIP() << "no sox";
    std::vector<uint8_t> text = ReadBytes(fs::path(KIRAKE_SOURCE_DIR) / "docs" / "authoring.md");
    std::vector<Block> blocks = GuideBlocks(std::string(text.begin(), text.end()));
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
    for (const Block& block : blocks) {
        if (!block.file.empty()) {
            fs::create_directories((dir.path() / block.file).parent_path());
            WriteText(dir.path() / block.file, block.text);
            continue;
        }
        RunResult r = RunTool({"sh", "-c", setup + block.text});
        EXPECT_EQ(r.status, 0) << block.text << "\n" << r.output;
    }
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "mystory-board" / "index.html"));

    // The hello world: at most fifteen lines, two endings, each reached from the start by a player who
    // answers the way there and then presses a key every half second until the credits; the Linux folder
    // exported plays the same game frame for frame.
    fs::path hello = dir.path() / "hello", shared = dir.path() / "hello-shared";
    EXPECT_TRUE(fs::is_regular_file(shared / "hello-linux" / "data" / "bmp" / "hello.BMP"));
    EXPECT_FALSE(fs::exists(shared / "hello-linux" / "data" / "pictures"));
    if (ExportParts().find("web") != std::string::npos) {
        EXPECT_TRUE(fs::is_regular_file(shared / "web" / "story.kpak"));
        EXPECT_NE(ReadText(shared / "web" / "sw.js"),
                  ReadText(fs::path(KIRAKE_TOOLS_DIR).parent_path().parent_path() / "build-web" / "sw.js"));
    }
    std::vector<std::string> script = TextLines(ReadText(hello / "scenes.txt"));
    EXPECT_LE(script.size(), 15u);
    std::vector<std::pair<std::string, int>> endings = Endings(script);
    ASSERT_EQ(endings.size(), 2u);
    for (const auto& [scene, rollLine] : endings) {
        fs::path keys = dir.path() / ("keys-" + scene + ".txt"), trace = dir.path() / ("trace-" + scene + ".jsonl");
        RunResult way = RunTool({KIRAKE_BINARY, "--headless", "--data", hello.string(), "--start", scene, "--start-keys",
                                 keys.string(), "--frames", "1"});
        ASSERT_EQ(way.status, 0) << way.output;
        long last = 0;
        for (const std::string& line : TextLines(ReadText(keys)))
            if (!line.empty() && line[0] != '#') last = std::atol(line.c_str());
        std::string presses;
        for (long frame = last + 30; frame < last + 900; frame += 30) presses += std::to_string(frame) + " press z\n";
        std::ofstream(keys, std::ios::app) << presses;
        RunResult played = RunTool({KIRAKE_BINARY, "--headless", "--data", hello.string(), "--keys", keys.string(),
                                    "--frames", std::to_string(last + 1200), "--trace", trace.string()});
        ASSERT_EQ(played.status, 0) << played.output;
        fs::path exported = dir.path() / ("exported-" + scene + ".jsonl");
        RunResult linux = RunTool({(shared / "hello-linux" / "play").string(), "--headless", "--keys", keys.string(),
                                   "--frames", std::to_string(last + 1200), "--trace", exported.string()});
        ASSERT_EQ(linux.status, 0) << linux.output;
        EXPECT_TRUE(ReadText(exported) == ReadText(trace)) << scene << ": the Linux folder plays another game";
        std::vector<std::string> lines = TextLines(ReadText(trace));
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find("\"scene\":\"scenes.txt:" + std::to_string(rollLine) + "\""), std::string::npos)
            << scene << ": " << lines.back().substr(0, 120);
    }
}

// What the tool refuses, and a part whose engine is not there: named, left out, the others written.
TEST(AuthoringGuide, ExportSaysWhatItCannotWrite) {
    ScratchDir dir;
    fs::path tool = fs::path(KIRAKE_TOOLS_DIR) / "export" / "kirake-export";
    RunResult notStory = RunTool({tool.string(), dir.path().string(), (dir.path() / "out").string()});
    EXPECT_EQ(notStory.status, 1);
    EXPECT_NE(notStory.output.find("is not a story folder (it has no data.txt)"), std::string::npos) << notStory.output;
    RunResult missing = RunTool({tool.string(), "--web-build", (dir.path() / "none").string(), "--windows-build",
                                 (dir.path() / "none").string(), KIRAKE_DATA_DIR, (dir.path() / "out").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("no web site: the web build was not found"), std::string::npos) << missing.output;
    EXPECT_NE(missing.output.find("no Windows zip: the Windows game (kirake.exe) was not found in"), std::string::npos);
    EXPECT_NE(missing.output.find("1 of 3 parts written"), std::string::npos);
    fs::path folder = dir.path() / "out" / "gamedata-linux";
    EXPECT_TRUE(fs::is_regular_file(folder / "data" / "data.txt"));
    RunResult played = RunTool({(folder / "play").string(), "--headless", "--frames", "2"});
    EXPECT_EQ(played.status, 0) << played.output;
    EXPECT_EQ(RunTool({tool.string(), "--only", "mac", KIRAKE_DATA_DIR, (dir.path() / "out").string()}).status, 2);
}
