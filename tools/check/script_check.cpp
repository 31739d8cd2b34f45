// The check of a folder that plays from a story script (scenes.txt): the script is read with the game's
// own reader (story/script_read.cpp) and followed every way it can go from its first command. What it
// names (messages of data.txt, pictures, songs, effects) must be there and fit where the game draws it;
// no variable may be read before some command sets it; every scene and label must be reachable; each
// picture must be shown in colours its own table agrees with.
//
// This file is part of check.cpp: it is included at the end of that file's anonymous namespace and uses
// its helpers (Report, FindIn, CheckScript, CheckPicture, CheckSong, CheckEffect, ...) and its headers.

// ---- the story script -----------------------------------------------------------------------------------

// Where the player draws the story's own text (script_play.cpp): a speaker's name from x 72 at 20 rows in
// the band above the box, the answers of a choice from CHOICE_LINE_X at CHOICE_LINE_HEIGHT, both up to
// the message box's right edge; the staff roll from CREDITS_X to the screen's edge, its closing line from
// THE_END_X.
constexpr int BOX_RIGHT = 590, SCREEN_RIGHT = 640, NAME_LEFT_X = 72, NAME_TEXT_HEIGHT = 20;
// What the flows over the script may hold: bitsets of the variables per command, and the combinations
// of palette and pictures followed to each command.
constexpr size_t MAX_FLOW_WORDS = size_t(1) << 21;
constexpr size_t MAX_SHOWN_AT_COMMAND = 16, MAX_SHOWN = size_t(1) << 18;
// The longest text drawn whole that is looked at, and the most text of data.txt the checks of a script's
// messages look at in all (every message typed may run on to the end of a long file).
constexpr size_t MAX_DRAWN_BYTES = 4096, MAX_TEXT_LOOKED_AT = size_t(1) << 28;

enum class TextUse { Typed, Speaker, Answer, Credits, Closing };

// A picture the script names (load, palette) or the game loads at start-up.
struct ScriptPicture {
    std::string name;      // as the script first spells it, "stage1.BMP"
    std::string path;      // the file found; "" when the folder lacks it
    Role role = Role::Picture;
};

// The palette and the pictures a frame may show: the window sheet's picture and the pictures loaded into
// the other three sheets since the frame before (a picture is loaded to be shown); -1 for none.
struct Shown {
    int palette, window, fresh[3];
    bool operator==(const Shown& o) const {
        return palette == o.palette && window == o.window && std::equal(fresh, fresh + 3, o.fresh);
    }
};

// A report held back to be printed in order: by file (the script's files in the order read, data.txt
// after them) and line.
struct HeldReport {
    size_t file;
    int line;
    std::string where, text;
    bool note;
};
struct ReportKind {
    std::string kind;
    int count;
    bool note;
};

struct ScriptCheck {
    std::string dir;
    ScriptProgram program;
    std::vector<ScriptPicture> pictures;
    std::map<std::string, int> pictureNamed, pictureAt;  // pictures by name (lower case) and by file
    std::vector<int> pictureOf;   // per command: the picture of a load or palette, else -1
    std::vector<uint8_t> reached;
    std::vector<HeldReport> held;
    std::vector<ReportKind> kinds;  // the reports of each kind
    int startUpSongLine = -1;     // the first song play that may play the song loaded at start-up
    bool effectUsed[8] = {};      // by a sound command or a typed message's sound code
    std::map<std::string, long> idMarkers;     // one-character ids looked for: their bodies' offsets
    size_t textBudget = MAX_TEXT_LOOKED_AT;    // bytes of data.txt the message checks may still look at
};
ScriptCheck scriptCheck;

bool HasStoryScript(const std::string& dir) { return !FindIn(dir, "scenes.txt").empty(); }

size_t DataTextRank() { return scriptCheck.program.files.size(); }

