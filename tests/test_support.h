// Shared set-up for tests that need the display: a headless platform, a display with a primary and back
// buffer, and helpers to build small pictures in memory.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/display.h"

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
// Reads a trace file: one string per line.
std::vector<std::string> ReadLines(const std::string& path);

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
