// Reading palette files and picture sources.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <unistd.h>
#include <set>
#include <sstream>
#include <vector>

#include "art.h"
#include "platform/bitmap.h"
#include "read_input.h"

namespace {

constexpr int kMaxDepth = 16;

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || (!name.empty() && name[0] == '/')) return name;
    return dir + "/" + name;
}

std::string DirOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// What a source or palette was read from: the name asked for, the folders, the file found, its text.
struct SourceRead {
    std::string name;
    std::vector<std::string> dirs;
    std::string found, text;
};

// The files a part of a picture was read from, each once (an include met again adds nothing new).
struct Reads {
    std::vector<SourceRead> list;
    std::set<std::string> names;  // a name and its folders

    static std::string Key(const SourceRead& read) {
        std::string key = read.name;
        for (const std::string& dir : read.dirs) key += '\n' + dir;
        return key;
    }
    void Add(const SourceRead& read) {
        if (names.insert(Key(read)).second) list.push_back(read);
    }
    void Add(const Reads& more) {
        for (const SourceRead& read : more.list) Add(read);
    }
};
// While on, every file read is listed here (the parts of a source that are kept, below).
thread_local Reads* recording = nullptr;

// Lists what is read while it lives. Once the reading has succeeded, PassOn gives what it listed to the
// recording around it too; the destructor only puts the outer recording back (it allocates nothing, so
// it cannot throw).
class Recording {
public:
    explicit Recording(Reads* reads) : outer_(recording), reads_(reads) { recording = reads; }
    ~Recording() { recording = outer_; }
    void PassOn() {
        recording = outer_;
        if (outer_) outer_->Add(*reads_);
    }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

private:
    Reads* outer_;
    Reads* reads_;
};

// Finds `name` in the search folders; returns its text.
std::string ReadSource(const std::string& name, const std::vector<std::string>& dirs, std::string& found) {
    std::vector<std::string> tries;
    if (!name.empty() && name[0] == '/') tries.push_back(name);
    else
        for (const auto& d : dirs) tries.push_back(JoinPath(d, name));
    for (const auto& path : tries) {
        if (access(path.c_str(), F_OK) != 0) continue;
        std::string text, why;
        if (!ReadInputText(path, MAX_PICTURE_SOURCE_BYTES, &text, &why)) throw ArtError(path + ": " + why);
        found = path;
        if (recording) recording->Add(SourceRead{name, dirs, found, text});
        return text;
    }
    throw ArtError("cannot open " + name);
}

// Whether every file listed reads as it did (and is still the one found first). What it reads again is
// no new read: the recording around does not list it (the caller passes the kept list on, once).
bool StillReads(const Reads& reads) {
    Reads* outer = recording;
    recording = nullptr;
    bool same = true;
    for (const SourceRead& read : reads.list) {
        std::string found;
        try {
            same = ReadSource(read.name, read.dirs, found) == read.text && found == read.found;
        } catch (const ArtError&) {
            same = false;
        }
        if (!same) break;
    }
    recording = outer;
    return same;
}

// What the includes of one picture add up to, each include counted every time it is met (its commands
// are taken in again each time): how many, and their text. Counted while a picture is read.
struct IncludeCount {
    long includes = 0;
    uint64_t text = 0;
};
thread_local IncludeCount* counting = nullptr;

void CheckCount(const std::string& where) {
    if (counting->includes > MAX_PICTURE_INCLUDES)
        throw ArtError(where + ": more than " + std::to_string(MAX_PICTURE_INCLUDES) +
                       " includes in one picture (an include counts each time it is met)");
    if (counting->text > MAX_PICTURE_SOURCE_BYTES)
        throw ArtError(where + ": the picture and its includes are more than " + SizeText(MAX_PICTURE_SOURCE_BYTES) +
                       " of text (an include counts each time it is met)");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string& line = lines.emplace_back(text, start, end - start);
        if (line.find('\r') != std::string::npos) line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        start = end + 1;
        if (end == text.size() && line.empty()) lines.pop_back();
    }
    return lines;
}

std::string Where(const std::string& file, size_t index) { return file + ":" + std::to_string(index + 1); }

int ParseInt(const std::string& word, const std::string& file, size_t index, int lo, int hi) {
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || v < lo || v > hi)
        throw ArtError(Where(file, index) + ": expected a whole number " + std::to_string(lo) + ".." + std::to_string(hi) +
                       ", found '" + word + "'");
    return int(v);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void ParseSourceFile(const std::string& name, Program& program, int depth);
void IncludeSource(const std::string& name, Program& program, int depth, const std::string& where);

