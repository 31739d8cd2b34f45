// kirake-check on a good data folder in which one file is replaced by fuzzed bytes (or a large file
// written small). The first byte picks the file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include "support.h"

int KirakeCheckMain(int argc, char** argv);

namespace {
const char* const FILES[] = {"data.txt",     "bmp/System.BMP", "bmp/game_w.BMP", "bmp/stage1.BMP",
                             "bmp/heren.BMP", "End.wav",        "mag.wav",        "kura3.pmd",
                             "koi.pmd"};
constexpr int FILE_COUNT = sizeof FILES / sizeof FILES[0];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = FuzzFolder() + "/data";
    static std::map<std::string, std::vector<uint8_t>> good;  // the files as they were
    static const bool ready = [] {
        std::string copy = "cp -r '" KIRAKE_FUZZ_DATA_DIR "' '" + folder + "'";
        if (std::system(copy.c_str()) != 0) return false;
        for (const char* name : FILES) {
            std::ifstream in(folder + "/" + name, std::ios::binary);
            good[name].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return true;
    }();
    if (!ready || size == 0) return 0;
    std::string file = FILES[data[0] % FILE_COUNT];
    std::vector<uint8_t> bytes = ExpandInput(data + 1, size - 1);
    if (!WriteBytes(folder + "/" + file, bytes.data(), bytes.size())) return 0;
    char name[] = "kirake-check";
    std::string dir = folder;
    char* argv[] = {name, dir.data(), nullptr};
    KirakeCheckMain(2, argv);
    std::fflush(stdout);
    const std::vector<uint8_t>& original = good[file];
    if (!WriteBytes(folder + "/" + file, original.data(), original.size())) std::abort();
    return 0;
}
