// The data checker (check.h): looks through a data folder for everything that would make the game
// misbehave and reports it file by file.
//
// It looks for the files the way the game does (the game's own lookup): names without regard to case,
// pictures also in the parent folder and in "bmp/".
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <queue>
#include <set>
#include <string>
#include <vector>
#include <strings.h>
#include "app/colour_tables.h"
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/files.h"
#include "platform/core/glyph_file.h"
#include "platform/sound.h"
#include "sound/sound.h"
#include "story/script.h"
#include "story/tables.h"
#include "text/text.h"
#include "check.h"
#include "read_input.h"

namespace {

int problemCount = 0;

void Report(const std::string& file, const std::string& message) {
    std::printf("%s: %s\n", file.c_str(), message.c_str());
    ++problemCount;
}

// The reports on the script text, held back and printed in line order (those about the whole file
// first); of each kind only the first MAX_REPORTS_OF_A_KIND are printed, with a count of the rest.
constexpr int MAX_REPORTS_OF_A_KIND = 20;
struct ScriptReport {
    size_t line;  // 0: the whole file
    size_t order;
    std::string where, message;
};
std::vector<ScriptReport> scriptReports;
std::vector<std::pair<std::string, int>> scriptKinds;  // kind, reports of that kind

void ReportLine(const std::string& where, size_t line, const std::string& kind, const std::string& message) {
    auto it = std::find_if(scriptKinds.begin(), scriptKinds.end(), [&](const auto& k) { return k.first == kind; });
    if (it == scriptKinds.end()) it = scriptKinds.insert(scriptKinds.end(), {kind, 0});
    if (++it->second <= MAX_REPORTS_OF_A_KIND) scriptReports.push_back({line, scriptReports.size(), where, message});
}

void FlushScriptReports(const std::string& file) {
    std::stable_sort(scriptReports.begin(), scriptReports.end(),
                     [](const ScriptReport& a, const ScriptReport& b) { return a.line < b.line; });
    for (const ScriptReport& r : scriptReports) Report(r.where, r.message);
    for (const auto& [kind, count] : scriptKinds)
        if (count > MAX_REPORTS_OF_A_KIND)
            Report(file, std::to_string(count - MAX_REPORTS_OF_A_KIND) + " more reports of " + kind + " not shown");
    scriptReports.clear();
    scriptKinds.clear();
}

// The file the game opens for a name ("\\" or "/" separated) in the folder `dir`; empty when none. Also
// what stands at that very name but is no regular file (a FIFO, a device, a folder, a link to one): the
// game would not read it, and reading it here says why instead of calling it missing.
// (Paths are plain strings and files C streams: std::filesystem and the C++ streams would bring their
// locale code into the program, half of its size on Windows.)
std::string FindIn(const std::string& dir, const std::string& name) {
    std::string path = FindDataFile((dir + "/" + name).c_str());
    if (path.empty() && PathExists(dir + "/" + name)) path = dir + "/" + name;
    return path;
}

// A found file's name as the report gives it: its path inside the folder ("bmp/x.BMP", "../x.BMP").
std::string InsideFolder(const std::string& path, std::string dir) {
    for (char& c : dir) c = c == '\\' ? '/' : c;
    // The lookup leaves out "." and doubled separators: so does the folder's own spelling here.
    for (size_t at; (at = dir.find("/./")) != std::string::npos;) dir.erase(at, 2);
    for (size_t at; (at = dir.find("//", 1)) != std::string::npos;) dir.erase(at, 1);
    while (dir.rfind("./", 0) == 0 && dir.size() > 2) dir.erase(0, 2);
    while (dir.size() > 1 && (dir.back() == '/' || (dir.size() > 2 && dir.compare(dir.size() - 2, 2, "/.") == 0)))
        dir.erase(dir.size() - (dir.back() == '/' ? 1 : 2));
    return path.compare(0, dir.size() + 1, dir + "/") == 0 ? path.substr(dir.size() + 1) : path;
}

std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's first `limit` bytes (the most the game reads of it), when it is a regular file; else false
// with *why.
bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes, size_t limit, std::string* why) {
    int fd = OpenInputFile(path, UINT64_MAX, why);
    if (fd < 0) return false;
    bytes->clear();
    uint8_t chunk[65536];
    while (bytes->size() < limit) {
        ssize_t got = read(fd, chunk, std::min(sizeof chunk, limit - bytes->size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) *why = std::string("cannot be read: ") + std::strerror(errno);
        if (got <= 0) break;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    close(fd);
    return why->empty();
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// ---- data.txt -------------------------------------------------------------------------------------------

const char MESSAGE_IDS[] = "0123456789#$%&:-?,.";
constexpr int LINE_LIMIT = 530;  // pixels from the text origin to the message box's right edge
constexpr int PAGE_LINES = 4;

struct Script {
    std::string file;
    std::vector<uint8_t> text;
    std::vector<size_t> lineEnds;  // the offset of every '\n'
    void Index() {
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n') lineEnds.push_back(i);
    }
    size_t LineOf(size_t offset) const {
        return 1 + size_t(std::lower_bound(lineEnds.begin(), lineEnds.end(), offset) - lineEnds.begin());
    }
    std::string Where(size_t offset) const { return file + ":" + std::to_string(LineOf(offset)); }
    // A report at a place in the text, of a kind.
    void At(size_t offset, const std::string& kind, const std::string& message) const {
        ReportLine(Where(offset), LineOf(offset), kind, message);
    }
    void OnFile(const std::string& kind, const std::string& message) const { ReportLine(file, 0, kind, message); }
};

// The game's search for "tx" + id from the start, stepping exactly as it does: a failed "t" or "x" test
// still steps over the byte that failed it, and bytes with the top bit set are skipped alone.
// The offset of the first body byte, or -1.
long GameSearch(const std::vector<uint8_t>& text, uint8_t id) {
    size_t pos = 0, size = text.size();
    while (pos < size) {
        if (text[pos] & 0x80) {
            ++pos;
            continue;
        }
        if (text[pos] == 't') {
            ++pos;
            if (pos < size && text[pos] == 'x') {
                ++pos;
                if (pos < size && text[pos] == id) return long(pos + 1);
            }
        }
        ++pos;
    }
    return -1;
}

// The marker of a message key: "tx" and the one-byte id, or "tx{NAME}" for a name.
std::string MarkerOf(const std::string& key) { return key.size() == 1 ? "tx" + key : "tx{" + key + "}"; }

// A marker at `at` stands where an author puts one: at the start of the file, of a line, or right after
// the end code of the message before it (blanks between allowed).
bool PlacedByAuthor(const std::vector<uint8_t>& text, size_t at) {
    while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t')) --at;
    return at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r' || (at >= 2 && text[at - 2] == '<' && text[at - 1] == '!');
}

// Where the author put the marker: the first one placed so. The offset of its first body byte, or -1.
long AuthorMarker(const std::vector<uint8_t>& text, const std::string& key) {
    std::string marker = MarkerOf(key);
    for (auto at = text.begin(); (at = std::search(at, text.end(), marker.begin(), marker.end())) != text.end(); ++at)
        if (PlacedByAuthor(text, size_t(at - text.begin()))) return long(at - text.begin()) + long(marker.size());
    return -1;
}

std::string MessageName(const std::string& key) { return "message '" + key + "'"; }

// The key of the marker at `at` ("tx" and an id of the 19, or "tx{NAME}"), or "" when none is there.
std::string MarkerKeyAt(const std::vector<uint8_t>& t, size_t at) {
    if (at + 2 >= t.size() || t[at] != 't' || t[at + 1] != 'x' || t[at + 2] == 0) return "";
    if (std::strchr(MESSAGE_IDS, t[at + 2])) return std::string(1, char(t[at + 2]));
    if (t[at + 2] != '{') return "";
    std::string name;
    for (size_t i = at + 3; i < t.size() && i < at + 4 + MESSAGE_NAME_MAX; ++i) {
        if (t[i] == '}') return name;
        name += char(t[i]);
    }
    return "";
}

// The named messages of a text, every "tx{NAME}" taken in one pass: the first of each name, where the
// game's search finds it, and the first an author placed (the offsets of their first body bytes, or -1).
struct NamedMarker {
    long found = -1, placed = -1;
};
std::map<std::string, NamedMarker> NamedMarkersOf(const std::vector<uint8_t>& t) {
    std::map<std::string, NamedMarker> markers;
    for (size_t i = 0; i + 3 < t.size(); ++i) {
        if (t[i] != 't' || t[i + 1] != 'x' || t[i + 2] != '{') continue;
        std::string key = MarkerKeyAt(t, i);
        if (key.empty()) continue;
        NamedMarker& m = markers[key];
        long body = long(i + key.size() + 4);
        if (m.found < 0) m.found = body;
        if (m.placed < 0 && PlacedByAuthor(t, i)) m.placed = body;
    }
    return markers;
}

// The most message text CheckBody types in one check: with its end codes missing, every message a story
// script types may run on to the end of a long file. Past this the rest is not looked at (a note says so).
constexpr size_t MAX_TYPED_BYTES = size_t(1) << 28;
size_t typedBytesLeft = MAX_TYPED_BYTES;

// Types the message the way the message window does and reports what would go wrong on screen.
void CheckBody(const Script& script, const std::string& key, size_t start) {
    const std::vector<uint8_t>& t = script.text;
    bool utf8 = ScriptIsUtf8(t.data(), uint32_t(t.size()));
    std::string name = MessageName(key);
    int penX = 0, line = 0, page = 1;
    std::string lineText;
    size_t lineStart = start;
    bool pageTooLong = false, lineEndReported = false, controlReported = false;
    auto endLine = [&]() {
        if (penX > LINE_LIMIT)
            script.At(lineStart, "lines too wide", name + ", page " + std::to_string(page) + ", line " +
                                                std::to_string(line + 1) + " is " + std::to_string(penX) +
                                                " pixels wide (at most " + std::to_string(LINE_LIMIT) + "): " +
                                                Quote(lineText.size() > 120 ? lineText.substr(0, 120) + "..." : lineText));
        penX = 0;
        lineText.clear();
    };
    size_t pos = start;
    while (pos < t.size()) {
        if (typedBytesLeft == 0) return;
        --typedBytesLeft;
        uint8_t b = t[pos];
        if (utf8 && b >= 0x80) {  // a character, or a byte the game steps over (reported for the whole file)
            uint32_t codePoint = 0;
            int length = DecodeUtf8(&t[pos], uint32_t(t.size() - pos), &codePoint);
            if (length) {
                penX += WideCharAdvance(codePoint);
                lineText.append(t.begin() + long(pos), t.begin() + long(pos) + length);
            }
            pos += size_t(length ? length : 1);
            continue;
        }
        if (b != '<') {
            if (b == '\n' || b == '\r') {
                // The author's next message starts on the next line: this one lacks its end code, and the
                // game would type on into that message.
                size_t next = pos;
                while (next < t.size() && (t[next] == '\n' || t[next] == '\r' || t[next] == ' ' || t[next] == '\t'))
                    ++next;
                std::string nextKey = MarkerKeyAt(t, next);
                if (!nextKey.empty()) {
                    script.At(start, "missing end codes",
                              name + " has no end code " + Quote("<!") + ": the game would type on into " +
                                  MessageName(nextKey) + " on line " + std::to_string(script.LineOf(next)));
                    return;
                }
                if (!lineEndReported)
                    script.At(pos, "line ends inside messages", name + " has a line end inside its text (it would be typed as a "
                                                     "character); keep each message on one line");
                lineEndReported = true;
            } else if (b < 0x20 || b >= 0x7F) {
                if (!controlReported)
                    script.At(pos, "bytes that are not text", name + " holds the byte " + std::to_string(b) +
                                                  ", which is not printable single-byte text");
                controlReported = true;
            }
            if (b < 0x80) penX += charWidthTable[b];
            lineText += char(b);
            ++pos;
            continue;
        }
        if (pos + 1 >= t.size()) break;
        uint8_t code = t[pos + 1];
        pos += 2;
        switch (code) {
        case '!':
            endLine();
            return;
        case '*':
            endLine();
            line = 0;
            ++page;
            pageTooLong = false;
            lineStart = pos;
            break;
        case '/':
            endLine();
            if (++line >= PAGE_LINES && !pageTooLong) {
                script.At(pos, "pages too long", name + ", page " + std::to_string(page) + " has more than " +
                                              std::to_string(PAGE_LINES) + " lines");
                pageTooLong = true;
            }
            lineStart = pos;
            break;
        case '+':
            penX += 10;
            lineText += ' ';
            break;
        case 'q':
            break;
        case 'w':  // "<wv" and a digit; the game steps over the byte after "v" whatever it is
            if (pos < t.size() && t[pos] == 'v') {
                bool digit = pos + 1 < t.size() && t[pos + 1] >= '0' && t[pos + 1] <= '7';
                pos += 2;
                if (digit) break;
            }
            script.At(pos, "sound codes that play nothing", name + " has a sound code that plays nothing (write <wv0 to <wv7)");
            break;
        default:
            script.At(pos, "unknown codes", name + " has an unknown code " + Quote(std::string("<") + char(code)) +
                                          " (there is no way to type '<' itself)");
            break;
        }
    }
    script.At(start, "missing end codes", name + " has no end code " + Quote("<!") + ": the game would type past it");
}

// The characters beyond ASCII of a story in UTF-8, which the browser and Windows builds draw only from
// the glyph file in the story's folder (baked by kirake-glyphs; the desktop draws them with its fonts).
void CheckStoryGlyphs(const std::string& dir, const std::set<uint32_t>& characters) {
    if (characters.empty()) return;
    const std::string bake = std::string("kirake-glyphs --story ") + dir + " " + dir + "/" + STORY_GLYPH_FILE;
    std::string path = FindIn(dir, STORY_GLYPH_FILE);
    if (path.empty()) {  // the desktop needs none: said, not counted as a problem
        std::printf("%s: note: not in the folder: the browser and Windows builds would draw the story's %zu "
                    "characters beyond ASCII as nothing; bake them with the desktop kit's kirake-glyphs (it draws with "
                    "the desktop's fonts, and is not in the Windows zip): %s\n",
                    STORY_GLYPH_FILE, characters.size(), bake.c_str());
        return;
    }
    std::string file = FileName(path), why;
    std::vector<uint8_t> bytes;
    std::vector<GlyphFileFont> fonts;
    if (!ReadAll(path, &bytes, MAX_GLYPH_FILE_BYTES + 1, &why)) {
        Report(file, why);
        return;
    }
    if (bytes.size() > MAX_GLYPH_FILE_BYTES) {
        Report(file, "longer than the " + SizeText(MAX_GLYPH_FILE_BYTES) + " the browser and Windows builds read");
        return;
    }
    if (!ReadGlyphFile(bytes.data(), bytes.size(), &fonts)) {
        Report(file, "not a glyph file, or damaged: bake it again with: " + bake);
        return;
    }
    // The message text is drawn at one size in the game's face; only those glyphs count.
    std::vector<uint32_t> lacking;
    for (uint32_t c : characters) {
        bool held = std::any_of(fonts.begin(), fonts.end(), [&](const GlyphFileFont& font) {
            return font.name == GAME_FACE && font.height == MESSAGE_TEXT_HEIGHT && font.weight == TEXT_WEIGHT &&
                   font.pitchAndFamily == TEXT_PITCH_AND_FAMILY && font.glyphs.count(c);
        });
        if (!held) lacking.push_back(c);
    }
    if (lacking.empty()) return;
    char first[16];
    std::snprintf(first, sizeof first, "U+%04X", unsigned(lacking[0]));
    Report(file, std::to_string(lacking.size()) + " of the story's characters have no glyph here (the first: " + first +
                     "): the browser and Windows builds draw them as nothing; bake it again with: " + bake);
}

// The story text as read by CheckScript, for the checks of a story script (empty when it could not be
// read), and its named messages.
Script storyText;
std::map<std::string, NamedMarker> storyMarkers;

// data.txt: the file, and the messages `keys` names (the built-in story's 19 when none are given; a story
// script's typed messages, whose absence the script's check reports at the lines that type them).
void CheckScript(const std::string& dir, const std::vector<std::string>* keys = nullptr) {
    storyText = Script{};
    storyMarkers.clear();
    typedBytesLeft = MAX_TYPED_BYTES;
    std::string path = FindIn(dir, "data.txt");
    if (path.empty()) {
        Report("data.txt", "missing: the game shows an error and closes at once");
        return;
    }
    Script script;
    script.file = FileName(path);
    std::string why;
    if (!ReadAll(path, &script.text, MAX_SCRIPT_BYTES + 1, &why)) {
        Report(script.file, why);
        return;
    }
    if (script.text.size() > MAX_SCRIPT_BYTES) {
        Report(script.file, "longer than the " + SizeText(MAX_SCRIPT_BYTES) +
                                " the game reads: it shows an error and closes at once");
        return;
    }
    script.Index();
    const std::vector<uint8_t>& t = script.text;
    std::set<uint32_t> characters;  // beyond ASCII, of a story in UTF-8
    size_t high = size_t(std::count_if(t.begin(), t.end(), [](uint8_t b) { return b >= 0x80; }));
    if (ScriptIsUtf8(t.data(), uint32_t(t.size()))) {
        // A UTF-8 story: every byte that starts no well-formed character, by line and character column.
        size_t column = 1;
        for (size_t pos = 3; pos < t.size();) {
            uint32_t codePoint = 0;
            int length = t[pos] >= 0x80 ? DecodeUtf8(&t[pos], uint32_t(t.size() - pos), &codePoint) : 1;
            if (t[pos] == '\n') column = 0;
            if (!length) {
                size_t line = script.LineOf(pos);
                char byte[8];
                std::snprintf(byte, sizeof byte, "0x%02X", t[pos]);
                ReportLine(script.file + ":" + std::to_string(line) + ":" + std::to_string(column), line,
                           "bytes that are not UTF-8",
                           std::string("the byte ") + byte + " starts no UTF-8 character; the game steps over it");
            }
            if (length && t[pos] >= 0x80) characters.insert(codePoint);
            pos += size_t(length ? length : 1);
            ++column;
        }
        high = 0;
    }
    if (high > 0) {
        size_t first = size_t(std::find_if(t.begin(), t.end(), [](uint8_t b) { return b >= 0x80; }) - t.begin());
        script.At(first, "bytes above 127", "not single-byte text: " + std::to_string(high) + " bytes above 127");
    }
    std::vector<std::string> builtinKeys;
    for (const char* p = MESSAGE_IDS; *p; ++p) builtinKeys.push_back(std::string(1, *p));
    if (keys) storyMarkers = NamedMarkersOf(t);
    for (const std::string& key : keys ? *keys : builtinKeys) {
        std::string name = MessageName(key);
        std::string marker = MarkerOf(key);
        auto named = storyMarkers.find(key);
        long found = key.size() == 1 ? GameSearch(t, uint8_t(key[0])) : named == storyMarkers.end() ? -1 : named->second.found;
        long author = key.size() == 1 ? AuthorMarker(t, key) : named == storyMarkers.end() ? -1 : named->second.placed;
        if (found < 0) {
            if (author >= 0)
                script.At(size_t(author), "markers", name + ": the game never finds the marker " + Quote(marker) +
                                                         " here: a 't' or a broken marker right before it makes "
                                                         "the search step over it");
            else if (!keys)
                script.OnFile("missing messages", name + " is missing (no marker " + Quote(marker) + ")");
            continue;
        }
        if (author < 0) {
            script.At(size_t(found), "markers", name + ": the only " + Quote(marker) +
                                                    " is inside other text; give the message its own line");
        } else if (found != author) {
            script.At(size_t(found), "markers",
                      name + ": the game finds " + Quote(marker) + " here, before the marker on line " +
                       std::to_string(script.LineOf(size_t(author))) + "; reword the text");
        }
        CheckBody(script, key, size_t(found));
    }
    if (typedBytesLeft == 0)
        std::printf("%s: note: the messages were typed for %s in all; the rest of them was not looked at\n",
                    script.file.c_str(), SizeText(MAX_TYPED_BYTES).c_str());
    FlushScriptReports(script.file);
    CheckStoryGlyphs(dir, characters);
    storyText = std::move(script);
}

// ---- pictures -------------------------------------------------------------------------------------------

// Where a picture is drawn. A story script's pictures have no size of their own: Picture (any sheet but
// the window and system sheets, or only a palette) and Parts (the system sheet, where the message box is)
// are checked for what the game reads, the window sheet's as the full screen.
enum class Role { Window, Stage, Partner, Portrait, System, Picture, Parts };

struct PictureUse {
    const char* name;
    Role role;
};

// Every picture the story loads, by where it is drawn. ("System.BMP" and "system.BMP" are one file.)
const PictureUse PICTURES[] = {
    {"game_w.BMP", Role::Window},   {"game_w2.BMP", Role::Window}, {"black.BMP", Role::Window},
    {"ochi.BMP", Role::Window},     {"happy.BMP", Role::Window},   {"ijyou.BMP", Role::Window},
    {"sakura.BMP", Role::Window},   {"stage1.BMP", Role::Stage},   {"stage2.BMP", Role::Stage},
    {"stage3.BMP", Role::Stage},    {"sensei.BMP", Role::Partner}, {"hiyori.BMP", Role::Partner},
    {"heren.BMP", Role::Partner},   {"fuuya1.BMP", Role::Partner}, {"hiyori2.BMP", Role::Partner},
    {"heren2.BMP", Role::Partner},  {"fuuya2.BMP", Role::Partner}, {"hiyorin.BMP", Role::Portrait},
    {"Heren3.BMP", Role::Portrait}, {"fuuya.BMP", Role::Portrait}, {"system.BMP", Role::System},
    {"system2.BMP", Role::System},
};

// The message box is copied from the parts picture over the typed text with index 9 transparent: inside the
// text area index 9 would let old text show through. The box lies at (48, 342) on the screen; text starts at
// (60, 355), four 21-row lines 20 rows apart with a shadow 2 pixels right and down, so the area the text can
// reach is x 12-541, y 13-95 of the box.
constexpr int BOX_TEXT_LEFT = 12, BOX_TEXT_TOP = 13, BOX_TEXT_RIGHT = 542, BOX_TEXT_BOTTOM = 96;

// What the colour check needs of each picture read: its colour table and the indexes its pixels use.
struct PictureColours {
    std::string file;
    uint8_t table[256][3];
    bool used[256];
};
std::vector<std::pair<std::string, PictureColours>> pictureColours;  // by the story's name

void KeepColours(const std::string& name, const std::string& file, const Bitmap* bitmap) {
    PictureColours c{file, {}, {}};
    std::memcpy(c.table, bitmap->table, sizeof c.table);
    for (long i = 0; i < long(bitmap->width) * bitmap->height; ++i) c.used[bitmap->pixels[i]] = true;
    pictureColours.emplace_back(name, c);
}

const PictureColours* ColoursOf(const char* name) {
    for (const auto& [n, c] : pictureColours)
        if (strcasecmp(n.c_str(), name) == 0) return &c;
    return nullptr;
}

std::string Rgb(const uint8_t* c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c[0], c[1], c[2]);
    return text;
}

// The screen's colours come from a few pictures only: system.BMP's table at start-up serves every picture
// until the ending, whose switch installs sakura's and then the ending portrait's (sakura's after a miss).
// A picture whose own table differs where its pixels are would show other colours than its preview.
void CheckColourTables() {
    const PictureColours* master = ColoursOf("system.BMP");
    auto compare = [](const PictureColours& picture, const PictureColours& shownWith, const std::string& when) {
        ColourTableDifference difference = CompareColourTables(picture.used, picture.table, shownWith.table);
        int differing = difference.count, first = difference.first;
        if (!differing) return;
        Report(picture.file, "its colour table differs from " + shownWith.file + "'s at " +
                                 std::to_string(differing) + " index" + (differing == 1 ? "" : "es") +
                                 " its pixels use (first " + std::to_string(first) + ": " +
                                 Rgb(picture.table[first]) + " here, " + Rgb(shownWith.table[first]) + " there); " +
                                 when + ", so it shows in those colours: draw both from the same palette "
                                 "and rebuild them");
    };
    if (master)
        for (const auto& [name, colours] : pictureColours) {
            bool ending = strcasecmp(name.c_str(), closingPicture) == 0;
            for (const EndingCase& e : endingCases) ending |= strcasecmp(name.c_str(), e.paletteFrom) == 0;
            if (!ending && &colours != master)
                compare(colours, *master, "the screen takes its colours from " + master->file + " at start-up");
        }
    const PictureColours* closing = ColoursOf(closingPicture);
    for (const EndingCase& e : endingCases) {
        const PictureColours* from = ColoursOf(e.paletteFrom);
        if (!closing || !from || from == closing) continue;
        compare(*closing, *from, std::string("after the ending ") + e.endingPicture + " the staff roll shows it in " +
                                     from->file + "'s colours");
    }
}

void CheckPicture(const std::string& dir, const PictureUse& use) {
    std::string path;
    for (const char* folder : PICTURE_FOLDERS)
        if (path.empty()) path = FindIn(dir, std::string(folder) + use.name);
    if (path.empty()) {
        Report(std::string("bmp/") + use.name, "missing: the scenes that show it would show nothing there");
        return;
    }
    std::string file = InsideFolder(path, dir);
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadAll(path, &bytes, MAX_PICTURE_FILE_BYTES + 1, &why)) {
        Report(file, why);
        return;
    }
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        Report(file, "not a BMP picture");
        return;
    }
    uint32_t infoSize = Le32(&bytes[14]);
    uint16_t bits = Le16(&bytes[28]);
    uint32_t used = Le32(&bytes[46]);
    if (infoSize < 40) {
        Report(file, "an old-style BMP header; the game reads only Windows BMP pictures");
        return;
    }
    if (bits != 8) {
        Report(file, "a " + std::to_string(bits) + "-bit picture; the game needs 8-bit pictures with a colour table");
        return;
    }
    uint32_t entries = used == 0 ? 256 : used;
    size_t tableEnd = 14 + size_t(infoSize) + size_t(std::min<uint32_t>(entries, 256)) * 4;
    if (entries != 256) {
        Report(file, "its colour table has " + std::to_string(entries) + " entries; 256 are needed");
        return;
    }
    if (tableEnd > bytes.size()) {
        Report(file, "its colour table is cut short");
        return;
    }
    int32_t claimedWidth = int32_t(Le32(&bytes[18])), claimedHeight = int32_t(Le32(&bytes[22]));
    if (claimedWidth > MAX_PICTURE_SIDE || claimedHeight > MAX_PICTURE_SIDE || claimedHeight < -MAX_PICTURE_SIDE) {
        Report(file, "claims " + std::to_string(claimedWidth) + "x" + std::to_string(claimedHeight) +
                         " pixels; the game loads no picture wider or higher than " +
                         std::to_string(MAX_PICTURE_SIDE));
        return;
    }
    if (bytes.size() > MAX_PICTURE_FILE_BYTES) {
        Report(file, "is longer than " + std::to_string(MAX_PICTURE_FILE_BYTES) +
                         " bytes; the game reads no picture file that long");
        return;
    }
    Bitmap* bitmap = DecodeBitmap(bytes.data(), bytes.size());
    if (!bitmap) {
        Report(file, "the picture data is broken or cut short (the game cannot decode it)");
        return;
    }
    int w = bitmap->width, h = bitmap->height;
    KeepColours(use.name, file, bitmap);
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    switch (use.role) {
    case Role::Window:
    case Role::Stage:
    case Role::Partner:
    case Role::Portrait: {
        int needW = use.role == Role::Window ? 640 : use.role == Role::Portrait ? 300 : 512;
        int needH = use.role == Role::Window ? 480 : use.role == Role::Portrait ? 300 : 272;
        const char* where = use.role == Role::Window    ? "as the full screen"
                            : use.role == Role::Stage    ? "in the stage place"
                            : use.role == Role::Partner  ? "in the partner place"
                                                         : "as the ending portrait";
        if (w != needW || h != needH)
            Report(file, "is " + size + "; the story draws it " + where + " at " + std::to_string(needW) + "x" +
                             std::to_string(needH));
        break;
    }
    case Role::System:
        if (w < 640 || h < 384)
            Report(file, "is " + size + "; the parts the story cuts from it reach 640x384");
        break;
    case Role::Picture:
    case Role::Parts:
        break;
    }
    if (use.role == Role::Window) {
        long count = 0, first = -1;
        for (long i = 0; i < long(w) * h; ++i)
            if (bitmap->pixels[i] == 9) {
                if (first < 0) first = i;
                ++count;
            }
        if (count > 0)
            Report(file, "uses the transparent index 9 in " + std::to_string(count) + " pixels (first at " +
                             std::to_string(first % w) + "," + std::to_string(first / w) +
                             "); on the full-screen layer those pixels would show stale screen contents");
    } else if ((use.role == Role::System || use.role == Role::Parts) && w >= BOX_TEXT_RIGHT && h >= BOX_TEXT_BOTTOM) {
        long count = 0;
        int firstX = 0, firstY = 0;
        for (int y = BOX_TEXT_TOP; y < BOX_TEXT_BOTTOM; ++y)
            for (int x = BOX_TEXT_LEFT; x < BOX_TEXT_RIGHT; ++x)
                if (bitmap->pixels[size_t(y) * w + x] == 9 && count++ == 0) firstX = x, firstY = y;
        if (count > 0)
            Report(file, "the message box (0,0)-(542,106) uses the transparent index 9 in " + std::to_string(count) +
                             " pixels of its text area (first at " + std::to_string(firstX) + "," +
                             std::to_string(firstY) + "); old text would show through when the box is cleared");
    }
    FreeBitmap(bitmap);
}