void ParseLines(const std::string& text, const std::string& file, Program& program, int depth) {
    std::vector<std::string> lines = Lines(text);
    std::vector<Command>* target = &program.main;
    std::shared_ptr<Commands> def;  // the def being read
    std::string defName;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> words = SplitWords(lines[i], file, i);
        if (words.empty()) continue;
        const std::string where = Where(file, i);
        const std::string& op = words[0];
        if (op == "def") {
            if (!defName.empty()) throw ArtError(where + ": def inside def '" + defName + "'");
            if (words.size() != 2) throw ArtError(where + ": usage: def NAME");
            defName = words[1];
            def = std::make_shared<Commands>();
            program.defs[defName] = def;
            target = def.get();
        } else if (op == "end") {
            if (defName.empty()) throw ArtError(where + ": end without def");
            defName.clear();
            def.reset();
            target = &program.main;
        } else if (op == "include") {
            if (words.size() != 2) throw ArtError(where + ": usage: include FILE");
            if (!defName.empty()) throw ArtError(where + ": include inside def");
            IncludeSource(words[1], program, depth + 1, where);
        } else if (op == "size") {
            if (words.size() != 3) throw ArtError(where + ": usage: size WIDTH HEIGHT");
            // No larger than the game reads (platform/bitmap.h).
            program.width = ParseInt(words[1], file, i, 1, MAX_PICTURE_SIDE);
            program.height = ParseInt(words[2], file, i, 1, MAX_PICTURE_SIDE);
        } else if (op == "palette") {
            if (words.size() != 2) throw ArtError(where + ": usage: palette NAME");
            program.palette = KeptPalette(words[1], program.searchDirs);
        } else {
            target->push_back({std::move(words), where});
        }
    }
    if (!defName.empty()) throw ArtError(file + ": def '" + defName + "' has no end");
}

void ParseSourceFile(const std::string& name, Program& program, int depth) {
    if (depth > kMaxDepth) throw ArtError("includes nested too deeply at " + name);
    std::string found;
    // The picture itself is named as given; what it includes is looked for in the search folders.
    std::string text = ReadSource(name, depth == 0 ? std::vector<std::string>{""} : program.searchDirs, found);
    if (counting) counting->text += text.size();
    ParseLines(text, found, program, depth);
}

// What an included file adds, taken into the program at the include.
void TakePart(const Program& part, Program& program) {
    program.main.insert(program.main.end(), part.main.begin(), part.main.end());
    for (const auto& [name, commands] : part.defs) program.defs[name] = commands;
    if (part.width) {
        program.width = part.width;
        program.height = part.height;
    }
    if (part.palette) program.palette = part.palette;
}

// An included file adds the same whatever includes it (no include inside a def): the pictures of a
// folder, rebuilt one after another in one process, include the same few. What an include added is
// kept, and used again while every file it was read from reads the same.
struct KeptInclude {
    std::string name;
    std::vector<std::string> dirs;
    int depth;
    Reads reads;
    IncludeCount count;  // the include itself and all it includes
    Program part;
};
thread_local std::vector<KeptInclude> keptIncludes;  // the oldest first

struct KeptPaletteFile {
    std::string name;
    std::vector<std::string> dirs;
    Reads reads;
    std::shared_ptr<const Palette> palette;
};
thread_local std::vector<KeptPaletteFile> keptPalettes;  // the oldest first

void IncludeSource(const std::string& name, Program& program, int depth, const std::string& where) {
    std::vector<KeptInclude>& kept = keptIncludes;
    constexpr size_t KEPT = 16;
    // Only small parts are kept: the few kept never hold much.
    constexpr uint64_t KEPT_TEXT = 64 << 10;
    ArtStopPoint();
    IncludeCount none, *count = counting ? counting : &none;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].name != name || kept[i].depth != depth || kept[i].dirs != program.searchDirs) continue;
        if (StillReads(kept[i].reads)) {
            count->includes += kept[i].count.includes;
            count->text += kept[i].count.text;
            if (counting) CheckCount(where);
            if (recording) recording->Add(kept[i].reads);
            return TakePart(kept[i].part, program);
        }
        kept.erase(kept.begin() + ptrdiff_t(i));
        break;
    }
    KeptInclude made{name, program.searchDirs, depth, {}, {}, {}};
    made.part.searchDirs = program.searchDirs;
    IncludeCount before = *count;
    ++count->includes;
    if (counting) CheckCount(where);
    {
        Recording listing(&made.reads);
        ParseSourceFile(name, made.part, depth);
        if (counting) CheckCount(where);
        listing.PassOn();
    }
    made.count = {count->includes - before.includes, count->text - before.text};
    TakePart(made.part, program);
    if (made.count.text > KEPT_TEXT) return;
    if (kept.size() == KEPT) kept.erase(kept.begin());
    kept.push_back(std::move(made));
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line, const std::string& file, size_t index) {
    std::vector<std::string> words;
    size_t i = 0, n = line.size();
    while (i < n) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == ',') {
            ++i;
        } else if (c == '#' && (i + 1 >= n || !std::isalnum((unsigned char)line[i + 1]))) {
            break;  // a comment; "#RRGGBB" is a colour
        } else if (c == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos) throw ArtError(Where(file, index) + ": unterminated string");
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t start = i;
            while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != ',') ++i;
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

