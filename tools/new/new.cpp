// kirake-new: starts a story project, a folder that is both a data folder the game plays and the
// editable sources it is built from; and rebuilds a project's data from its sources.
//   kirake-new DIR              writes a copy of the default story as a project into DIR
//   kirake-new --rebuild DIR    draws every picture and compiles every song of the project again
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>
#include "art/art.h"
#include "read_input.h"
#include "song/songlang.h"
#include "tool_help.h"

namespace fs = std::filesystem;

namespace {

const char README[] =
    "# A kirake story project\n"
    "\n"
    "This folder is a data folder the game plays and the sources it is built from:\n"
    "\n"
    "| Edit | Built into | With |\n"
    "|---|---|---|\n"
    "| `data.txt` (the story) | itself | |\n"
    "| `pictures/NAME.pic` (with the palettes `*.pal` and shared parts `*.inc`) | `bmp/NAME.BMP` | `kirake-art` |\n"
    "| `songs/NAME.song` | `NAME.pmd` | `kirake-song compile` |\n"
    "| the effects `End.wav` ... `punch3.wav` | themselves | `kirake-sfx import` |\n"
    "\n"
    "`scenes.txt`, the story script, says what happens and in which order (the pictures, the questions and\n"
    "which way each answer leads), and names the messages of `data.txt` it shows.\n"
    "\n"
    "Play it and keep it open while you write; every source you save is rebuilt and shown at once:\n"
    "\n"
    "    kirake --window --data . --watch\n"
    "\n"
    "Rebuild everything after editing without the game, check it, look at every page:\n"
    "\n"
    "    kirake-new --rebuild .\n"
    "    kirake-check .\n"
    "    kirake-storyboard . board\n"
    "\n"
    "Replace an effect with any WAV file: `kirake-sfx import mine.wav Crash.wav`.\n"
    "`pictures/README.md` describes the picture commands; the guide for authors (authoring.md, with the\n"
    "game's documentation) describes the story text, the palettes and the song language.\n"
    "\n"
    "The default story, its pictures, songs and effects are licensed CC-BY-4.0.\n";

// The default story's sources and its built data, installed beside the tools (the build tree has the
// same layout: tools/share/kirake).
bool FindDefaults(const char* argv0, fs::path* source, fs::path* data) {
    std::error_code error;
    fs::path self = fs::canonical("/proc/self/exe", error);
    if (error) self = fs::absolute(argv0, error);
    fs::path share = self.parent_path().parent_path() / "share" / "kirake";
    if (fs::is_directory(share / "source" / "pictures", error) && fs::is_regular_file(share / "data" / "data.txt", error)) {
        *source = share / "source";
        *data = share / "data";
        return true;
    }
    return false;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<fs::path> FilesIn(const fs::path& dir, const std::vector<std::string>& suffixes) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_directory(error))  // a FIFO or a link to a device is read, and refused by name
            for (const std::string& s : suffixes)
                if (EndsWith(name, s)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool Copy(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (!error) fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, error);
    if (error) std::fprintf(stderr, "kirake-new: cannot copy %s to %s: %s\n", from.c_str(), to.c_str(),
                            error.message().c_str());
    return !error;
}

bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

int Create(const char* argv0, const fs::path& dir) {
    fs::path source, data;
    if (!FindDefaults(argv0, &source, &data)) {
        std::fprintf(stderr, "kirake-new: cannot find the default story (share/kirake/source and share/kirake/data)\n");
        return 1;
    }
    std::error_code error;
    if (fs::exists(dir, error) && !(fs::is_directory(dir, error) && fs::is_empty(dir, error))) {
        std::fprintf(stderr, "kirake-new: %s exists and is not an empty folder; give a new name\n", dir.c_str());
        return 1;
    }
    for (const char* sub : {"", "pictures", "songs", "bmp"}) {
        fs::create_directories(dir / sub, error);
        if (error) {
            std::fprintf(stderr, "kirake-new: cannot make %s: %s\n", (dir / sub).c_str(), error.message().c_str());
            return 1;
        }
    }
    bool ok = Copy(source / "story" / "data.txt", dir / "data.txt") &&
              Copy(source / "story" / "scenes.txt", dir / "scenes.txt");
    // The translations, with the glyphs of their characters for the browser and Windows builds.
    for (const fs::path& f : FilesIn(source / "story", {".txt"})) {
        std::string name = f.filename().string();
        if (name.rfind("data.", 0) == 0 && name != "data.txt") ok &= Copy(f, dir / name);
    }
    if (fs::is_regular_file(data / "glyphs.kfnt", error)) ok &= Copy(data / "glyphs.kfnt", dir / "glyphs.kfnt");
    for (const fs::path& f : FilesIn(source / "pictures", {".pic", ".pal", ".inc", ".md"}))
        if (f.filename() != "icon.pic") ok &= Copy(f, dir / "pictures" / f.filename());
    for (const fs::path& f : FilesIn(source / "songs", {".song"})) ok &= Copy(f, dir / "songs" / f.filename());
    for (const fs::path& f : FilesIn(data / "bmp", {".BMP", ".bmp"})) ok &= Copy(f, dir / "bmp" / f.filename());
    for (const fs::path& f : FilesIn(data, {".pmd", ".wav", ".WAV"})) ok &= Copy(f, dir / f.filename());
    std::ofstream readme(dir / "README.md");
    readme << README;
    ok &= bool(readme.flush());
    if (!ok) return 1;
    std::printf("kirake-new: wrote the story project %s; play it with: kirake --window --data %s --watch\n",
                dir.c_str(), dir.c_str());
    return 0;
}

int Rebuild(const fs::path& dir) {
    std::error_code error;
    if (!fs::is_regular_file(dir / "data.txt", error) ||
        (!fs::is_directory(dir / "pictures", error) && !fs::is_directory(dir / "songs", error))) {
        std::fprintf(stderr, "kirake-new: %s is not a story project (data.txt with pictures/ or songs/)\n", dir.c_str());
        return 1;
    }
    fs::create_directories(dir / "bmp", error);
    int faults = 0, built = 0;
    for (const fs::path& pic : FilesIn(dir / "pictures", {".pic"})) {
        try {
            Program program;
            LoadProgram(pic.string(), program);
            fs::path out = dir / "bmp" / (pic.stem().string() + ".BMP");
            if (!WriteBytes(out, EncodeBmp(Render(program), *program.palette))) throw ArtError("cannot write " + out.string());
            ++built;
        } catch (const ArtError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            ++faults;
        }
    }
    for (const fs::path& song : FilesIn(dir / "songs", {".song"})) {
        std::string text, why;
        if (!ReadInputText(song.string(), MAX_SOURCE_BYTES, &text, &why)) {
            std::fprintf(stderr, "%s: %s\n", song.c_str(), why.c_str());
            ++faults;
            continue;
        }
        CompiledSong compiled;
        std::vector<std::string> messages;
        bool ok = CompileSongText(text, song.string(), &compiled, &messages);
        for (const std::string& m : messages) std::fprintf(stderr, "%s\n", m.c_str());
        fs::path out = dir / (song.stem().string() + ".pmd");
        if (ok && !WriteBytes(out, EncodeSong(compiled))) {
            std::fprintf(stderr, "kirake-new: cannot write %s\n", out.c_str());
            ok = false;
        }
        ok ? ++built : ++faults;
    }
    std::printf("kirake-new: %d file%s rebuilt in %s%s\n", built, built == 1 ? "" : "s", dir.c_str(),
                faults ? (", " + std::to_string(faults) + " not (see above)").c_str() : "");
    return faults ? 1 : 0;
}

const char help[] =
    "Usage: kirake-new DIR\n"
    "  or:  kirake-new --rebuild DIR\n"
    "Starts a story project: a folder the game plays that holds the sources it is built from.\n"
    "\n"
    "kirake-new DIR writes the default story into the new folder DIR: the story text data.txt and its\n"
    "script scenes.txt, the picture sources with their palettes in pictures/, the song sources in songs/,\n"
    "the effects, a short README.md, and the data built from them (bmp/*.BMP, *.pmd). Play it with\n"
    "\"kirake --window --data DIR --watch\": every source saved while the game runs is rebuilt and shown.\n"
    "\n"
    "Options:\n"
    "      --rebuild  draw every picture and compile every song of the project DIR again\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 on success, 1 when something could not be written or built, 2 on a bad command line.\n";

}  // namespace

int main(int argc, char** argv) {
    return GuardToolMain("kirake-new", [&] {
        if (AnswerHelpOrVersion(argc, argv, "kirake-new", help)) return 0;
        if (argc == 3 && std::strcmp(argv[1], "--rebuild") == 0) return Rebuild(argv[2]);
        if (argc != 2 || argv[1][0] == '-') {
            std::fprintf(stderr, "usage: kirake-new DIR\n       kirake-new --rebuild DIR\n");
            return 2;
        }
        return Create(argv[0], argv[1]);
    });
}
