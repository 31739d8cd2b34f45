// Live reload: the data files saved while the game runs are taken at the frame boundary, each by the
// subsystem that holds it. What cannot be taken is reported, and the game goes on with what it had.
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/files.h"
#include "platform/overlay.h"
#include "platform/watch.h"
#include "sound/sound.h"
#include "text/text.h"

namespace {
struct ReloadRecord {
    std::map<std::string, std::string> problems;  // file -> why it was not taken, until taken
};
ReloadRecord reload;

bool EndsWith(const std::string& name, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return name.size() >= n && SameNameIgnoringCase(name.c_str() + name.size() - n, suffix);
}

// Takes one saved file. 1 when taken (or not one the game reads), 0 with *why when it cannot be.
int TakeFile(Window window, const std::string& path, const std::string& name, const char** why) {
    if (SameNameIgnoringCase(name.c_str(), ScriptTextName().c_str())) return ReloadScriptText(window, why);
    if (EndsWith(name, ".bmp")) return ReloadPicture(window, path.c_str(), why);
    if (EndsWith(name, ".pmd")) return ReloadSong(path.c_str(), why);
    for (const EffectFile& effect : effectBank) {
        if (!SameNameIgnoringCase(name.c_str(), effect.file)) continue;
        if (LoadEffect(effect.file, effect.slot)) return 1;
        *why = "not a WAV file with the 58-byte head (kirake-sfx import writes one)";
        return 0;
    }
    return -1;
}
}  // namespace

void TakeSavedDataFiles(Window window) {
    std::vector<std::string> saved;
    if (!TakeSavedFiles(&saved)) return;
    bool changed = false;
    // Sources of a story project go to the rebuild; what it wrote comes back here as saved files.
    std::vector<RebuildResult> finished;
    for (const std::string& path : saved) QueueSourceRebuild(path);
    TakeFinishedRebuilds(&finished);
    for (const RebuildResult& result : finished) {
        if (result.error.empty()) {
            for (const std::string& file : result.built)
                std::fprintf(stderr, "kirake: rebuilt %s from %s\n", file.c_str(), result.source.c_str());
            changed |= reload.problems.erase(result.source) > 0;
        } else {
            std::fprintf(stderr, "kirake: %s; keeping the last good version\n", result.error.c_str());
            reload.problems[result.source] = result.error;
            changed = true;
        }
    }
    for (const std::string& path : saved) {
        std::string name = path.substr(path.rfind('/') + 1);
        const char* why = "cannot be taken";
        int taken = TakeFile(window, path, name, &why);
        if (taken < 0) continue;  // not a file the game reads
        if (taken) {
            std::fprintf(stderr, "kirake: took the saved %s\n", path.c_str());
            changed |= reload.problems.erase(name) > 0;
        } else {
            std::fprintf(stderr, "kirake: %s: %s; keeping the last good version\n", path.c_str(), why);
            reload.problems[name] = why;
            changed = true;
        }
    }
    if (!changed) return;
    std::string line;
    if (reload.problems.size() == 1) {
        const auto& [name, why] = *reload.problems.begin();
        // A build error names its file and line itself.
        line = (why.rfind(name, 0) == 0 ? why : name + ": " + why) + "; using the last good one";
    } else if (!reload.problems.empty()) {
        line = "Not taken, using the last good ones:";
        for (const auto& entry : reload.problems) line += " " + entry.first;
    }
    ShowOverlayLine(line.c_str());
}
