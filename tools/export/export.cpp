// kirake-export: a story folder made ready for players: a web site, a Windows zip and a Linux folder, each
// the game's own files with the story as its data.
//   kirake-export STORY OUT     writes OUT/web/, OUT/NAME-windows.zip and OUT/NAME-linux/
// The engines come from where the game is installed (share/kirake/web, share/kirake/windows, the game
// beside the tools), from the build trees ./setup makes beside this one, or from the folders named by
// --web-build, --windows-build and --linux-build. A part whose engine is missing is said and left out;
// the others are still written.
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>
#include "licence.h"
#include "tool_help.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    fs::path story, out, webBuild, windowsBuild, linuxBuild;
    bool web = true, windows = true, linux = true;
};

fs::path Self() {
    std::error_code error;
    fs::path self = fs::canonical("/proc/self/exe", error);
    return error ? fs::path() : self;
}

bool IsDir(const fs::path& p) {
    std::error_code error;
    return fs::is_directory(p, error);
}

bool IsFile(const fs::path& p) {
    std::error_code error;
    return fs::is_regular_file(p, error);
}

bool ReadFile(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    *bytes = text.str();
    return bool(in) || in.eof();
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

// Runs a program (searched on the PATH when ARGS[0] has no slash) and waits for it: 1 when it exited 0.
bool Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "kirake-export: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        fs::path candidate = fs::path(dirs.substr(start, end - start)) / program;
        if (end > start && IsFile(candidate) && access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// PLACES as a message names them: "A, B or C".
std::string Named(const std::vector<fs::path>& places) {
    std::string text;
    for (size_t i = 0; i < places.size(); ++i)
        text += (i == 0 ? "" : i + 1 == places.size() ? " or " : ", ") + places[i].lexically_normal().string();
    return text;
}

// The first of PLACES that holds MARK.
fs::path FindWith(const std::vector<fs::path>& places, const std::string& mark) {
    for (const fs::path& place : places)
        if (!place.empty() && fs::exists(place / mark)) return place.lexically_normal();
    return {};
}

// Copies the files and folders of FROM into TO, leaving out the names SKIP (at the top only).
bool CopyTree(const fs::path& from, const fs::path& to, const std::vector<std::string>& skip) {
    std::error_code error;
    fs::create_directories(to, error);
    for (const auto& entry : fs::directory_iterator(from, error)) {
        std::string name = entry.path().filename().string();
        if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
        if (entry.is_directory(error))
            fs::copy(entry.path(), to / name, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
        else
            fs::copy_file(entry.path(), to / name, fs::copy_options::overwrite_existing, error);
        if (error) {
            std::fprintf(stderr, "kirake-export: cannot copy %s: %s\n", entry.path().c_str(), error.message().c_str());
            return false;
        }
    }
    if (error) std::fprintf(stderr, "kirake-export: cannot read %s: %s\n", from.c_str(), error.message().c_str());
    return !error;
}

bool Remove(const fs::path& p) {
    std::error_code error;
    fs::remove_all(p, error);
    if (error) std::fprintf(stderr, "kirake-export: cannot remove the old %s: %s\n", p.c_str(), error.message().c_str());
    return !error;
}

// Clears PATH for a part written anew: only a folder an earlier export wrote (it holds MARK) is removed.
bool ClearPart(const fs::path& path, const char* mark) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return true;
    if (!IsDir(path) || !fs::exists(path / mark)) {
        std::fprintf(stderr, "kirake-export: %s is there and is not what an export writes (no %s): left as it is; give "
                             "another OUT\n", path.c_str(), mark);
        return false;
    }
    return Remove(path);
}

// The story's data: the folder without its sources (pictures/, songs/), notes (*.md) and hidden files;
// the glyphs of a story in UTF-8 baked afresh for the browser and Windows, when kirake-glyphs is at hand.
bool StageStory(const fs::path& story, const fs::path& stage, const fs::path& glyphTool) {
    std::error_code error;
    fs::create_directories(stage, error);
    bool utf8 = false;
    std::string within;  // OUT's first folder under STORY, when OUT is in it
    fs::path inside = fs::weakly_canonical(stage.parent_path(), error).lexically_relative(fs::weakly_canonical(story, error));
    if (!inside.empty() && *inside.begin() != ".." && *inside.begin() != ".") within = inside.begin()->string();
    for (const auto& entry : fs::directory_iterator(story, error)) {
        std::string name = entry.path().filename().string();
        if (name[0] == '.' || name == "pictures" || name == "songs") continue;
        if (name == within) continue;  // the folder that holds OUT
        if (entry.is_directory(error)) {
            fs::copy(entry.path(), stage / name, fs::copy_options::recursive, error);
        } else if (entry.is_regular_file(error)) {
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0) continue;
            fs::copy_file(entry.path(), stage / name, error);
            std::string head;
            if (name.rfind("data.", 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0 &&
                ReadFile(entry.path(), &head))
                utf8 |= head.rfind("\xEF\xBB\xBF", 0) == 0;
        }
        if (error) {
            std::fprintf(stderr, "kirake-export: cannot copy %s: %s\n", entry.path().c_str(), error.message().c_str());
            return false;
        }
    }
    if (utf8) {
        if (glyphTool.empty()) {
            std::fprintf(stderr, "kirake-export: kirake-glyphs not found: the story's glyphs.kfnt goes out as it is\n");
        } else if (!Run({glyphTool.string(), "--story", stage.string(), (stage / "glyphs.kfnt").string()})) {
            std::fprintf(stderr, "kirake-export: kirake-glyphs could not bake the story's glyphs\n");
            return false;
        }
    }
    return true;
}

// --- The zip: each file deflated (or stored when that is smaller), one fixed date, so that the same
// files make the same zip.

void Put16(std::string& s, unsigned v) {
    s += char(v & 0xFF), s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF), Put16(s, v >> 16);
}

bool Deflate(const std::string& in, std::string* out) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out->resize(deflateBound(&z, uLong(in.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out->data());
    z.avail_out = uInt(out->size());
    int result = deflate(&z, Z_FINISH);
    out->resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

// Writes every file under ROOT into ZIP, named PREFIX/relative path.
bool WriteZip(const fs::path& root, const std::string& prefix, const fs::path& zip) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        if (it->is_regular_file(error)) names.push_back(fs::relative(it->path(), root).generic_string());
    std::sort(names.begin(), names.end());
    std::string body, directory;
    const unsigned DOS_TIME = 0, DOS_DATE = (0 << 9) | (1 << 5) | 1;  // 1980-01-01 00:00
    for (const std::string& relative : names) {
        std::string name = prefix + "/" + relative, data, packed;
        if (!ReadFile(root / relative, &data) || data.size() >= 0xFFFFFFFFu || body.size() >= 0xFFFFFFFFu) {
            std::fprintf(stderr, "kirake-export: cannot put %s in the zip\n", (root / relative).c_str());
            return false;
        }
        uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
        bool deflated = Deflate(data, &packed) && packed.size() < data.size();
        if (!deflated) packed = data;
        bool utf8 = std::any_of(name.begin(), name.end(), [](char c) { return (unsigned char)c >= 0x80; });
        uint32_t offset = uint32_t(body.size());
        std::string common;
        Put16(common, 20), Put16(common, utf8 ? 0x0800 : 0), Put16(common, deflated ? 8 : 0);
        Put16(common, DOS_TIME), Put16(common, DOS_DATE), Put32(common, crc);
        Put32(common, uint32_t(packed.size())), Put32(common, uint32_t(data.size()));
        Put16(common, unsigned(name.size())), Put16(common, 0);
        Put32(body, 0x04034b50), body += common, body += name, body += packed;
        Put32(directory, 0x02014b50), Put16(directory, 20), directory += common;
        Put16(directory, 0), Put16(directory, 0), Put16(directory, 0), Put32(directory, 0), Put32(directory, offset);
        directory += name;
    }
    std::string end;
    Put32(end, 0x06054b50), Put16(end, 0), Put16(end, 0);
    Put16(end, unsigned(names.size())), Put16(end, unsigned(names.size()));
    Put32(end, uint32_t(directory.size())), Put32(end, uint32_t(body.size())), Put16(end, 0);
    if (names.size() > 0xFFFF || !WriteFile(zip, body + directory + end)) {
        std::fprintf(stderr, "kirake-export: cannot write %s\n", zip.c_str());
        return false;
    }
    return true;
}

// --- The three parts.

bool ExportWeb(const Options& o, const fs::path& self, const fs::path& data, const fs::path& glyphTool) {
    fs::path bin = self.parent_path();
    std::vector<fs::path> places = o.webBuild.empty()
                                       ? std::vector<fs::path>{bin / ".." / "share" / "kirake" / "web", bin / ".." / ".." / ".." / "build-web"}
                                       : std::vector<fs::path>{o.webBuild, o.webBuild / "site"};
    fs::path site = FindWith(places, "kirake.wasm");
    fs::path scripts = FindWith({bin / ".." / "share" / "kirake" / "web-tools", bin / "web-tools"}, "make-site.js");
    if (site.empty()) {
        std::fprintf(stderr, "kirake-export: no web site: the web build was not found (no kirake.wasm in %s); install it "
                             "(a distribution's kirake-publish) or build it with ./setup web and name it with --web-build DIR\n",
                     Named(places).c_str());
        return false;
    }
    if (scripts.empty()) {
        std::fprintf(stderr, "kirake-export: no web site: pack-story.js and make-site.js (share/kirake/web-tools) not found\n");
        return false;
    }
    if (!OnPath("node")) {
        std::fprintf(stderr, "kirake-export: no web site: the story is packed by node (Debian's nodejs), not found on the PATH\n");
        return false;
    }
    fs::path web = o.out / "web";
    if (!ClearPart(web, "story.kpak") || !CopyTree(site, web, {"story.kpak", "sw.js"})) return false;
    std::vector<std::string> pack = {"node", (scripts / "pack-story.js").string()};
    if (!glyphTool.empty()) pack.insert(pack.end(), {"--glyphs", glyphTool.string()});
    pack.insert(pack.end(), {data.string(), (web / "story.kpak").string()});
    if (!Run(pack) || !Run({"node", (scripts / "make-site.js").string(), web.string()})) {
        std::fprintf(stderr, "kirake-export: the web site could not be made (above)\n");
        return false;
    }
    std::printf("kirake-export: wrote the web site %s (engine from %s)\n", web.c_str(), site.c_str());
    return true;
}

bool ExportWindows(const Options& o, const fs::path& self, const std::string& name, const fs::path& data) {
    fs::path bin = self.parent_path();
    std::vector<fs::path> places;
    if (o.windowsBuild.empty())
        places = {bin / ".." / "share" / "kirake" / "windows", bin / ".." / ".." / ".." / "build-windows"};
    else
        places = {o.windowsBuild};
    fs::path game;
    for (const fs::path& place : places) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(place, error))  // a build tree: its player's folder
            if (game.empty() && entry.path().filename().string().rfind("kirake-", 0) == 0 && IsFile(entry.path() / "kirake.exe"))
                game = entry.path();
        if (game.empty() && IsFile(place / "kirake.exe") && !IsFile(place / "CMakeCache.txt")) game = place;
        if (!game.empty()) break;
    }
    if (game.empty()) {
        std::fprintf(stderr, "kirake-export: no Windows zip: the Windows game (kirake.exe) was not found in %s; install it "
                             "(a distribution's kirake-publish) or build it with ./setup windows and name it with "
                             "--windows-build DIR\n",
                     Named(places).c_str());
        return false;
    }
    fs::path stage = o.out / (".windows-" + name), zip = o.out / (name + "-windows.zip");
    bool ok = Remove(stage) && CopyTree(game, stage, {"data"}) && CopyTree(data, stage / "data", {}) &&
              WriteZip(stage, name, zip);
    Remove(stage);
    if (ok) std::printf("kirake-export: wrote the Windows zip %s (game from %s)\n", zip.c_str(), game.lexically_normal().c_str());
    return ok;
}

