// Reading a story script: one command a line, words separated by blanks, a line that begins with "#" a
// comment (a "#" later in a line is a word: "say #" types message "#"), "include FILE" to read another
// file of the folder in its place.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include "platform/files.h"
#include "story/script.h"

namespace {

struct Reader {
    const ScriptFileReader* readFile;
    ScriptProgram* program;
    size_t bytes = 0;
    std::vector<std::string> stack;  // files being read, for include cycles
    // The places' and variables' indexes by name: looking each name up in the lists took quadratic time
    // (100,000 labels, 50 s).
    std::unordered_map<std::string, int> places, variables;
    int file = 0, line = 0;
};

void Problem(Reader& r, const std::string& text) {
    if (r.program->problems.size() >= SCRIPT_MAX_PROBLEMS) return;
    r.program->problems.push_back({r.program->files[size_t(r.file)], r.line, text});
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsName(const std::string& word) {
    if (word.empty() || word.size() > 40) return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.' && c != ':') return false;
    return true;
}

// A whole number of at most nine digits, with an optional sign.
bool ParseNumber(const std::string& word, int* number) {
    size_t start = word.size() > 1 && (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (word.size() == start || word.size() - start > 9) return false;
    for (size_t i = start; i < word.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(word[i]))) return false;
    *number = std::atoi(word.c_str());
    return true;
}

bool IsVariableName(const std::string& word) {
    if (word.empty() || word.size() > 40 || !std::isalpha(static_cast<unsigned char>(word[0]))) return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    return true;
}

int Variable(Reader& r, const std::string& word) {
    std::vector<std::string>& vars = r.program->variables;
    auto [at, added] = r.variables.emplace(word, int(vars.size()));
    if (added) vars.push_back(word);
    return at->second;
}

bool Value(Reader& r, const std::string& word, ScriptValue* value) {
    if (ParseNumber(word, &value->number)) return true;
    if (!IsVariableName(word)) return false;
    value->variable = Variable(r, word);
    return true;
}

// A message key: one character (the one-byte id) or a name.
bool IsMessageKey(const std::string& word) {
    if (word.size() == 1) return static_cast<unsigned char>(word[0]) > ' ' && static_cast<unsigned char>(word[0]) < 0x7F;
    return IsName(word);
}

int SheetNamed(const std::string& word) {
    const char* names[] = {"window", "character", "system", "background"};
    for (int i = 0; i < 4; ++i)
        if (Lower(word) == names[i]) return i;
    return -1;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
        if (i >= text.size() || (text[i] == '#' && words.empty())) break;  // a comment line
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') ++i;
        words.push_back(text.substr(start, i - start));
    }
    return words;
}

// "step N", "frames N", "until key|space" after a fade or crossfade.
bool FadeOptions(Reader& r, const std::vector<std::string>& w, size_t i, ScriptCommand& c, bool untilAllowed) {
    for (; i < w.size(); i += 2) {
        std::string word = Lower(w[i]);
        if (i + 1 >= w.size()) {
            Problem(r, "'" + w[i] + "' needs a value after it");
            return false;
        }
        int n = 0;
        if (word == "step" && ParseNumber(w[i + 1], &n) && n >= 1 && n <= 255) {
            c.numbers[0] = n;
        } else if (word == "frames" && ParseNumber(w[i + 1], &n) && n >= 1 && n <= 100000) {
            c.numbers[1] = n;
        } else if (word == "until" && untilAllowed && (Lower(w[i + 1]) == "key" || Lower(w[i + 1]) == "space")) {
            c.until = Lower(w[i + 1]) == "key" ? WAIT_ANY_KEY : WAIT_SPACE;
        } else {
            Problem(r, "'" + w[i] + " " + w[i + 1] + "' is not a fade setting (step 1-255, frames 1-100000" +
                           (untilAllowed ? ", until key or space)" : ")"));
            return false;
        }
    }
    return true;
}

bool NeedWords(Reader& r, const std::vector<std::string>& w, size_t least, size_t most, const char* form) {
    if (w.size() >= least && w.size() <= most) return true;
    Problem(r, std::string("'") + w[0] + "' is written: " + form);
    return false;
}

bool SlotWord(Reader& r, const std::string& word, int* slot) {
    *slot = SlotNamed(word);
    if (*slot >= 0) return true;
    Problem(r, "'" + word + "' is not a sprite slot (0-255 or a slot's name: stage, partner, wait-cursor, "
               "choice-cursor, portrait, title-1 to title-5, piece, caption)");
    return false;
}

bool NumberIn(Reader& r, const std::string& word, int low, int high, int* number, const char* what) {
    if (ParseNumber(word, number) && *number >= low && *number <= high) return true;
    Problem(r, "'" + word + "' is not " + what + " (" + std::to_string(low) + " to " + std::to_string(high) + ")");
    return false;
}

void ReadFile(Reader& r, const std::string& name);

// One line's command; false when the line is wrong (the problem has been noted).
bool ParseCommand(Reader& r, const std::vector<std::string>& w) {
    ScriptCommand c;
    c.file = r.file;
    c.line = r.line;
    std::string verb = Lower(w[0]);
    if (verb == "include") {
        if (!NeedWords(r, w, 2, 2, "include FILE")) return false;
        ReadFile(r, w[1]);
        return true;
    }
    if (verb == "scene" || verb == "label") {
        if (!NeedWords(r, w, 2, 2, verb == "scene" ? "scene NAME" : "label NAME")) return false;
        if (!IsName(w[1])) return Problem(r, "'" + w[1] + "' is not a name (letters, digits, - _ . :)"), false;
        if (r.places.count(w[1])) return Problem(r, "'" + w[1] + "' is named twice"), false;
        c.op = verb == "scene" ? OP_SCENE : OP_LABEL;
        c.name = w[1];
        r.places.emplace(w[1], int(r.program->commands.size()));
        r.program->places.push_back({w[1], int(r.program->commands.size())});
    } else if (verb == "goto") {
        if (!NeedWords(r, w, 2, 2, "goto NAME")) return false;
        c.op = OP_GOTO;
        c.name = w[1];
    } else if (verb == "if") {
        // if VARIABLE OP VALUE goto NAME; OP: = is != "is not" < > <= >=
        if (w.size() < 6) return NeedWords(r, w, 6, 7, "if VARIABLE = VALUE goto NAME"), false;
        size_t v = 3;  // the value's word
        std::string op = Lower(w[2]);
        if (op == "is" && Lower(w[3]) == "not") op = "!=", v = 4;
        const std::pair<const char*, Comparison> ops[] = {{"=", CMP_EQ}, {"is", CMP_EQ}, {"==", CMP_EQ},
                                                          {"!=", CMP_NE}, {"<", CMP_LT}, {">", CMP_GT},
                                                          {"<=", CMP_LE}, {">=", CMP_GE}};
        bool known = false;
        for (auto& [text, cmp] : ops)
            if (op == text) c.comparison = cmp, known = true;
        if (!known) return Problem(r, "'" + w[2] + "' is not a comparison (=, is, is not, !=, <, >, <=, >=)"), false;
        if (!IsVariableName(w[1])) return Problem(r, "'" + w[1] + "' is not a variable"), false;
        c.variable = Variable(r, w[1]);
        if (v + 3 != w.size() || Lower(w[v + 1]) != "goto")
            return Problem(r, "'if' is written: if VARIABLE = VALUE goto NAME"), false;
        if (!Value(r, w[v], &c.value))
            return Problem(r, "'" + w[v] + "' is neither a number nor a variable"), false;
        c.op = OP_IF;
        c.name = w[v + 2];
    } else if (verb == "set" || verb == "add") {
        if (!NeedWords(r, w, 3, 3, verb == "set" ? "set VARIABLE VALUE" : "add VARIABLE VALUE")) return false;
        if (!IsVariableName(w[1])) return Problem(r, "'" + w[1] + "' is not a variable name (a letter, then "
                                                     "letters, digits, - or _)"), false;
        if (!Value(r, w[2], &c.value)) return Problem(r, "'" + w[2] + "' is neither a number nor a variable"), false;
        c.op = verb == "set" ? OP_SET : OP_ADD;
        c.variable = Variable(r, w[1]);
    } else if (verb == "draw") {
        if (!NeedWords(r, w, 3, 3, "draw VARIABLE COUNT")) return false;
        if (!IsVariableName(w[1])) return Problem(r, "'" + w[1] + "' is not a variable name"), false;
        if (!NumberIn(r, w[2], 1, 1000, &c.value.number, "a count to draw from")) return false;
        c.op = OP_DRAW;
        c.variable = Variable(r, w[1]);
    } else if (verb == "load") {
        if (!NeedWords(r, w, 3, 3, "load SHEET PICTURE (SHEET: window, character, system, background)")) return false;
        c.sheet = SheetNamed(w[1]);
        if (c.sheet < 0) return Problem(r, "'" + w[1] + "' is not a sheet (window, character, system, background)"), false;
        c.op = OP_LOAD;
        c.name = PictureFileOf(w[2]);
    } else if (verb == "show" || verb == "hide" || verb == "still") {
        if (!NeedWords(r, w, 2, 2, (verb + " SLOT").c_str()) || !SlotWord(r, w[1], &c.slot)) return false;
        c.op = verb == "show" ? OP_SHOW : verb == "hide" ? OP_HIDE : OP_STILL;
    } else if (verb == "place") {
        if (!NeedWords(r, w, 4, 4, "place SLOT X Y") || !SlotWord(r, w[1], &c.slot) ||
            !NumberIn(r, w[2], -4096, 4096, &c.numbers[0], "an x") || !NumberIn(r, w[3], -4096, 4096, &c.numbers[1], "a y"))
            return false;
        c.op = OP_PLACE;
    } else if (verb == "sprite") {
        if (!NeedWords(r, w, 7, 7, "sprite SLOT SHEET LEFT TOP WIDTH HEIGHT") || !SlotWord(r, w[1], &c.slot)) return false;
        c.sheet = SheetNamed(w[2]);
        if (c.sheet < 0) return Problem(r, "'" + w[2] + "' is not a sheet (window, character, system, background)"), false;
        if (!NumberIn(r, w[3], 0, 4096, &c.numbers[0], "a left edge") ||
            !NumberIn(r, w[4], 0, 4096, &c.numbers[1], "a top edge") ||
            !NumberIn(r, w[5], 1, 4096, &c.numbers[2], "a width") ||
            !NumberIn(r, w[6], 1, 4096, &c.numbers[3], "a height"))
            return false;
        c.op = OP_SPRITE;
    } else if (verb == "palette") {
        if (!NeedWords(r, w, 2, 2, "palette PICTURE")) return false;
        c.op = OP_PALETTE;
        c.name = PictureFileOf(w[1]);
    } else if (verb == "blackout") {
        if (!NeedWords(r, w, 1, 2, "blackout, or blackout all")) return false;
        if (w.size() == 2 && Lower(w[1]) != "all") return Problem(r, "'blackout' is followed by nothing or 'all'"), false;
        c.op = OP_BLACKOUT;
        c.all = w.size() == 2;
    } else if (verb == "clear") {
        if (!NeedWords(r, w, 3, 3, "clear screen COLOUR") || Lower(w[1]) != "screen")
            return w.size() == 3 ? Problem(r, "'clear' is written: clear screen COLOUR"), false : false;
        if (!NumberIn(r, w[2], 0, 255, &c.numbers[0], "a palette index")) return false;
        c.op = OP_CLEAR_SCREEN;
    } else if (verb == "sound") {
        if (!NeedWords(r, w, 2, 2, "sound EFFECT (0-7 or the effect's name)")) return false;
        c.slot = EffectNamed(w[1]);
        if (c.slot < 0) return Problem(r, "'" + w[1] + "' is not an effect (0-7, or End, Crash, Houtyo, Han, mag, "
                                           "messg, hako3, punch3)"), false;
        c.op = OP_SOUND;
    } else if (verb == "song") {
        std::string what = w.size() > 1 ? Lower(w[1]) : "";
        if (what == "load" && w.size() == 3) {
            c.op = OP_SONG_LOAD;
            c.name = SongFileOf(w[2]);
        } else if ((what == "play" || what == "stop") && w.size() == 2) {
            c.op = what == "play" ? OP_SONG_PLAY : OP_SONG_STOP;
        } else {
            return Problem(r, "'song' is written: song load NAME, song play, or song stop"), false;
        }
    } else if (verb == "animate") {
        // animate SLOT WIDTH HEIGHT EVERY CELL... (CELL: COLUMN,ROW)
        if (w.size() < 6 || w.size() > 25)
            return Problem(r, "'animate' is written: animate SLOT WIDTH HEIGHT FRAMES COLUMN,ROW ... (1 to 20 cells)"), false;
        if (!SlotWord(r, w[1], &c.slot) || !NumberIn(r, w[2], 1, 1024, &c.numbers[0], "a cell width") ||
            !NumberIn(r, w[3], 1, 1024, &c.numbers[1], "a cell height") ||
            !NumberIn(r, w[4], 2, 10000, &c.numbers[2], "the frames a cell stays"))
            return false;
        for (size_t i = 5; i < w.size(); ++i) {
            size_t comma = w[i].find(',');
            int col = 0, row = 0;
            if (comma == std::string::npos || !ParseNumber(w[i].substr(0, comma), &col) ||
                !ParseNumber(w[i].substr(comma + 1), &row) || col < 0 || col > 98 || row < 0 || row > 1000)
                return Problem(r, "'" + w[i] + "' is not a cell (COLUMN,ROW: column 0-98, row 0-1000)"), false;
            c.cells.push_back(col);
            c.cells.push_back(row);
        }
        c.op = OP_ANIMATE;
    } else if (verb == "wait") {
        if (!NeedWords(r, w, 2, 2, "wait FRAMES, wait key, or wait space")) return false;
        std::string what = Lower(w[1]);
        if (what == "key" || what == "space") {
            c.op = OP_WAIT_KEY;
            c.until = what == "key" ? WAIT_ANY_KEY : WAIT_SPACE;
        } else {
            if (!NumberIn(r, w[1], 1, 1000000, &c.numbers[0], "a number of frames, 'key' or 'space'")) return false;
            c.op = OP_WAIT;
        }
    } else if (verb == "fade") {
        // fade in|out [all|scene|low|band|outer] [step N] [frames N] [until key|space]
        std::string way = w.size() > 1 ? Lower(w[1]) : "";
        if (way != "in" && way != "out")
            return Problem(r, "'fade' is written: fade in|out [all|scene|low|band|outer] [step N] [frames N] [until key|space]"), false;
        c.op = OP_FADE;
        c.fadeIn = way == "in";
        c.numbers[0] = 10;
        c.numbers[1] = 27;
        size_t i = 2;
        const std::pair<const char*, FadeRange> ranges[] = {
            {"all", FADE_ALL}, {"scene", FADE_SCENE}, {"low", FADE_LOW}, {"band", FADE_BAND}, {"outer", FADE_OUTER}};
        if (i < w.size()) {
            for (auto& [text, range] : ranges)
                if (Lower(w[2]) == text) c.range = range, i = 3;
        }
        bool fits = (c.range != FADE_LOW && c.range != FADE_BAND) || c.fadeIn;
        if (c.range == FADE_OUTER && c.fadeIn) fits = false;
        if (!fits) return Problem(r, "the palette has no fade " + way + " of that range (fade in low, fade in band, "
                                     "fade out outer; all and scene both ways)"), false;
        if (!FadeOptions(r, w, i, c, true)) return false;
    } else if (verb == "crossfade") {
        c.op = OP_CROSSFADE;
        c.numbers[0] = 3;
        c.numbers[1] = 87;
        if (!FadeOptions(r, w, 1, c, false)) return false;
    } else if (verb == "say") {
        // say MESSAGE [by NAME]
        if (!(w.size() == 2 || (w.size() == 4 && Lower(w[2]) == "by")))
            return Problem(r, "'say' is written: say MESSAGE, or say MESSAGE by NAME"), false;
        for (size_t i = 1; i < w.size(); i += 2)
            if (!IsMessageKey(w[i])) return Problem(r, "'" + w[i] + "' is not a message id or name"), false;
        c.op = OP_SAY;
        c.name = w[1];
        if (w.size() == 4) c.messages.push_back(w[3]);
    } else if (verb == "choice") {
        // choice VARIABLE ANSWER ANSWER [ANSWER [ANSWER]]
        if (w.size() < 4 || w.size() > 2 + size_t(SCRIPT_MAX_CHOICES))
            return Problem(r, "'choice' is written: choice VARIABLE ANSWER ANSWER [ANSWER] [ANSWER] (two to four "
                              "answers, each a message)"), false;
        if (!IsVariableName(w[1])) return Problem(r, "'" + w[1] + "' is not a variable name"), false;
        for (size_t i = 2; i < w.size(); ++i) {
            if (!IsMessageKey(w[i])) return Problem(r, "'" + w[i] + "' is not a message id or name"), false;
            c.messages.push_back(w[i]);
        }
        c.op = OP_CHOICE;
        c.variable = Variable(r, w[1]);
    } else if (verb == "roll") {
        if (!NeedWords(r, w, 2, 3, "roll CREDITS [CLOSING]")) return false;
        for (size_t i = 1; i < w.size(); ++i) {
            if (!IsMessageKey(w[i])) return Problem(r, "'" + w[i] + "' is not a message id or name"), false;
            c.messages.push_back(w[i]);
        }
        c.op = OP_ROLL;
    } else {
        Problem(r, "unknown command '" + w[0] + "'");
        return false;
    }
    if (r.program->commands.size() >= SCRIPT_MAX_COMMANDS) {
        Problem(r, "the script has more than " + std::to_string(SCRIPT_MAX_COMMANDS) + " commands; the rest is not read");
        return false;
    }
    r.program->commands.push_back(c);
    return true;
}

void ReadFile(Reader& r, const std::string& name) {
    int outerFile = r.file, outerLine = r.line;
    bool nested = !r.stack.empty();
    auto fail = [&](const std::string& text) {
        if (nested) Problem(r, text);
        else r.program->problems.push_back({name, 0, text});
    };
    if (name.empty() || name.find("..") != std::string::npos || name[0] == '/' || name[0] == '\\' ||
        name.find(':') != std::string::npos)
        return fail("'" + name + "' is not a file of the story folder");
    if (std::find(r.stack.begin(), r.stack.end(), name) != r.stack.end())
        return fail("'" + name + "' includes itself");
    if (int(r.stack.size()) >= SCRIPT_MAX_INCLUDE_DEPTH)
        return fail("includes nest deeper than " + std::to_string(SCRIPT_MAX_INCLUDE_DEPTH));
    if (int(r.program->files.size()) >= SCRIPT_MAX_FILES)
        return fail("more than " + std::to_string(SCRIPT_MAX_FILES) + " files are included");
    std::string text, why;
    if (!(*r.readFile)(name, &text, &why)) return fail("cannot read " + name + (why.empty() ? "" : ": " + why));
    r.bytes += text.size();
    if (r.bytes > SCRIPT_MAX_BYTES)
        return fail("the script and its includes are larger than " + std::to_string(SCRIPT_MAX_BYTES >> 20) + " MiB");
    r.program->files.push_back(name);
    r.stack.push_back(name);
    r.file = int(r.program->files.size() - 1);
    r.line = 0;
    size_t start = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // a byte order mark
    while (start <= text.size() && r.program->problems.size() < SCRIPT_MAX_PROBLEMS) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        r.line++;
        std::vector<std::string> words = Words(text.substr(start, end - start));
        if (!words.empty()) ParseCommand(r, words);
        if (end == text.size()) break;
        start = end + 1;
    }
    r.stack.pop_back();
    r.file = outerFile;
    r.line = outerLine;
}