// The bytes of a data file of the folder, with its name as found; reports it missing or unreadable.
bool ReadDataFile(const std::string& dir, const char* name, const char* whenMissing, size_t limit, std::string* file,
                  std::vector<uint8_t>* bytes) {
    std::string path = FindIn(dir, name);
    if (path.empty()) {
        Report(name, whenMissing);
        return false;
    }
    *file = FileName(path);
    std::string why;
    if (!ReadAll(path, bytes, limit, &why)) {
        Report(*file, why);
        return false;
    }
    return true;
}

// ---- sound effects --------------------------------------------------------------------------------------

const char* EFFECTS[] = {"End.wav", "Crash.wav", "Houtyo.wav", "Han.wav",
                         "mag.wav", "messg.wav", "hako3.wav",  "punch3.wav"};

const char IMPORT_HINT[] = "; `kirake-sfx import IN.wav OUT.wav` writes any PCM WAV in the game's layout";

void CheckEffect(const std::string& dir, const char* name) {
    std::string file;
    std::vector<uint8_t> b;
    if (!ReadDataFile(dir, name, "missing: the effect would be silent", 58 + MAX_SOUND_BYTES, &file, &b)) return;
    if (b.size() < 58) {
        Report(file, std::string("shorter than the 58-byte WAV head the game reads") + IMPORT_HINT);
        return;
    }
    if (std::string(b.begin(), b.begin() + 4) != "RIFF") {
        Report(file, std::string("does not start with \"RIFF\": the game would not load it") + IMPORT_HINT);
        return;
    }
    auto tag = [&](size_t at, const char* text) { return std::string(b.begin() + long(at), b.begin() + long(at) + 4) == text; };
    if (!tag(8, "WAVE") || !tag(12, "fmt ") || Le32(&b[16]) != 18 || !tag(38, "fact") || Le32(&b[42]) != 4 ||
        !tag(50, "data")) {
        Report(file, std::string("does not have the 58-byte head (\"fmt \" chunk of 18 bytes, a 4-byte \"fact\" chunk, "
                                 "then \"data\"); the game reads the format and the sound at those fixed places, "
                                 "not by the chunks, and would take them from the wrong bytes") + IMPORT_HINT);
        return;
    }
    uint16_t format = Le16(&b[20]), channels = Le16(&b[22]), align = Le16(&b[32]), bits = Le16(&b[34]);
    uint32_t rate = Le32(&b[24]), average = Le32(&b[28]);
    SoundFormat f = {format, channels, rate, average, align, bits, Le16(&b[36])};
    bool usable = SoundFormatUsable(&f);
    if (format != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 4000 ||
        rate > 96000 || align != channels * bits / 8 || average != rate * align)
        Report(file, "not a plain PCM format (" + std::to_string(channels) + " channels, " + std::to_string(bits) +
                         " bits, " + std::to_string(rate) + " Hz, block " + std::to_string(align) + ")" +
                         (usable ? "" : std::string(": the game will not load it") + IMPORT_HINT));
    uint64_t riffEnd = uint64_t(Le32(&b[4])) + 8u;
    uint32_t length = Le32(&b[54]);
    if (riffEnd > b.size())
        Report(file, "its RIFF length says " + std::to_string(riffEnd) + " bytes, but the file has " +
                         std::to_string(b.size()));
    if (uint64_t(length) + 58 > std::min<uint64_t>(b.size(), riffEnd))
        Report(file, "its data length " + std::to_string(length) + " runs past the end of the file");
    if (length == 0) Report(file, "holds no sound (data length 0)");
    // What the mixer refuses, judged as the game does (at the rate the device asks for).
    if (usable && length > 0 && uint64_t(length) + 58 <= b.size())
        if (const char* problem = SoundBufferProblem(&f, length, DEVICE_RATE_ASKED))
            Report(file, std::string("the game will not load it: ") + problem);
}

