// kirake-check on one data file made of fuzzed bytes, checked alone as the checker checks each file of a
// folder. The first byte picks the file; a glyph file is checked beside a short story in UTF-8 whose
// characters it should hold.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include "check/check.h"
#include "support.h"

namespace {
const char* const FILES[] = {"data.txt",     "bmp/System.BMP", "bmp/game_w.BMP", "bmp/stage1.BMP",
                             "bmp/heren.BMP", "End.wav",        "mag.wav",        "kura3.pmd",
                             "koi.pmd",      "glyphs.kfnt"};
// The story text beside a fuzzed glyph file: marked as UTF-8, with accented, Japanese and Greek letters.
const char UTF8_STORY[] = "\xEF\xBB\xBFtx0Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xCE\xB1<!\n";
constexpr int FILE_COUNT = sizeof FILES / sizeof FILES[0];
std::string folder;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = FuzzFolder() + "/data";
    std::filesystem::create_directories(folder + "/bmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* file = FILES[data[0] % FILE_COUNT];
    std::vector<uint8_t> bytes = ExpandInput(data + 1, size - 1);
    std::string path = folder + "/" + file;
    if (!WriteBytes(path, bytes.data(), bytes.size())) return 0;
    const char* name = std::strrchr(file, '/') ? std::strrchr(file, '/') + 1 : file;
    bool glyphs = std::strcmp(name, "glyphs.kfnt") == 0;
    std::string story = folder + "/data.txt";
    if (glyphs && !WriteBytes(story, reinterpret_cast<const uint8_t*>(UTF8_STORY), sizeof UTF8_STORY - 1)) return 0;
    CheckDataFile(folder, glyphs ? "data.txt" : name);
    std::fflush(stdout);
    std::remove(path.c_str());
    if (glyphs) std::remove(story.c_str());
    return 0;
}