void Hold(size_t file, int line, const std::string& kind, const std::string& text, bool note = false) {
    ScriptCheck& s = scriptCheck;
    auto it = std::find_if(s.kinds.begin(), s.kinds.end(), [&](const ReportKind& k) { return k.kind == kind; });
    if (it == s.kinds.end()) it = s.kinds.insert(s.kinds.end(), {kind, 0, note});
    if (++it->count > MAX_REPORTS_OF_A_KIND) return;
    std::string name = file < s.program.files.size() ? s.program.files[file] : storyText.file;
    std::string where = line > 0 ? name + ":" + std::to_string(line) : name;
    s.held.push_back({file, line, where, text, note});
}

// A report at a command of the script.
void AtCommand(size_t index, const std::string& kind, const std::string& text, bool note = false) {
    const ScriptCommand& c = scriptCheck.program.commands[index];
    Hold(size_t(c.file), c.line, kind, text, note);
}

std::string CommandPlace(size_t index) {
    const ScriptCommand& c = scriptCheck.program.commands[index];
    return scriptCheck.program.files[size_t(c.file)] + ":" + std::to_string(c.line);
}

// A report at a place in data.txt.
void AtStoryText(size_t offset, const std::string& kind, const std::string& text, bool note = false) {
    Hold(DataTextRank(), int(storyText.LineOf(offset)), kind, text, note);
}