void LoadPalette(const std::string& name, const std::vector<std::string>& dirs, Palette& palette, int depth) {
    if (depth > kMaxDepth) throw ArtError("palette bases nested too deeply at " + name);
    std::string file = name.size() > 4 && name.compare(name.size() - 4, 4, ".pal") == 0 ? name : name + ".pal";
    std::string found;
    std::string text = ReadSource(file, dirs, found);
    std::vector<std::string> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> w = SplitWords(lines[i], found, i);
        if (w.empty()) continue;
        auto where = [&] { return Where(found, i); };  // made only for a message
        if (w[0] == "base") {
            if (w.size() != 2) throw ArtError(where() + ": usage: base PALETTE");
            LoadPalette(w[1], dirs, palette, depth + 1);
            continue;
        }
        // INDEX NAME #RRGGBB
        if (w.size() != 3 || w[2].size() != 7 || w[2][0] != '#')
            throw ArtError(where() + ": usage: INDEX NAME #RRGGBB");
        int index = ParseInt(w[0], found, i, 0, 255);
        uint8_t rgb[3];
        for (int k = 0; k < 3; ++k) {
            int hi = HexDigit(w[2][1 + 2 * k]), lo = HexDigit(w[2][2 + 2 * k]);
            if (hi < 0 || lo < 0) throw ArtError(where() + ": bad colour " + w[2]);
            rgb[k] = uint8_t(hi * 16 + lo);
        }
        // A later line (or a palette built on a base) may give an entry a new name and colour.
        if (palette.assigned[index]) {
            for (auto it = palette.names.begin(); it != palette.names.end();) {
                if (it->second == index) it = palette.names.erase(it);
                else ++it;
            }
        }
        auto old = palette.names.find(w[1]);
        if (old != palette.names.end() && old->second != index)
            throw ArtError(where() + ": colour name '" + w[1] + "' already names entry " + std::to_string(old->second));
        palette.names[w[1]] = index;
        palette.assigned[index] = true;
        for (int k = 0; k < 3; ++k) palette.rgb[index][k] = rgb[k];
    }
}

std::shared_ptr<const Palette> KeptPalette(const std::string& name, const std::vector<std::string>& dirs) {
    std::vector<KeptPaletteFile>& kept = keptPalettes;
    constexpr size_t KEPT = 4;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].name != name || kept[i].dirs != dirs) continue;
        if (StillReads(kept[i].reads)) {
            if (recording) recording->Add(kept[i].reads);
            return kept[i].palette;
        }
        kept.erase(kept.begin() + ptrdiff_t(i));
        break;
    }
    KeptPaletteFile made{name, dirs, {}, nullptr};
    auto palette = std::make_shared<Palette>();
    {
        Recording listing(&made.reads);
        LoadPalette(name, dirs, *palette);
        listing.PassOn();
    }
    made.palette = std::move(palette);
    if (kept.size() == KEPT) kept.erase(kept.begin());
    kept.push_back(std::move(made));
    return kept.back().palette;
}

void ForgetKeptSources() {
    std::vector<KeptInclude>().swap(keptIncludes);
    std::vector<KeptPaletteFile>().swap(keptPalettes);
}

void LoadProgram(const std::string& path, Program& program) {
    if (program.searchDirs.empty()) program.searchDirs.push_back(DirOf(path));
    IncludeCount count;
    struct Counting {  // on while this picture is read
        IncludeCount* outer = counting;
        explicit Counting(IncludeCount* mine) { counting = mine; }
        ~Counting() { counting = outer; }
    } on(&count);
    ParseSourceFile(path, program, 0);
    if (program.width == 0) throw ArtError(path + ": no size given");
    if (!program.palette || program.palette->names.empty()) throw ArtError(path + ": no palette given");
}
