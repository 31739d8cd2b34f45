// Shared pieces of the fuzz harnesses: a private working folder, inputs as files, the headless display,
// and large inputs written small. Harnesses do their per-process set-up in LLVMFuzzerInitialize and
// release in every run what the run made, so that no run looks like a leak.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The harness's own empty folder (made once, removed at exit), as an absolute path. The process does not
// change its working folder: libFuzzer writes its findings relative to it.
const std::string& FuzzFolder();
// Writes bytes to a file; false when it cannot.
bool WriteBytes(const std::string& path, const uint8_t* data, size_t size);
// An 8-bit uncompressed BMP of one colour a band of 8 pixels, its table a grey ramp.
std::vector<uint8_t> FuzzBmp(int width, int height);
// Starts the headless platform and opens a display as start-up does (device, primary, back buffer,
// clipper, a grey display palette), once; later calls only reset the sheets. 1, or 0 when refused.
int OpenFuzzDisplay();
// Drops every display object and opens a fresh display: what a run made (sheets, palettes, which the
// game never frees) goes with it.
void RenewFuzzDisplay();

// A story script harness's input: scenes.txt up to the first line "--- NAME", then each "--- NAME" line
// starts the file NAME (at most 8); "--- @keys" and "--- @start" start those instead (see scenes.cpp).
struct FuzzScriptInput {
    std::vector<std::pair<std::string, std::string>> files;  // scenes.txt first
    std::string keys, start;
    bool hasKeys = false, hasStart = false;
};
FuzzScriptInput SplitFuzzScript(const uint8_t* data, size_t size);
// A name such an input's file may be written under beside the others: letters, digits, '.', '-' and '_',
// not starting with '.', at most 32 characters.
bool PlainFuzzName(const std::string& name);
// The story script read from those files in memory as start-up reads the folder's; 1, or 0 when it has
// problems (their text made as the game makes it).
struct ScriptProgram;
int ReadFuzzScript(const FuzzScriptInput& in, ScriptProgram* program);

// A tiny story folder in FuzzFolder(), made once after OpenFuzzDisplay: a few small pictures and a short
// data.txt (its messages typed by the story script harnesses), the script text loaded and the starting
// sheets taken from it. 1, or 0 when it could not be made.
int OpenFuzzStoryFolder();
// The sheets every run starts from, as start-up loads them.
void LoadFuzzStartingSheets();
// The story script player as start-up leaves it with `program` read, over the starting sheets and a grey
// palette; EndFuzzScript drops what the run made (the message under way, the player, replaced sheets and
// palettes, the window messages posted).
void BeginFuzzScript(ScriptProgram&& program);
void EndFuzzScript();

// Large files written small, for the inputs kept in tests/fuzz that reach the readers' real size limits:
// in the replayers an input that starts with "XPND" is size (u32, at most 32 MiB), head length (u16),
// head, then a pattern repeated after the head up to the size. The fuzzers take every input as it
// stands: their build lowers the limits instead, so that each run stays small.
constexpr uint32_t MAX_EXPANDED_BYTES = 32u << 20;
std::vector<uint8_t> ExpandInput(const uint8_t* data, size_t size);
