// Live reload: the data files saved while the game runs are taken at the frame boundary, each by the
// subsystem that holds it. What cannot be taken is reported, and the game goes on with what it had. A
// picture taken whose own colours differ from the palette the screen shows it in is reported too.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "app/app.h"
#include "app/colour_tables.h"
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/files.h"
#include "platform/overlay.h"
#include "platform/watch.h"
#include "sound/sound.h"
#include "story/script.h"
#include "text/text.h"

namespace {
struct ReloadRecord {
    std::map<std::string, std::string> problems;  // file -> why it was not taken, until taken
    std::map<std::string, std::string> colours;   // picture taken -> how its colours differ, until they do not
    std::vector<std::string> storyText;  // what the story's text lacks for its script, since the last save
};
ReloadRecord reload;

bool EndsWith(const std::string& name, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return name.size() >= n && SameNameIgnoringCase(name.c_str() + name.size() - n, suffix);
}

// The same file, whatever the case of its name and the folder it lies in.
bool SameBaseName(const char* held, const std::string& saved) {
    auto base = [](const char* name) {
        const char* b = name;
        for (const char* p = name; *p; ++p)
            if (*p == '/' || *p == '\\') b = p + 1;
        return b;
    };
    return *held && SameNameIgnoringCase(base(held), base(saved.c_str()));
}

// A picture a sheet holds shows in the colours of the screen's palette at its indexes, whatever its own
// table says: *line says where the two differ at indexes its pixels use, or is "" (also for the picture the
// palette is taken from, which is the palette, and for a picture no sheet holds: it is not shown now, and
// kirake-check compares it with the palette it will be shown with). 0 when the file cannot be read.
int ColourMismatch(const std::string& path, std::string* line) {
    line->clear();
    if (!display.device || !sheetSources.paletteFile[0] || SameBaseName(sheetSources.paletteFile, path)) return 1;
    bool held = false;
    for (const auto& file : sheetSources.fileName) held |= SameBaseName(file, path);
    if (!held) return 1;
    Bitmap* bitmap = LoadBitmapFile(path.c_str());
    if (!bitmap) return 0;
    bool used[256] = {};
    for (size_t i = 0, n = size_t(bitmap->width) * bitmap->height; i < n; ++i) used[bitmap->pixels[i]] = true;
    uint8_t own[256][3] = {}, shown[256][3];
    for (int i = 0; i < bitmap->colourCount && i < 256; ++i)
        for (int k = 0; k < 3; ++k) own[i][k] = bitmap->table[i][k];
    FreeBitmap(bitmap);
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& entry = display.masterPalette[i];
        shown[i][0] = entry.red;
        shown[i][1] = entry.green;
        shown[i][2] = entry.blue;
    }
    ColourTableDifference difference = CompareColourTables(used, own, shown);
    if (difference.count)
        *line = path + ": its colours differ from the palette at " + (difference.count == 1 ? "index " : "indexes ") +
                DifferingIndexes(difference) + "; the screen shows the palette's (" + sheetSources.paletteFile + "'s)";
    return 1;
}

// After the files saved in one frame are taken (a new palette and the pictures drawn with it may come
// together), the pictures taken and those already reported are compared with the palette in force. 1 when
// what is reported changed.
int CompareTakenPictures(const std::vector<std::string>& taken) {
    std::set<std::string> pictures(taken.begin(), taken.end());
    for (const auto& entry : reload.colours) pictures.insert(entry.first);
    int changed = 0;
    for (const std::string& path : pictures) {
        std::string line;
        if (!ColourMismatch(path, &line)) continue;  // not readable now: what was said of it stands
        auto held = reload.colours.find(path);
        if (line.empty()) {
            if (held == reload.colours.end()) continue;
            reload.colours.erase(held);
        } else {
            if (held != reload.colours.end() && held->second == line) continue;
            std::fprintf(stderr, "kirake: %s\n", line.c_str());
            reload.colours[path] = line;
        }
        changed = 1;
    }
    return changed;
}

// Takes one saved file. 1 when taken (or not one the game reads), 0 with *why when it cannot be.
int TakeFile(Window window, const std::string& path, const std::string& name, const char** why) {
    if (SameNameIgnoringCase(name.c_str(), ScriptTextName().c_str())) return ReloadScriptText(window, why);
    if (IsStoryScriptFile(name)) {
        static std::string problem;
        if (ReloadStoryScript(window, &problem)) return 1;
        *why = problem.c_str();
        return 0;
    }
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

void ForgetLiveReloadNotes() {
    reload = ReloadRecord{};
    ShowOverlayLine(nullptr);
}

void TakeSavedDataFiles(Window window) {
    std::vector<std::string> saved;
    if (!TakeSavedFiles(&saved)) return;
    bool changed = false;
    // Sources of a story project go to the rebuild; what it wrote comes back here as saved files.
    std::vector<RebuildResult> finished;
    for (const std::string& path : saved) QueueSourceRebuild(path);
    TakeFinishedRebuilds(&finished);
    std::vector<std::string> notes;  // shown until the line next changes
    for (const RebuildResult& result : finished) {
        if (!ProjectRebuildAvailable()) {  // a source this build cannot compile, named once
            std::fprintf(stderr, "kirake: %s\n", result.error.c_str());
            notes.push_back(result.error);
            changed = true;
        } else if (result.error.empty()) {
            for (const std::string& file : result.built)
                std::fprintf(stderr, "kirake: rebuilt %s from %s\n", file.c_str(), result.source.c_str());
            changed |= reload.problems.erase(result.source) > 0;
        } else {
            std::fprintf(stderr, "kirake: %s; keeping the last good version\n", result.error.c_str());
            reload.problems[result.source] = result.error;
            changed = true;
        }
    }
    std::vector<std::string> pictures;  // taken
    bool textTaken = false;             // the story's text or script
    for (const std::string& path : saved) {
        std::string name = path.substr(path.rfind('/') + 1);
        const char* why = "cannot be taken";
        int taken = TakeFile(window, path, name, &why);
        if (taken < 0) continue;  // not a file the game reads
        if (taken) {
            std::fprintf(stderr, "kirake: took the saved %s\n", path.c_str());
            textTaken |= SameNameIgnoringCase(name.c_str(), ScriptTextName().c_str()) || IsStoryScriptFile(name);
            changed |= reload.problems.erase(name) > 0;
            if (EndsWith(name, ".bmp")) pictures.push_back(path);
        } else {
            if (std::string(why).rfind(name, 0) == 0)  // a script's problem names its file and line itself
                std::fprintf(stderr, "kirake: %s; keeping the last good version\n", why);
            else
                std::fprintf(stderr, "kirake: %s: %s; keeping the last good version\n", path.c_str(), why);
            reload.problems[name] = why;
            changed = true;
        }
    }
    if (!pictures.empty() || !reload.colours.empty()) changed |= CompareTakenPictures(pictures) != 0;
    if (textTaken) {
        std::vector<std::string> findings;
        CheckScriptText(&findings);
        for (const std::string& finding : findings) std::fprintf(stderr, "kirake: %s\n", finding.c_str());
        changed |= findings != reload.storyText;
        reload.storyText = findings;
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
    for (const auto& entry : reload.colours) line += (line.empty() ? "" : " | ") + entry.second;
    if (!reload.storyText.empty())
        line += (line.empty() ? "" : " | ") + reload.storyText[0] +
                (reload.storyText.size() > 1 ? " (and " + std::to_string(reload.storyText.size() - 1) + " more)" : "");
    for (const std::string& note : notes) line += (line.empty() ? "" : " | ") + note;
    ShowOverlayLine(line.c_str());
}