const char START_SCRIPT[] =
    "#!/bin/sh\n"
    "# Plays the story in data/ with the game beside this script; options go to the game (--help lists them).\n"
    "here=$(dirname \"$(readlink -f \"$0\")\")\n"
    "exec \"$here/kirake\" --data \"$here/data\" \"$@\"\n";

const char LINUX_README[] =
    "@NAME@ for Linux\n"
    "\n"
    "Start ./play (or double-click it in a file manager that runs scripts). It plays the story in data/\n"
    "with the game kirake, the program beside it, in full screen; ./play --window plays in a window,\n"
    "./play --help lists every option. Esc quits.\n"
    "\n"
    "The game needs the libraries it was built with: on Debian and its derivatives, those of the package\n"
    "kirake (SDL 2, FreeType, fontconfig, cairo, zlib, speech-dispatcher) and the fonts it recommends.\n"
    "\"ldd kirake\" names any that are missing.\n"
    "\n"
    "The game is licensed under the Expat (MIT) licence (LICENSE); the story's licence is its author's.\n";

bool ExportLinux(const Options& o, const fs::path& self, const std::string& name, const fs::path& data) {
    fs::path bin = self.parent_path();
    std::vector<fs::path> places = o.linuxBuild.empty()
                                       ? std::vector<fs::path>{bin, bin / ".." / "games", bin / ".." / ".." / "src"}
                                       : std::vector<fs::path>{o.linuxBuild, o.linuxBuild / "src"};
    fs::path game;
    for (const fs::path& place : places)
        if (IsFile(place / "kirake") && access((place / "kirake").c_str(), X_OK) == 0) {
            game = (place / "kirake").lexically_normal();
            break;
        }
    if (game.empty()) {
        std::fprintf(stderr, "kirake-export: no Linux folder: the game (kirake) was not found in %s; name a build "
                             "with --linux-build DIR\n",
                     Named(places).c_str());
        return false;
    }
    fs::path folder = o.out / (name + "-linux");
    std::error_code error;
    std::string readme = LINUX_README;
    readme.replace(readme.find("@NAME@"), 6, name);
    bool ok = ClearPart(folder, "play") && CopyTree(data, folder / "data", {});
    if (ok) {
        fs::copy_file(game, folder / "kirake", error);
        ok = !error && WriteFile(folder / "play", START_SCRIPT) && WriteFile(folder / "README.txt", readme);
        fs::permissions(folder / "play", fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, error);
        ok = ok && WriteFile(folder / "LICENSE", GAME_LICENSE);
        if (!ok || error) std::fprintf(stderr, "kirake-export: cannot write the Linux folder %s\n", folder.c_str());
        ok = ok && !error;
    }
    if (ok) std::printf("kirake-export: wrote the Linux folder %s (game %s)\n", folder.c_str(), game.c_str());
    return ok;
}