// ---- songs ----------------------------------------------------------------------------------------------

const char* SONGS[] = {"kura3.pmd", "koi.pmd", "end.pmd"};

void CheckSong(const std::string& dir, const char* name) {
    std::string file;
    std::vector<uint8_t> b;
    if (!ReadDataFile(dir, name, "missing: that part of the game would have no music (or the previous song)",
                      SONG_HEADER_BYTES + 16 * size_t(MAX_TRACK_LENGTH), &file, &b))
        return;
    if (b.size() < 1048) {
        Report(file, "shorter than the 1048-byte song header: the game keeps the rest of the previous song's "
                     "header and plays silence");
        return;
    }
    int32_t loop = int32_t(Le32(&b[12])), length = int32_t(Le32(&b[16])), n = int32_t(Le32(&b[20]));
    if (length < 1) Report(file, "song length " + std::to_string(length) + " (at least 1 needed)");
    if (n < 1) Report(file, "track length " + std::to_string(n) + " (at least 1 needed)");
    if (n > MAX_TRACK_LENGTH)
        Report(file, "track length " + std::to_string(n) + " (at most " + std::to_string(MAX_TRACK_LENGTH) +
                         "): the game will not load the song");
    if (length >= 1 && n >= 1 && (loop < 0 || loop >= std::min(length, n)))
        Report(file, "loop step " + std::to_string(loop) + " is outside the song (0 to " +
                         std::to_string(std::min(length, n) - 1) + ")");
    for (int t = 0; t < 3; ++t) {
        const uint8_t* record = &b[24 + 340 * size_t(t)];
        if (record[0] > 19)
            Report(file, "instrument " + std::to_string(t) + ": octave shift " + std::to_string(record[0]) +
                             " (0 to 19)");
        if (Le32(record + 4) < 4)
            Report(file, "instrument " + std::to_string(t) + ": note length " + std::to_string(Le32(record + 4)) +
                             " bytes (at least 4)");
        if (Le32(record + 4) > MAX_NOTE_LENGTH)
            Report(file, "instrument " + std::to_string(t) + ": note length " + std::to_string(Le32(record + 4)) +
                             " bytes (at most " + std::to_string(MAX_NOTE_LENGTH) + "): the game builds no voices "
                             "for it and the instrument is silent");
    }
    if (n < 1 || n > MAX_TRACK_LENGTH) return;
    uint64_t needed = 1048 + 16 * uint64_t(n);
    if (b.size() < needed) {
        Report(file, "ends early: four tracks of " + std::to_string(n) + " steps need " + std::to_string(needed) +
                         " bytes, the file has " + std::to_string(b.size()) + "; the steps it lacks are silent");
        return;
    }
    for (int t = 0; t < 4; ++t) {
        int bad = 0, first = -1;
        for (int s = 0; s < n; ++s) {
            uint8_t pan = b[1048 + 4 * (size_t(n) * t + s) + 3];
            if (pan > 7) {
                if (first < 0) first = s;
                ++bad;
            }
        }
        if (bad)
            Report(file, "track " + std::to_string(t) + ": " + std::to_string(bad) + " steps with a pan index above 7 (first at step " +
                             std::to_string(first) + ")");
    }
}

