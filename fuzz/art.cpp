// The picture source language of kirake-art: a fuzzed source and the includes and palettes it names, read,
// drawn at its own size and encoded. The input: the picture up to the first line "--- NAME", then each
// "--- NAME" line starts the file NAME beside it (at most 8; a name of letters, digits, '.', '-' and '_').
// Beside them lie a FIFO (pipe.inc) and a link to /dev/zero (zero.inc), and the default pictures' includes
// and palettes are within reach. The include cache and the kept palettes live on from run to run, as in
// the game, which builds picture after picture: a file of the same name reads differently in the next run.
// The fuzz build's lower limits (sides, included text, includes, drawing) keep a run short.
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <string>
#include <vector>
#include "art/art.h"
#include "support.h"

namespace {
std::string tree;
std::vector<std::string> written;  // the last run's files, removed before the next

bool PlainName(const std::string& name) { return PlainFuzzName(name) && name != "pipe.inc" && name != "zero.inc"; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tree = FuzzFolder() + "/tree";
    if (mkdir(tree.c_str(), 0700) != 0 || mkfifo((tree + "/pipe.inc").c_str(), 0600) != 0 ||
        symlink("/dev/zero", (tree + "/zero.inc").c_str()) != 0)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const std::string& path : written) unlink(path.c_str());
    written.clear();
    FuzzScriptInput in = SplitFuzzScript(data, size);
    in.files[0].first = "fuzz.pic";
    for (const auto& [name, text] : in.files) {
        if (!PlainName(name)) continue;
        std::string path = tree + "/" + name;
        if (!WriteBytes(path, reinterpret_cast<const uint8_t*>(text.data()), text.size())) return 0;
        written.push_back(path);
    }
    Program program;
    program.searchDirs = {tree, KIRAKE_SOURCE_DIR "/data/pictures"};
    try {
        LoadProgram(tree + "/fuzz.pic", program);
        IndexImage image = Render(program);
        EncodeBmp(image, *program.palette);
    } catch (const ArtError&) {
    }
    return 0;
}
