// kirake-check on one data file made of fuzzed bytes, checked alone as the checker checks each file of a
// folder. The first byte picks the file.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include "check/check.h"
#include "support.h"

namespace {
const char* const FILES[] = {"data.txt",     "bmp/System.BMP", "bmp/game_w.BMP", "bmp/stage1.BMP",
                             "bmp/heren.BMP", "End.wav",        "mag.wav",        "kura3.pmd",
                             "koi.pmd"};
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
    CheckDataFile(folder, name);
    std::fflush(stdout);
    std::remove(path.c_str());
    return 0;
}