// A folder with a story script (scenes.txt) is checked by the way the script goes (script_check.cpp, a
// part of this file that uses its helpers in this namespace).
#include "script_check.cpp"

// Forgets what an earlier check found and gathered.
void StartCheck() {
    problemCount = 0;
    scriptReports.clear();
    scriptKinds.clear();
    typedBytesLeft = MAX_TYPED_BYTES;
    storyText = Script{};
    storyMarkers.clear();
    pictureColours.clear();
    scriptCheck = ScriptCheck{};
}

}  // namespace

int CheckDataFolder(const std::string& dir) {
    StartCheck();
    if (HasStoryScript(dir)) {
        CheckStoryScript(dir);
    } else {
        CheckScript(dir);
        for (const PictureUse& use : PICTURES) CheckPicture(dir, use);
        CheckColourTables();
        for (const char* name : EFFECTS) CheckEffect(dir, name);
        for (const char* name : SONGS) CheckSong(dir, name);
    }
    return problemCount;
}

int CheckDataFile(const std::string& dir, const std::string& name) {
    StartCheck();
    const char* n = name.c_str();
    if (strcasecmp(n, "data.txt") == 0) CheckScript(dir);
    if (strcasecmp(n, "scenes.txt") == 0) CheckStoryScript(dir);
    for (const PictureUse& use : PICTURES)
        if (strcasecmp(n, use.name) == 0) CheckPicture(dir, use);
    for (const char* effect : EFFECTS)
        if (strcasecmp(n, effect) == 0) CheckEffect(dir, effect);
    for (const char* song : SONGS)
        if (strcasecmp(n, song) == 0) CheckSong(dir, song);
    return problemCount;
}
