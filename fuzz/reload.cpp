// The live reload: a story project watched as --watch watches it, a fuzzed key script saving files into
// it, and for 16 frames what the game does at each frame boundary (the saved files taken, the saved
// sources built into pictures and songs at once, as the headless game builds them, and what was built
// taken in turn). The project, in the harness's own folder, holds a picture with an include and a
// palette, a FIFO and a link to /dev/zero among the includes, a song, the story's text and the pictures
// the sheets show; it is put back as it was made after every run.
//
// The input: the key script up to the first line "--- NAME", then each "--- NAME" line starts the file
// NAME beside the script (at most 8; a name of letters, digits, '.', '-' and '_'), which a line
// "FRAME save PATH NAME" saves into the project. A script that names a file outside the harness's
// folders (an absolute path, "..") is not run. Each save costs the run a build or more: the fuzzer runs
// the first two of a script's saves (the kept inputs replayed in the tests run them all).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>
#include "app/app.h"
#include "art/art.h"
#include "gfx/gfx.h"
#include "platform/backend.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/overlay.h"
#include "platform/platform.h"
#include "platform/watch.h"
#include "platform/window.h"
#include "support.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
constexpr int FRAMES = 16;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int MAX_SAVES = 2;
#else
constexpr int MAX_SAVES = 1 << 30;
#endif
char home[4096];
std::string project, beside;

struct ProjectFile {
    const char* name;
    std::string bytes;
    struct stat checked{};  // as it was when last found or written as made
};
std::vector<ProjectFile> pristine;

bool PlainName(const std::string& name) { return PlainFuzzName(name) && name != "keys.txt"; }

// Only files of the harness's folders: no word that starts at the root, no "..".
bool StaysInside(const std::string& keys) {
    if (keys.find("..") != std::string::npos || keys.find('\\') != std::string::npos) return false;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == '/' && (i == 0 || std::isspace(static_cast<unsigned char>(keys[i - 1])))) return false;
    return true;
}

// The key script without the save lines after the first MAX_SAVES.
std::string LimitSaves(const std::string& keys) {
    std::string kept;
    int saves = 0;
    for (size_t at = 0; at < keys.size();) {
        size_t end = keys.find('\n', at);
        end = end == std::string::npos ? keys.size() : end + 1;
        std::string line = keys.substr(at, end - at), frame, word;
        std::istringstream words(line);
        bool save = words >> frame >> word && word == "save";
        if (!save || ++saves <= MAX_SAVES) kept += line;
        at = end;
    }
    return kept;
}