// Jumps resolved to their places.
void Resolve(Reader& r) {
    for (ScriptCommand& c : r.program->commands) {
        if (c.op != OP_GOTO && c.op != OP_IF) continue;
        auto place = r.places.find(c.name);
        c.target = place == r.places.end() ? -1 : place->second;
        if (c.target < 0) {
            r.file = c.file;
            r.line = c.line;
            Problem(r, "'" + c.name + "' is no scene or label of the script");
        }
    }
}

}  // namespace

int FindPlace(const ScriptProgram& program, const std::string& name) {
    for (const auto& [place, index] : program.places)
        if (place == name) return index;
    return -1;
}

std::string ProblemText(const ScriptProblem& problem) {
    return problem.file + (problem.line ? ":" + std::to_string(problem.line) : "") + ": " + problem.text;
}

int SlotNamed(const std::string& word) {
    const std::pair<const char*, int> names[] = {
        {"stage", 1},    {"partner", 2},  {"wait-cursor", 4}, {"choice-cursor", 5}, {"portrait", 6},
        {"title-1", 7},  {"title-2", 8},  {"title-3", 9},     {"title-4", 10},      {"title-5", 11},
        {"piece", 12},   {"caption", 13}};
    for (auto& [name, slot] : names)
        if (Lower(word) == name) return slot;
    int number = 0;
    return ParseNumber(word, &number) && number >= 0 && number <= 255 && word[0] != '+' && word[0] != '-' ? number : -1;
}