// The story's name for the files written: its folder's name, in letters, digits, - and _.
std::string StoryName(const fs::path& story) {
    std::string name = fs::absolute(story).lexically_normal().filename().string();
    if (name.empty()) name = fs::absolute(story).lexically_normal().parent_path().filename().string();
    for (char& c : name)
        if (!std::isalnum((unsigned char)c) && c != '-' && c != '_') c = '-';
    return name.empty() ? "story" : name;
}

const char help[] =
    "Usage: kirake-export [OPTION...] STORY OUT\n"
    "Makes a story folder ready for players: a web site, a Windows zip and a Linux folder.\n"
    "\n"
    "STORY is a data folder the game plays, such as a story project made by kirake-new (with or without\n"
    "its script scenes.txt); what goes out is its data: the folder without the sources pictures/ and\n"
    "songs/, notes (*.md) and hidden files. A story in UTF-8 gets its glyphs baked afresh (kirake-glyphs).\n"
    "OUT is the folder written to; each part written replaces the same part of an earlier export:\n"
    "  OUT/web/               the site for any static web host: the page, the engine (kirake.js and\n"
    "                         kirake.wasm), the story packed (story.kpak) and the service worker, whose\n"
    "                         new version makes returning players' browsers take the new story\n"
    "  OUT/NAME-windows.zip   the Windows game with the story as its data, in the folder NAME\n"
    "  OUT/NAME-linux/        the game, the start script \"play\" and the story as data/, for a Linux\n"
    "                         machine with the game's libraries\n"
    "NAME is the story folder's name.\n"
    "\n"
    "The engines are found where the game is installed (share/kirake/web and share/kirake/windows beside\n"
    "the tools' folder, the game in bin/ or games/), or beside a build tree made by ./setup (build-web/,\n"
    "build-windows/), or in the folders given. The web site needs node (Debian's nodejs) to pack the story.\n"
    "A part whose engine is not found is named on standard error and left out; the others are written.\n"
    "\n"
    "Options:\n"
    "      --web-build DIR      the web build's site (./setup web writes build-web/)\n"
    "      --windows-build DIR  the Windows build (build-windows/) or its player's folder (with kirake.exe)\n"
    "      --linux-build DIR    a native build (build/) or a folder with the game kirake\n"
    "      --only PARTS         write only these parts: web, windows, linux (comma-separated)\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 when every part asked for was written, 1 when one or more could not be (the others\n"
    "are written), 2 on a bad command line.\n";

