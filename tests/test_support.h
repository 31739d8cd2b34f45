// The tests' shared helpers (the library kirake_test_support): the display on the headless platform and
// small pictures in memory, scratch folders, runs of the game and of the authoring tools. Files and traces
// are test_files.h, starting programs run_program.h.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "platform/display.h"
#include "run_program.h"
#include "test_files.h"

// Resets the program's records and opens a bare display: device, primary with back buffer and clipper,
// the display palette as given. The platform must be started.
void OpenTestDisplay(const PaletteEntry palette[256]);

// Starts the headless platform and a bare display (device, primary, back buffer, display palette).
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void SetDisplayPalette(const std::vector<PaletteEntry>& entries);  // the rest black
    PaletteEntry DisplayEntry(int index);
};

// An 8-bit BMP file image: pixels top row first, a table of `colours` entries (index i = {i, i, i} unless given).
std::vector<uint8_t> MakeBmp(int width, int height, const std::vector<uint8_t>& pixels,
                             const std::vector<PaletteEntry>& table = {}, int colours = 256);
// Writes the file, failing the test when it cannot.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Fills a whole surface with one palette index.
void FillSurface(Surface* surface, int index);
// A surface's pixels row by row; empty when it cannot be locked.
std::vector<uint8_t> SurfacePixels(Surface* surface);
// A fresh empty folder under the test's temporary directory.
std::string MakeTempDir(const std::string& name);
// Copies the files and folders of `from` into `to`, over what is there. (std::filesystem::copy takes
// two folders of one drive for the same on Windows, where the C library gives every file inode 0.)
void CopyFolder(const std::string& from, const std::string& to);
// Runs the game binary with these arguments; returns its exit code (-1 when it crashed); standard error
// is captured in *errors when given.
int RunKirake(const std::vector<std::string>& arguments, std::string* errors = nullptr);
// The environment change that turns the leak checker off for a program started from a test (the
// desktop's own libraries, reached through SDL, keep allocations until exit).
std::string LeakCheckOff();
// The words of an option list that holds no file names: "--frames 5 --fault palette@0".
std::vector<std::string> Words(const std::string& options);

// The story played by the built-in scenes and by a story script: one run of each with the same command
// line (`arguments`, plus --builtin-story for the first), each with its trace, the listed captures and
// the recorded sound in a folder of its own. The traces must agree in every field but where the story
// stands (the built-in "chapter", "step", "firstAnswer", "goodEnding"; the script's "scene", "vars");
// the captures and the sound byte for byte. `scriptStart` replaces a --start value for the script run.
struct StoryRuns {
    int builtinCode = -1, scriptCode = -1;
    std::vector<std::string> builtinTrace, scriptTrace;
    std::string builtinDir, scriptDir;
};
StoryRuns RunBothStories(const std::string& data, const std::vector<std::string>& arguments,
                         const std::string& captures, const std::string& scriptStart = "");
// Expects what RunBothStories describes; `what` names the run in failures.
void ExpectSameStory(const StoryRuns& runs, const std::string& what);
// A trace line without the fields that say where the story stands.
std::string WithoutStoryPosition(const std::string& line);

// Helpers for the authoring tool tests: running a built tool, scratch folders, little-endian bytes.
namespace authoring {

namespace fs = std::filesystem;

// The built tool `name` (tools/<folder>/<name> in the build tree, or tools/<name>).
std::string ToolPath(const std::string& folder, const std::string& name);

// status: the exit code, or -1 when the tool did not exit normally; output: standard output and error.
using RunResult = ProcessResult;
RunResult RunTool(const std::vector<std::string>& args, ProcessOptions options = {});

// A fresh, empty folder under the system's temporary folder, removed when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
inline void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
}
inline void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

}  // namespace authoring