bool IsPristine(const std::string& name) {
    for (const ProjectFile& file : pristine)
        if (name == file.name) return true;
    return name == "pictures/pipe.inc" || name == "pictures/zero.inc";
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The project as made, put back in place (its folders stay, and so does the watch on them): what a run
// saved beside its files is removed, a file that reads differently is written again, and the FIFO and the
// link are made again where a save replaced them.
bool RestoreProject() {
    std::vector<std::string> extra;
    for (const char* folder : {"", "bmp/", "pictures/", "songs/"}) {
        DIR* dir = opendir((project + "/" + folder).c_str());
        if (!dir) return false;
        while (const dirent* entry = readdir(dir)) {
            std::string name = std::string(folder) + entry->d_name;
            bool kept = !std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..") || IsPristine(name) ||
                        (!*folder && (name == "bmp" || name == "pictures" || name == "songs"));
            if (!kept) extra.push_back(project + "/" + name);
        }
        closedir(dir);
    }
    std::error_code error;
    for (const std::string& path : extra) fs::remove_all(path, error);
    for (ProjectFile& file : pristine) {
        std::string path = project + "/" + file.name, now;
        // Every writer here (the key script's saves, the builds) writes a new file and renames it into
        // place, so a file with the inode, size and times it had is the file as made.
        struct stat info;
        bool found = lstat(path.c_str(), &info) == 0;
        if (found && SameFile(info, file.checked)) continue;
        std::string why;
        if (found && S_ISREG(info.st_mode) && !ReadRegularFile(path, file.bytes.size(), &now, &why)) now.clear();
        if (!found || now != file.bytes) {
            fs::remove_all(path, error);
            if (!WriteBytes(path, reinterpret_cast<const uint8_t*>(file.bytes.data()), file.bytes.size())) return false;
        }
        if (lstat(path.c_str(), &file.checked) != 0) return false;
    }
    std::string pipe = project + "/pictures/pipe.inc", zero = project + "/pictures/zero.inc";
    if (!fs::is_fifo(fs::symlink_status(pipe, error))) {
        fs::remove_all(pipe, error);
        if (mkfifo(pipe.c_str(), 0600) != 0) return false;
    }
    if (!fs::is_symlink(fs::symlink_status(zero, error))) {
        fs::remove_all(zero, error);
        if (symlink("/dev/zero", zero.c_str()) != 0) return false;
    }
    return true;
}

std::string SmallBmp(int width, int height) {
    std::vector<uint8_t> bytes = FuzzBmp(width, height);
    return std::string(bytes.begin(), bytes.end());
}

// The files beside the key script: only those that differ from the last run's are written. They are
// kept in place (not in a map made again each run), so that a run frees about what it allocates and
// libFuzzer's leak check seldom runs an input twice.
struct BesideFile {
    std::string name, bytes;
};
BesideFile besideNow[9];  // the key script and the files after it
size_t besideCount = 0;

bool PutBeside(const std::vector<BesideFile>& files) {
    if (files.size() > std::size(besideNow)) return false;
    std::error_code error;
    for (size_t i = 0; i < besideCount; ++i) {
        bool stays = false;
        for (const BesideFile& file : files) stays = stays || file.name == besideNow[i].name;
        if (!stays) fs::remove(beside + "/" + besideNow[i].name, error);
    }
    for (const BesideFile& file : files) {
        bool same = false;
        for (size_t i = 0; i < besideCount; ++i)
            same = same || (besideNow[i].name == file.name && besideNow[i].bytes == file.bytes);
        if (!same && !WriteBytes(beside + "/" + file.name, reinterpret_cast<const uint8_t*>(file.bytes.data()),
                                 file.bytes.size())) {
            besideCount = 0;
            fs::remove_all(beside, error);
            fs::create_directories(beside, error);
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        besideNow[i].name.assign(files[i].name);
        besideNow[i].bytes.assign(files[i].bytes);
    }
    besideCount = files.size();
    return true;
}

// The sheets as loaded from the project as made, and what they held then. A run that took a picture into
// one has the display made afresh (the game never frees a sheet it replaced) and the sheets loaded again.
Surface** const sheets[] = {&display.windowSheet, &display.charSheet, &display.systemSheet, &display.bgSheet};
struct SheetAsMade {
    Surface* surface;
    std::vector<uint8_t> pixels;
    PaletteEntry colours[256];
};
SheetAsMade made[4];

bool ReadSheet(int i, SheetAsMade* into) {
    into->surface = *sheets[i];
    into->pixels = sheetSources.loaded[i];
    Palette* own = into->surface ? SurfacePalette(into->surface) : nullptr;
    return own && ReadPaletteEntries(own, into->colours);
}

const char* const sheetFiles[] = {"game_w.BMP", "bmp/sensei.BMP", "System.BMP", "bmp/stage1.BMP"};

bool SheetIsAsMade(int i) {
    SheetAsMade now;
    return ReadSheet(i, &now) && now.surface == made[i].surface && now.pixels == made[i].pixels &&
           std::memcmp(now.colours, made[i].colours, sizeof now.colours) == 0;
}

void LoadSheets() {
    RenewFuzzDisplay();
    sheetSources.keepPictures = 1;
    for (int i = 0; i < 4; ++i)
        if (!LoadSheet(sheets[i], sheetFiles[i]) || !ReadSheet(i, &made[i])) std::abort();
    SetSheetColorKeys(app.mainWindow);
}

// The sheets as made, after the project is put back: a sheet that took a picture takes the file as made
// again, as the game takes a saved picture (a sheet of the same size keeps its surface); the display is
// made afresh only where that is not enough (a sheet replaced by a picture of another size).
void RestoreSheets(Window window) {
    bool as = true;
    for (int i = 0; i < 4; ++i) {
        if (SheetIsAsMade(i)) continue;
        const char* why = nullptr;
        ReloadPicture(window, sheetFiles[i], &why);
        as = as && SheetIsAsMade(i);
    }
    if (!as) LoadSheets();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home)) std::abort();
    project = FuzzFolder() + "/project";
    beside = FuzzFolder() + "/beside";
    std::string picture = SmallBmp(48, 40);
    pristine = {
        {"data.txt", "tx0Spring.<*A second page,</and a second line.<!\ntx1<wv6Thump.<+<+then<!\n"},
        {"game_w.BMP", SmallBmp(64, 48)},
        {"System.BMP", SmallBmp(64, 32)},
        {"bmp/stage1.BMP", picture},
        {"bmp/sensei.BMP", picture},
        {"pictures/stage1.pic", "size 48 40\npalette p\ninclude sky.inc\nrect red 4 4 20 20\n"},
        {"pictures/sensei.pic", "size 48 40\npalette p\ninclude sky.inc\ncircle red 24 20 12\n"},
        {"pictures/sky.inc", "rect blue 0 0 48 10\n"},
        {"pictures/p.pal", "0 black #000000\n1 red #ff0000\n2 blue #0000ff\n3 green #00ff00\n"},
        {"songs/koi.song", "tempo 120\n"},
    };
    std::error_code error;
    fs::create_directories(beside, error);
    for (const char* folder : {"/bmp", "/pictures", "/songs"}) fs::create_directories(project + folder, error);
    if (error || !RestoreProject() || chdir(project.c_str()) != 0) std::abort();
    // The headless platform watches the project for the whole campaign (ending a watch costs the kernel
    // milliseconds); each run starts the backend again with its key script, from frame 0.
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    std::string why;
    if (!OpenFuzzDisplay() || !PlatformStart(options, &why)) std::abort();
    LoadSheets();
    if (chdir(home) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzScriptInput in = SplitFuzzScript(data, size);
    std::string keys = LimitSaves(in.files[0].second);
    if (!StaysInside(keys)) return 0;
    std::vector<BesideFile> files = {{"keys.txt", keys}};  // a name given twice: the last
    for (size_t i = 1; i < in.files.size(); ++i) {
        if (!PlainName(in.files[i].first)) continue;
        size_t at = 0;
        while (at < files.size() && files[at].name != in.files[i].first) ++at;
        if (at == files.size()) files.push_back({in.files[i].first, ""});
        files[at].bytes = in.files[i].second;
    }
    if (!PutBeside(files)) return 0;
    if (chdir(project.c_str()) != 0) std::abort();
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    options.keysFile = beside + "/keys.txt";
    std::string why;
    bool restored;
    if (CurrentBackend()->start(options, &why)) {
        Window window = app.mainWindow;
        app.liveReload = 1;
        ContinueFrameNumbers(0);
        LoadScriptText(window);
        StartRebuilds(1);
        for (int frame = 0; frame < FRAMES; ++frame) {
            CurrentBackend()->pumpEvents();
            TakeSavedDataFiles(window);
            FrameShown();
        }
        StopRebuilds();
        AbandonMessage(window);
        ForgetLiveReloadNotes();
        ForgetKeptSources();
        Message posted;
        while (PeekWindowMessage(&posted)) GetWindowMessage(&posted);
        // The project as made for the next run, and the sheets as made where the run took a picture into
        // one: what a run makes goes in the same run.
        restored = RestoreProject();
        if (restored) RestoreSheets(window);
        CurrentBackend()->stop();
    } else {
        restored = RestoreProject();
    }
    if (!restored) std::abort();
    // The watch tells of the project put back now, not in the next run.
    std::vector<std::string> told;
    TakeSavedFiles(&told);
    if (chdir(home) != 0) std::abort();
    return 0;
}