int Usage() {
    std::fprintf(stderr, "usage: kirake-export [--web-build DIR] [--windows-build DIR] [--linux-build DIR] "
                         "[--only PARTS] STORY OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-export", help)) return 0;
    Options o;
    std::vector<std::string> free;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool valued = a == "--web-build" || a == "--windows-build" || a == "--linux-build" || a == "--only";
        if (valued && i + 1 >= argc) return Usage();
        if (a == "--web-build") o.webBuild = argv[++i];
        else if (a == "--windows-build") o.windowsBuild = argv[++i];
        else if (a == "--linux-build") o.linuxBuild = argv[++i];
        else if (a == "--only") {
            o.web = o.windows = o.linux = false;
            std::istringstream parts(argv[++i]);
            for (std::string part; std::getline(parts, part, ',');) {
                if (part == "web") o.web = true;
                else if (part == "windows") o.windows = true;
                else if (part == "linux") o.linux = true;
                else if (!part.empty()) {
                    std::fprintf(stderr, "kirake-export: --only takes web, windows and linux, not %s\n", argv[i]);
                    return 2;
                }
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "kirake-export: unknown option %s\n", a.c_str());
            return Usage();
        } else {
            free.push_back(a);
        }
    }
    if (free.size() != 2) return Usage();
    o.story = free[0];
    o.out = free[1];
    if (!IsFile(o.story / "data.txt")) {
        std::fprintf(stderr, "kirake-export: %s is not a story folder (it has no data.txt)\n", o.story.c_str());
        return 1;
    }
    std::error_code error;
    if (fs::weakly_canonical(o.out, error) == fs::weakly_canonical(o.story, error)) {
        std::fprintf(stderr, "kirake-export: OUT is the story folder itself; give another folder\n");
        return 2;
    }
    fs::create_directories(o.out, error);
    if (error || !IsDir(o.out)) {
        std::fprintf(stderr, "kirake-export: cannot make the folder %s\n", o.out.c_str());
        return 1;
    }
    fs::path self = Self();
    fs::path glyphTool = IsFile(self.parent_path() / "kirake-glyphs") ? self.parent_path() / "kirake-glyphs"
                         : IsFile(self.parent_path() / ".." / "glyphs" / "kirake-glyphs")
                             ? (self.parent_path() / ".." / "glyphs" / "kirake-glyphs").lexically_normal()
                             : fs::path();
    std::string name = StoryName(o.story);
    fs::path data = o.out / (".story-" + name);
    bool ok = Remove(data) && StageStory(o.story, data, glyphTool);
    if (ok) {
        int written = 0, asked = 0;
        if (o.web) ++asked, written += ExportWeb(o, self, data, glyphTool);
        if (o.windows) ++asked, written += ExportWindows(o, self, name, data);
        if (o.linux) ++asked, written += ExportLinux(o, self, name, data);
        ok = written == asked;
        if (!ok) std::fprintf(stderr, "kirake-export: %d of %d parts written\n", written, asked);
    }
    Remove(data);
    return ok ? 0 : 1;
}