void PrintHeldReports() {
    ScriptCheck& s = scriptCheck;
    std::stable_sort(s.held.begin(), s.held.end(), [](const HeldReport& a, const HeldReport& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    for (const HeldReport& r : s.held) {
        if (r.note) std::printf("%s: note: %s\n", r.where.c_str(), r.text.c_str());
        else Report(r.where, r.text);
    }
    for (const ReportKind& k : s.kinds) {
        if (k.count <= MAX_REPORTS_OF_A_KIND) continue;
        std::string more = std::to_string(k.count - MAX_REPORTS_OF_A_KIND) + " more reports of " + k.kind + " not shown";
        if (k.note) std::printf("scenes.txt: note: %s\n", more.c_str());
        else Report("scenes.txt", more);
    }
}

// ---- the ways through the script

// The commands the story may go on to after command i: the next one (unless a goto always leaves or the
// staff roll stays for good; `count` is the end, where the story stays on its last frame) and a jump's
// place.
int NextCommands(size_t i, int next[2]) {
    const ScriptCommand& c = scriptCheck.program.commands[i];
    int n = 0;
    if (c.op != OP_GOTO && c.op != OP_ROLL) next[n++] = int(i) + 1;
    if ((c.op == OP_GOTO || c.op == OP_IF) && c.target >= 0) next[n++] = c.target;
    return n;
}

// Every command a way from the first reaches; a scene or label none reaches is reported.
void CheckReached() {
    ScriptCheck& s = scriptCheck;
    size_t count = s.program.commands.size();
    s.reached.assign(count + 1, 0);
    std::vector<int> todo{0};
    s.reached[0] = 1;
    while (!todo.empty()) {
        size_t at = size_t(todo.back());
        todo.pop_back();
        if (at >= count) continue;
        int next[2];
        for (int k = NextCommands(at, next); k-- > 0;)
            if (!s.reached[size_t(next[k])]) s.reached[size_t(next[k])] = 1, todo.push_back(next[k]);
    }
    for (size_t i = 0; i < count; ++i) {
        const ScriptCommand& c = s.program.commands[i];
        if ((c.op == OP_SCENE || c.op == OP_LABEL) && !s.reached[i])
            AtCommand(i, "places never reached", std::string(c.op == OP_SCENE ? "scene '" : "label '") + c.name +
                                                     "' is never reached: no way from the first command leads here");
    }
}

// The variables a command reads and sets; the song (a variable of its own, after the script's) is set
// by song load and read by song play.
void ReadsAndSets(const ScriptCommand& c, size_t songVariable, std::vector<int>* reads, int* sets) {
    reads->clear();
    *sets = -1;
    switch (c.op) {
    case OP_IF:
    case OP_ADD:
        reads->push_back(c.variable);
        if (c.value.variable >= 0) reads->push_back(c.value.variable);
        if (c.op == OP_ADD) *sets = c.variable;
        break;
    case OP_SET:
        if (c.value.variable >= 0) reads->push_back(c.value.variable);
        *sets = c.variable;
        break;
    case OP_DRAW:
    case OP_CHOICE: *sets = c.variable; break;
    case OP_SONG_LOAD: *sets = int(songVariable); break;
    case OP_SONG_PLAY: reads->push_back(int(songVariable)); break;
    default: break;
    }
}

// The variables set on every way to each command (an intersection over the ways in, as far as the
// commands' bitsets fit in MAX_FLOW_WORDS); a read of one that some way leaves unset is reported.
void CheckVariablesSet() {
    ScriptCheck& s = scriptCheck;
    const std::vector<ScriptCommand>& commands = s.program.commands;
    size_t count = commands.size(), songVariable = s.program.variables.size();
    size_t words = (songVariable + 1 + 63) / 64;
    if (count * words > MAX_FLOW_WORDS) {
        Hold(0, 0, "variables not followed", "too many commands and variables to follow which are set where; not checked",
             true);
        return;
    }
    std::vector<uint64_t> setIn(count * words, 0);
    std::vector<uint8_t> seen(count, 0), queued(count, 0);
    std::vector<int> reads;
    std::vector<uint64_t> out(words);
    // Taken lowest first, so that a command is mostly taken after the ones that run on into it.
    std::priority_queue<int, std::vector<int>, std::greater<int>> todo;
    todo.push(0);
    seen[0] = queued[0] = 1;
    while (!todo.empty()) {
        size_t at = size_t(todo.top());
        todo.pop();
        queued[at] = 0;
        int sets = -1;
        ReadsAndSets(commands[at], songVariable, &reads, &sets);
        std::copy_n(setIn.begin() + long(at * words), words, out.begin());
        if (sets >= 0) out[size_t(sets) / 64] |= uint64_t(1) << (sets % 64);
        int next[2];
        for (int k = NextCommands(at, next); k-- > 0;) {
            size_t to = size_t(next[k]);
            if (to >= count) continue;
            uint64_t* in = &setIn[to * words];
            bool changed = !seen[to];
            for (size_t w = 0; w < words; ++w) {
                uint64_t v = seen[to] ? in[w] & out[w] : out[w];
                changed |= v != in[w];
                in[w] = v;
            }
            seen[to] = 1;
            if (changed && !queued[to]) queued[to] = 1, todo.push(int(to));
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (!s.reached[i]) continue;
        int sets = -1;
        ReadsAndSets(commands[i], songVariable, &reads, &sets);
        std::sort(reads.begin(), reads.end());
        reads.erase(std::unique(reads.begin(), reads.end()), reads.end());
        for (int v : reads) {
            if (setIn[i * words + size_t(v) / 64] >> (v % 64) & 1) continue;
            if (size_t(v) == songVariable) {
                if (s.startUpSongLine < 0) s.startUpSongLine = int(i);
                continue;
            }
            AtCommand(i, "variables read before they are set",
                      "'" + s.program.variables[size_t(v)] + "' may be read here before it is set: a way from the "
                      "first command comes here with no set, draw or choice of it (it would count as 0)");
        }
    }
}

// ---- the story's own text

bool StoryTextIsUtf8() { return ScriptIsUtf8(storyText.text.data(), uint32_t(storyText.text.size())); }

// The width of a line of the story's own text drawn at `height` rows, as wide as it can come out: each
// character of ASCII the wider of the message window's width for it (charWidthTable, for its 21 rows)
// scaled to the height and rounded up, and its advance in the game's face at that height as this
// machine draws it; a character beyond ASCII of a UTF-8 story by that face, as the checker measures the
// message window's.
int DrawnWidth(const std::string& text, int height) {
    bool utf8 = StoryTextIsUtf8();
    Font* font = CreateTextFont(GAME_FACE, height, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
    int width = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        if (p[i] < 0x80) {
            int scaled = (charWidthTable[p[i]] * height + MESSAGE_TEXT_HEIGHT - 1) / MESSAGE_TEXT_HEIGHT;
            width += std::max(scaled, p[i] >= 0x20 ? TextAdvanceOf(font, p[i]) : 0);
            ++i;
            continue;
        }
        uint32_t codePoint = 0;
        int length = utf8 ? DecodeUtf8(p + i, uint32_t(text.size() - i), &codePoint) : 0;
        if (length) width += TextAdvanceOf(font, codePoint);
        i += size_t(length ? length : 1);
    }
    return width;
}

// Where a message a command names starts in data.txt (the offset of its first body byte), found as the
// game finds it: a one-character id by the message window's own one-byte search, a name as the first
// "tx{NAME}" of the text (storyMarkers, every such marker taken in one pass). -1 when it is not there.
long FindStoryMessage(const std::string& key) {
    ScriptCheck& s = scriptCheck;
    if (key.size() > 1) {
        auto it = storyMarkers.find(key);
        return it == storyMarkers.end() ? -1 : it->second.found;
    }
    auto it = s.idMarkers.find(key);
    if (it != s.idMarkers.end()) return it->second;
    std::string body;
    message.scriptText = storyText.text.data();
    message.scriptSize = uint32_t(storyText.text.size());
    long at = MessageText(key.c_str(), &body) ? GameSearch(storyText.text, uint8_t(key[0])) : -1;
    message.scriptText = nullptr;
    message.scriptSize = 0;
    s.idMarkers[key] = at;
    return at;
}

// A message's text from its body's first byte up to its end code, at most `most` bytes (and no more than
// the check's budget of text looked at).
std::string BodyAt(size_t offset, size_t most) {
    ScriptCheck& s = scriptCheck;
    const std::vector<uint8_t>& t = storyText.text;
    size_t end = offset;
    while (end < t.size() && end - offset < most && s.textBudget > 0 && !(t[end] == '<' && (end + 1 == t.size() || t[end + 1] == '!')))
        ++end, --s.textBudget;
    return std::string(t.begin() + long(offset), t.begin() + long(end));
}

// A line of text the player draws whole (a name, an answer, a closing line) or the staff roll's lines.
void CheckDrawnText(const std::string& key, TextUse use, size_t command, size_t offset) {
    std::string body = BodyAt(offset, MAX_DRAWN_BYTES);
    const char* what = use == TextUse::Speaker ? "the speaker's name" : use == TextUse::Answer ? "the answer"
                       : use == TextUse::Credits ? "the staff roll" : "the closing line";
    std::string name = std::string(what) + " '" + key + "' (" + CommandPlace(command) + ")";
    int height = use == TextUse::Answer ? CHOICE_LINE_HEIGHT : use == TextUse::Credits ? CREDITS_HEIGHT
                 : use == TextUse::Closing ? THE_END_HEIGHT : NAME_TEXT_HEIGHT;
    int left = use == TextUse::Answer ? CHOICE_LINE_X : use == TextUse::Credits ? CREDITS_X
               : use == TextUse::Closing ? THE_END_X : NAME_LEFT_X;
    int right = use == TextUse::Answer || use == TextUse::Speaker ? BOX_RIGHT : SCREEN_RIGHT;
    size_t lineEnd = body.find_first_of("\r\n");
    if (lineEnd != std::string::npos) {
        AtStoryText(offset + lineEnd, "line ends inside messages", name + " has a line end inside its text; keep it on "
                                                                   "one line and end it with \"<!\"");
        return;
    }
    size_t start = 0;
    for (int line = 1;; ++line) {
        size_t end = use == TextUse::Credits ? body.find("</", start) : std::string::npos;
        std::string text = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t code = text.find('<');
        if (code != std::string::npos) {
            AtStoryText(offset + start + code, "codes in drawn text",
                        name + " holds the code " + Quote(text.substr(code, 2)) + "; it is drawn as plain text" +
                            (use == TextUse::Credits ? " (only \"</\" starts a new line)" : " (no codes)"));
            return;
        }
        int width = DrawnWidth(text, height);
        if (left + width > right)
            AtStoryText(offset + start, "lines too wide",
                        name + (use == TextUse::Credits ? ", line " + std::to_string(line) : "") + " is " +
                            std::to_string(width) + " pixels wide at " + std::to_string(height) + " rows; from x " +
                            std::to_string(left) + " there are " + std::to_string(right - left) + " before x " +
                            std::to_string(right) + ": " + Quote(text.size() > 80 ? text.substr(0, 80) + "..." : text));
        if (end == std::string::npos) break;
        start = end + 2;
    }
}

// Every message a command uses: there, and fitting where it is drawn; the typed ones as the message window
// types them (CheckScript), and the effects their sound codes play. Named messages of data.txt that no
// command uses are noted.
void CheckScriptMessages(const std::string& dir) {
    ScriptCheck& s = scriptCheck;
    struct Use {
        std::string key;
        TextUse use;
        size_t command;
    };
    std::vector<Use> uses;
    std::vector<std::string> typed;
    std::set<std::string> used;
    for (size_t i = 0; i < s.program.commands.size(); ++i) {
        const ScriptCommand& c = s.program.commands[i];
        if (c.op == OP_SAY) {
            uses.push_back({c.name, TextUse::Typed, i});
            if (used.insert(c.name).second) typed.push_back(c.name);
            for (const std::string& speaker : c.messages) uses.push_back({speaker, TextUse::Speaker, i});
        } else if (c.op == OP_CHOICE) {
            for (const std::string& answer : c.messages) uses.push_back({answer, TextUse::Answer, i});
        } else if (c.op == OP_ROLL) {
            for (size_t k = 0; k < c.messages.size(); ++k)
                uses.push_back({c.messages[k], k == 0 ? TextUse::Credits : TextUse::Closing, i});
        }
    }
    for (const Use& u : uses) used.insert(u.key);
    CheckScript(dir, &typed);
    if (storyText.file.empty()) return;  // no data.txt: said by CheckScript

    std::set<std::pair<std::string, TextUse>> checked;
    for (const Use& u : uses) {
        long offset = FindStoryMessage(u.key);
        if (offset < 0) {
            AtCommand(u.command, "missing messages", "message '" + u.key + "' is not in " + storyText.file +
                                                         " (the game looks for the first " + Quote(MarkerOf(u.key)) + ")");
            continue;
        }
        if (!checked.insert({u.key, u.use}).second) continue;
        if (u.use != TextUse::Typed) {
            CheckDrawnText(u.key, u.use, u.command, size_t(offset));
            continue;
        }
        std::string body = BodyAt(size_t(offset), SIZE_MAX);
        for (size_t at = 0; (at = body.find("<wv", at)) != std::string::npos; at += 3) {
            int slot = at + 3 < body.size() && body[at + 3] >= '0' && body[at + 3] <= '7' ? body[at + 3] - '0' : -1;
            if (slot < 0) continue;  // reported with the message
            s.effectUsed[slot] = true;
            if (FindIn(dir, EFFECTS[slot]).empty())
                AtStoryText(size_t(offset) + at, "missing effects",
                            "message '" + u.key + "' plays effect " + std::to_string(slot) + " (" + EFFECTS[slot] +
                                "), which is not in the folder: it would be silent");
        }
    }

    // The named messages no command uses.
    for (const auto& [key, marker] : storyMarkers)
        if (!used.count(key) && marker.placed >= 0)
            AtStoryText(size_t(marker.placed) - key.size() - 4, "unused messages",
                        "message '" + key + "' is used by no command of the script", true);
}

// ---- pictures, songs and effects

// The picture a name gives (names in any case, and all names of one file, are one picture).
int PictureIndex(const std::string& name) {
    ScriptCheck& s = scriptCheck;
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    auto known = s.pictureNamed.find(lower);
    if (known != s.pictureNamed.end()) return known->second;
    ScriptPicture picture;
    picture.name = name;
    for (const char* folder : PICTURE_FOLDERS)
        if (picture.path.empty()) picture.path = FindIn(s.dir, std::string(folder) + name);
    auto same = s.pictureAt.find(picture.path);
    int index = int(s.pictures.size());
    if (!picture.path.empty() && same != s.pictureAt.end()) {
        index = same->second;
    } else {
        s.pictures.push_back(picture);
        if (!picture.path.empty()) s.pictureAt[picture.path] = index;
    }
    s.pictureNamed[lower] = index;
    return index;
}

// The names of the picture files of a folder ("" for the folder itself, or "bmp").
void PictureFilesIn(const std::string& dir, const std::string& sub, std::vector<std::string>* names) {
    DIR* entries = opendir((sub.empty() ? dir : dir + "/" + sub).c_str());
    if (!entries) return;
    while (dirent* entry = readdir(entries)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".bmp") == 0)
            names->push_back(sub.empty() ? name : sub + "/" + name);
        else if (sub.empty() && strcasecmp(name.c_str(), "bmp") == 0)
            PictureFilesIn(dir, name, names);
    }
    closedir(entries);
}

// The pictures the script loads and the palettes it takes: there, read by the game, the window sheet's as
// the full screen; those the game loads at start-up are checked when the folder has them. The folder's
// pictures that nothing loads are noted.
void CheckScriptPictures() {
    ScriptCheck& s = scriptCheck;
    const char* startUp[] = {"system.BMP", "game_w.BMP", "heren.BMP", "game_w2.BMP"};
    const Role startUpRole[] = {Role::Parts, Role::Window, Role::Picture, Role::Picture};
    for (int k = 0; k < 4; ++k) {
        s.pictures[size_t(PictureIndex(startUp[k]))].role = startUpRole[k];
    }
    s.pictureOf.assign(s.program.commands.size(), -1);
    for (size_t i = 0; i < s.program.commands.size(); ++i) {
        const ScriptCommand& c = s.program.commands[i];
        if (c.op != OP_LOAD && c.op != OP_PALETTE) continue;
        int p = PictureIndex(c.name);
        s.pictureOf[i] = p;
        ScriptPicture& picture = s.pictures[size_t(p)];
        if (picture.path.empty()) {
            AtCommand(i, "missing pictures", "picture '" + c.name + "' is not in the folder (nor in bmp/): " +
                                                 (c.op == OP_LOAD ? "the sheet would show nothing" : "the colours would stay as they are"));
            continue;
        }
        if (c.op == OP_LOAD && c.sheet == SHEET_WINDOW) picture.role = Role::Window;
        else if (c.op == OP_LOAD && c.sheet == SHEET_SYSTEM && picture.role != Role::Window) picture.role = Role::Parts;
    }
    for (const ScriptPicture& picture : s.pictures)
        if (!picture.path.empty()) CheckPicture(s.dir, {picture.name.c_str(), picture.role});

    // A file is known by its path in any case: where the file system is blind to case the lookup gives
    // back the name as it was asked for, not as the folder spells it.
    auto folded = [](std::string path) {
        for (char& c : path) c = char(std::tolower(static_cast<unsigned char>(c)));
        return path;
    };
    std::set<std::string> loaded;
    for (const auto& at : s.pictureAt) loaded.insert(folded(at.first));
    std::vector<std::string> files;
    PictureFilesIn(s.dir, "", &files);
    std::sort(files.begin(), files.end());
    for (const std::string& file : files)
        if (!loaded.count(folded(FindIn(s.dir, file))))
            std::printf("%s: note: no command of the script loads it, nor does the game at start-up\n", file.c_str());
}

void CheckScriptSongsAndEffects() {
    ScriptCheck& s = scriptCheck;
    std::vector<std::string> songsChecked;
    auto checkSong = [&](const std::string& name) {
        for (const std::string& done : songsChecked)
            if (strcasecmp(done.c_str(), name.c_str()) == 0) return;
        songsChecked.push_back(name);
        CheckSong(s.dir, name.c_str());
    };
    for (size_t i = 0; i < s.program.commands.size(); ++i) {
        const ScriptCommand& c = s.program.commands[i];
        if (c.op == OP_SONG_LOAD) {
            if (FindIn(s.dir, c.name).empty())
                AtCommand(i, "missing songs", "song '" + c.name + "' is not in the folder: song play would play nothing");
            else
                checkSong(c.name);
        } else if (c.op == OP_SOUND && c.slot >= 0 && c.slot < 8) {
            s.effectUsed[c.slot] = true;
            if (FindIn(s.dir, EFFECTS[c.slot]).empty())
                AtCommand(i, "missing effects", std::string("effect ") + std::to_string(c.slot) + " (" + EFFECTS[c.slot] +
                                                    ") is not in the folder: it would be silent");
        }
    }
    for (int slot = 0; slot < 8; ++slot)
        if (s.effectUsed[slot] && !FindIn(s.dir, EFFECTS[slot]).empty()) CheckEffect(s.dir, EFFECTS[slot]);
    if (s.startUpSongLine >= 0) {
        const char* song = SONGS[0];  // the game loads it before the script runs
        if (FindIn(s.dir, song).empty())
            AtCommand(size_t(s.startUpSongLine), "missing songs",
                      std::string("song play may come before any song load: it plays the song the game loads at "
                                  "start-up, ") + song + ", which is not in the folder");
        else
            checkSong(song);
    }
}

// ---- colours

// Follows the palette and the pictures shown to every command that shows a frame (it holds one, or a scene
// begins: the frame before it shows what was set up), and reports each picture shown with a palette
// whose colours differ from its own where its pixels are, once, at the first command that shows them so.
void CheckScriptColours() {
    ScriptCheck& s = scriptCheck;
    const std::vector<ScriptCommand>& commands = s.program.commands;
    size_t count = commands.size();
    auto colours = [&](int p) { return p < 0 ? nullptr : ColoursOf(s.pictures[size_t(p)].name.c_str()); };
    auto shown = [&](int p) { return colours(p) ? p : -1; };  // a picture the game cannot read shows nothing
    std::vector<std::vector<Shown>> at(count + 1);
    std::vector<std::pair<int, Shown>> todo;
    size_t total = 0;
    bool full = false;
    auto add = [&](size_t to, const Shown& state) {
        std::vector<Shown>& here = at[to];
        if (std::find(here.begin(), here.end(), state) != here.end()) return;
        if (here.size() >= MAX_SHOWN_AT_COMMAND || total >= MAX_SHOWN) {
            full = true;
            return;
        }
        here.push_back(state);
        ++total;
        todo.push_back({int(to), state});
    };
    Shown start{shown(PictureIndex("system.BMP")), shown(PictureIndex("game_w.BMP")), {-1, -1, -1}};
    add(0, start);
    std::map<std::pair<int, int>, size_t> pairs;  // picture and palette: the first command that shows them
    size_t noPalette = SIZE_MAX;
    auto showFrame = [&](size_t command, Shown& state) {
        for (int p : {state.window, state.fresh[0], state.fresh[1], state.fresh[2]}) {
            if (p < 0 || p == state.palette) continue;
            if (state.palette < 0) {
                noPalette = std::min(noPalette, command);
                continue;
            }
            auto it = pairs.emplace(std::make_pair(p, state.palette), command).first;
            it->second = std::min(it->second, command);
        }
        std::fill(state.fresh, state.fresh + 3, -1);
    };
    while (!todo.empty()) {
        auto [index, state] = todo.back();
        todo.pop_back();
        size_t i = size_t(index);
        if (i == count) {  // past the last line: the last frame stays
            showFrame(count - 1, state);
            continue;
        }
        const ScriptCommand& c = commands[i];
        switch (c.op) {
        case OP_SCENE:
            if (i == 0 && state == start) break;  // the story begins: no frame before it
            showFrame(i, state);
            break;
        case OP_WAIT: case OP_WAIT_KEY: case OP_FADE: case OP_CROSSFADE: case OP_SAY: case OP_CHOICE:
        case OP_ROLL:
            showFrame(i, state);
            break;
        case OP_LOAD: {
            int p = shown(s.pictureOf[i]);
            if (c.sheet == SHEET_WINDOW) state.window = p;
            else state.fresh[c.sheet - 1] = p;
            break;
        }
        case OP_PALETTE:
            if (shown(s.pictureOf[i]) >= 0) state.palette = s.pictureOf[i];
            break;
        default: break;
        }
        int next[2];
        for (int k = NextCommands(i, next); k-- > 0;) add(size_t(next[k]), state);
    }
    if (full)
        Hold(0, 0, "colours not followed", "too many ways of palettes and pictures to follow them all; the colours were "
                                           "checked on the first " + std::to_string(total), true);
    if (noPalette != SIZE_MAX)
        AtCommand(noPalette, "pictures without colours",
                  "a picture is shown here before the screen has colours: the game takes them from system.BMP at "
                  "start-up, which is not in the folder; take them from a picture with 'palette' first");
    for (const auto& [pair, command] : pairs) {
        const PictureColours* picture = colours(pair.first);
        const PictureColours* palette = colours(pair.second);
        ColourTableDifference d = CompareColourTables(picture->used, picture->table, palette->table);
        if (!d.count) continue;
        AtCommand(command, "pictures in other colours",
                  picture->file + " is shown here in the colours of " + palette->file + ", and its colour table "
                  "differs from that one at " + std::to_string(d.count) + " index" + (d.count == 1 ? "" : "es") +
                  " its pixels use (first " + std::to_string(d.first) + ": " + Rgb(picture->table[d.first]) +
                  " in it, " + Rgb(palette->table[d.first]) + " there): draw both from the same palette and rebuild "
                  "them, or take its colours with 'palette'");
    }
}

// ---- the whole check

void CheckStoryScript(const std::string& dir) {
    ScriptCheck& s = scriptCheck;
    s = ScriptCheck{};
    s.dir = dir;
    ScriptFileReader readFile = [&](const std::string& name, std::string* text, std::string* why) {
        std::string path = FindIn(dir, name);
        if (path.empty()) {
            *why = "no such file in the story folder";
            return 0;
        }
        return ReadRegularFile(path, SCRIPT_MAX_BYTES, text, why) ? 1 : 0;
    };
    int readWhole = ReadScript("scenes.txt", readFile, &s.program);
    // The reader's own reports, as the game prints them when it refuses the script.
    for (const ScriptProblem& problem : s.program.problems)
        Report(problem.line ? problem.file + ":" + std::to_string(problem.line) : problem.file, problem.text);
    if (s.program.commands.empty()) return;
    // With the reader's problems the game plays nothing and the jumps are not resolved: what the commands
    // name is still checked, the ways through them are not.
    if (readWhole) {
        CheckReached();
        CheckVariablesSet();
    }
    CheckScriptMessages(dir);
    CheckScriptPictures();
    if (readWhole) CheckScriptColours();
    CheckScriptSongsAndEffects();
    PrintHeldReports();
}