std::string PictureFileOf(const std::string& name) {
    std::string lower = Lower(name);
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".bmp") == 0 ? name : name + ".BMP";
}

std::string SongFileOf(const std::string& name) {
    std::string lower = Lower(name);
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".pmd") == 0 ? name : name + ".pmd";
}

int EffectNamed(const std::string& word) {
    const char* names[] = {"end", "crash", "houtyo", "han", "mag", "messg", "hako3", "punch3"};
    for (int i = 0; i < 8; ++i)
        if (Lower(word) == names[i] || Lower(word) == std::string(names[i]) + ".wav") return i;
    int number = 0;
    return word.size() == 1 && ParseNumber(word, &number) && number <= 7 ? number : -1;
}

int ReadScript(const std::string& name, const ScriptFileReader& readFile, ScriptProgram* program) {
    *program = ScriptProgram{};
    Reader r;
    r.readFile = &readFile;
    r.program = program;
    ReadFile(r, name);
    if (program->problems.empty()) Resolve(r);
    if (program->problems.empty() && program->commands.empty())
        program->problems.push_back({name, 0, "the script has no commands"});
    return program->problems.empty() ? 1 : 0;
}

int ReadDataFolderScript(ScriptProgram* program) {
    *program = ScriptProgram{};
    uint32_t size = 0;
    if (!GetDataFileSize("scenes.txt", &size)) return 0;
    ScriptFileReader reader = [](const std::string& file, std::string* text, std::string* why) {
        std::string path = FindDataFile(file.c_str());
        if (path.empty()) {
            *why = "no such file in the story folder";
            return 0;
        }
        return ReadRegularFile(path, SCRIPT_MAX_BYTES, text, why) ? 1 : 0;
    };
    ReadScript("scenes.txt", reader, program);
    return 1;
}
