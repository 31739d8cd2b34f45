// Playing a story script, one frame at a time. Each frame runs commands from where the story stands
// until one holds the frame: set-up commands, jumps and variables take no time; a wait, a fade, a message,
// a key wait, a choice and the staff roll hold frames. docs/authoring.md gives the frames of each.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <string>
#include "app/app.h"
#include "app/comforts.h"
#include "story/random.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/overlay.h"
#include "sound/sound.h"
#include "story/scene_kit.h"
#include "story/script.h"
#include "story/story.h"
#include "story/tables.h"
#include "text/text.h"

ScriptPlayer scriptPlayer;

namespace {

// A story that runs this many commands in one frame without holding it has gone round a loop of jumps
// with nothing that waits: it is stopped there, with a message, and the game stays on its last frame.
constexpr int MAX_LINES_PER_FRAME = 10000;
constexpr int KEY_WAIT_SLOT = 4, CHOICE_CURSOR_SLOT = 5;
constexpr int ROLL_FADE_LAST = 55, ROLL_SPACING = 20, ROLL_GAP = 10, WIPE_COLOUR = 220;
// A speaker's name: above the message box, on the window sheet, in the message's own face and colours.
constexpr int NAME_X = 72, NAME_Y = 321, NAME_HEIGHT = 20;
constexpr int NAME_LEFT = 48, NAME_TOP = 316, NAME_RIGHT = 590, NAME_BOTTOM = 346;

struct PlayerExtras {
    int builtinForced = 0;
    int slotSheet[256];     // the sheet each slot shows from
    int lastPlace = -1;     // the scene or label passed last
    std::vector<std::pair<int, std::string>> rollLines;  // offset, text
    std::string closingLine;
    int rollReady = 0;
};
PlayerExtras extras;

enum Result { NEXT, HOLD, HOLD_NEXT };

Surface** SheetOf(int sheet) {
    switch (sheet) {
        case SHEET_WINDOW: return &display.windowSheet;
        case SHEET_CHARACTER: return &display.charSheet;
        case SHEET_SYSTEM: return &display.systemSheet;
        default: return &display.bgSheet;
    }
}

void DefaultSlotSheets() {
    for (int& sheet : extras.slotSheet) sheet = SHEET_WINDOW;
    extras.slotSheet[1] = SHEET_BACKGROUND;
    extras.slotSheet[2] = extras.slotSheet[6] = SHEET_CHARACTER;
    for (int slot : {4, 5, 7, 8, 9, 10, 11, 12, 13}) extras.slotSheet[slot] = SHEET_SYSTEM;
}

void RepointSheet(int sheet) {
    for (int slot = 0; slot < 256; ++slot)
        if (extras.slotSheet[slot] == sheet) sprites[slot].surface = *SheetOf(sheet);
}

std::string Where(const ScriptCommand& c) {
    const ScriptProgram& program = scriptPlayer.program;
    std::string file = size_t(c.file) < program.files.size() ? program.files[size_t(c.file)] : "scenes.txt";
    return file + ":" + std::to_string(c.line);
}

void Stop(const ScriptCommand& c, const std::string& why) {
    scriptPlayer.stopped = 1;
    scriptPlayer.stopReason = Where(c) + ": " + why;
    std::fprintf(stderr, "kirake: %s\n", scriptPlayer.stopReason.c_str());
    ShowOverlayLine(scriptPlayer.stopReason.c_str());
}

int Get(const ScriptValue& value) {
    if (value.variable < 0) return value.number;
    return size_t(value.variable) < scriptPlayer.values.size() ? scriptPlayer.values[size_t(value.variable)] : 0;
}

void Put(int variable, long long value) {
    if (variable < 0 || size_t(variable) >= scriptPlayer.values.size()) return;
    const long long limit = 1000000000;
    scriptPlayer.values[size_t(variable)] = int(value > limit ? limit : value < -limit ? -limit : value);
    scriptPlayer.isSet[size_t(variable)] = 1;
}

bool Holds(Comparison comparison, int a, int b) {
    switch (comparison) {
        case CMP_EQ: return a == b;
        case CMP_NE: return a != b;
        case CMP_LT: return a < b;
        case CMP_GT: return a > b;
        case CMP_LE: return a <= b;
        case CMP_GE: return a >= b;
    }
    return false;
}

// The draw of a story: the standard generator seeded with the calendar time, 1 to count.
int DrawNumber(int count) {
    ScriptPlayer& p = scriptPlayer;
    if (p.drawsTaken < p.drawPlan.size()) {
        int planned = p.drawPlan[p.drawsTaken++];
        return planned < 1 ? 1 : planned > count ? count : planned;
    }
    p.drawsTaken++;
    StorySeed(unsigned(GetCalendarTime()));
    return StoryRandom() % count + 1;
}

bool KeyFor(WaitKey key) { return key == WAIT_SPACE ? (keysPressed & KEY_SPACE) != 0 : keysPressed != 0; }

void FadeStep(Window window, const ScriptCommand& c) {
    int step = c.numbers[0];
    switch (c.range) {
        case FADE_ALL: c.fadeIn ? FadeInAllStep(window, step) : FadeOutAllStep(window, step); break;
        case FADE_SCENE: c.fadeIn ? FadeInStep(window, step) : FadeOutStep(window, step); break;
        case FADE_LOW: FadeInLowStep(window, step); break;
        case FADE_BAND: FadeInBandStep(window, step); break;
        case FADE_OUTER: FadeOutOuterStep(window, step); break;
    }
}

bool StoryIsUtf8() { return message.utf8 != 0; }

// A line of the story's own text on the window sheet: as DrawTextLine, and in a UTF-8 story a character
// beyond ASCII at a time with its own advance.
void DrawStoryLine(const std::string& text, int x, int y, int height) {
    if (!StoryIsUtf8()) {
        DrawTextLine(text.c_str(), GAME_FACE, x, y, height, display.windowSheet, 255, 255, 255);
        return;
    }
    BeginText(GAME_FACE, height, display.windowSheet);
    SetTextColour(textDC, 0xFFFFFF);
    int penX = x;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = p[i];
        int length = p[i] >= 0x80 ? DecodeUtf8(p + i, uint32_t(text.size() - i), &codePoint) : 1;
        if (length == 0) {
            ++i;
            continue;
        }
        penX += textDC ? PaintCodePoint(textDC, penX, y, codePoint) : TextAdvanceOf(textFont, codePoint);
        i += size_t(length);
    }
    EndText(display.windowSheet);
}

std::string TextOf(const std::string& key) {
    std::string text;
    MessageText(key.c_str(), &text);
    return text;
}

void ShowName(const std::string& key) {
    Surface* sheet = display.windowSheet;
    ScriptPlayer& p = scriptPlayer;
    p.nameUnder.clear();
    if (!sheet || SurfaceWidth(sheet) < NAME_RIGHT || SurfaceHeight(sheet) < NAME_BOTTOM) return;
    int pitch = 0;
    uint8_t* pixels = LockSurface(sheet, &pitch);
    if (!pixels) return;
    for (int y = NAME_TOP; y < NAME_BOTTOM; ++y)
        p.nameUnder.insert(p.nameUnder.end(), pixels + size_t(y) * pitch + NAME_LEFT, pixels + size_t(y) * pitch + NAME_RIGHT);
    UnlockSurface(sheet);
    std::string name = TextOf(key);
    // The shadow, then the name, as the message window types.
    for (int pass = 0; pass < 2; ++pass) {
        BeginText(GAME_FACE, NAME_HEIGHT, sheet);
        SetTextColour(textDC, pass ? 0xFFFFFF : 0);
        int penX = pass ? NAME_X : NAME_X + 2, y = pass ? NAME_Y : NAME_Y + 2;
        const uint8_t* b = reinterpret_cast<const uint8_t*>(name.data());
        for (size_t i = 0; i < name.size();) {
            uint32_t codePoint = b[i];
            int length = b[i] >= 0x80 ? (StoryIsUtf8() ? DecodeUtf8(b + i, uint32_t(name.size() - i), &codePoint) : 0) : 1;
            if (length == 0) {
                ++i;
                continue;
            }
            if (codePoint == '<') break;  // names hold no codes
            penX += textDC ? PaintCodePoint(textDC, penX, y, codePoint) : TextAdvanceOf(textFont, codePoint);
            i += size_t(length);
        }
        EndText(sheet);
    }
    p.nameShown = 1;
}

void HideName() {
    ScriptPlayer& p = scriptPlayer;
    Surface* sheet = display.windowSheet;
    size_t width = NAME_RIGHT - NAME_LEFT;
    if (p.nameShown && sheet && p.nameUnder.size() == width * (NAME_BOTTOM - NAME_TOP)) {
        int pitch = 0;
        if (uint8_t* pixels = LockSurface(sheet, &pitch)) {
            for (int y = NAME_TOP; y < NAME_BOTTOM; ++y)
                std::copy_n(p.nameUnder.data() + (y - NAME_TOP) * width, width, pixels + size_t(y) * pitch + NAME_LEFT);
            UnlockSurface(sheet);
        }
    }
    p.nameShown = 0;
    p.nameUnder.clear();
}

// The answers' lines and the cursor: for two or three answers as the built-in questions lie, for four
// moved up a line's third so that the fourth stays inside the box.
int ChoiceLineY(int count, int index) { return (count > 3 ? 348 : CHOICE_LINE_Y) + CHOICE_SPACING * index; }
int ChoiceCursorYOf(int count, int index) { return ChoiceLineY(count, index) - (CHOICE_LINE_Y - CHOICE_CURSOR_Y); }

Result RunChoice(Window window, const ScriptCommand& c) {
    ScriptPlayer& p = scriptPlayer;
    int count = int(c.messages.size());
    if (!p.choiceOpen) {
        std::vector<std::string> answers;
        for (int i = 0; i < count; ++i) {
            answers.push_back(TextOf(c.messages[size_t(i)]));
            DrawStoryLine(answers.back(), CHOICE_LINE_X, ChoiceLineY(count, i), CHOICE_LINE_HEIGHT);
        }
        std::vector<const char*> lines;
        for (const std::string& answer : answers) lines.push_back(answer.c_str());
        NoteChoiceOpened(lines.data(), count);  // the voice says the answers
        const int fresh[] = {0, 17, 18, 19, 18, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
        std::fill(std::begin(p.cursorSequence), std::end(p.cursorSequence), 0);
        std::copy(std::begin(fresh), std::end(fresh), p.cursorSequence);
        sprites[CHOICE_CURSOR_SLOT].active = 1;
        sprites[CHOICE_CURSOR_SLOT].surface = *SheetOf(extras.slotSheet[CHOICE_CURSOR_SLOT]);
        sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorYOf(count, 0);
        p.choiceOpen = 1;
        p.choiceIndex = 0;
        p.choiceCount = count;
        return HOLD;
    }
    sprites[KEY_WAIT_SLOT].active = 0;
    int* sequence = p.cursorSequence;
    AnimateSprite(window, sequence, 32, 32, 5, &sequence[0], &sequence[21], CHOICE_CURSOR_SLOT);
    if (keysPressed & KEY_UP) p.choiceIndex = (p.choiceIndex + count - 1) % count;
    if (keysPressed & KEY_DOWN) p.choiceIndex = (p.choiceIndex + 1) % count;
    sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorYOf(count, p.choiceIndex);
    if (!(keysPressed & KEY_SPACE)) return HOLD;
    Put(c.variable, p.choiceIndex + 1);
    sprites[CHOICE_CURSOR_SLOT].destY = ChoiceCursorYOf(count, 0);
    sprites[CHOICE_CURSOR_SLOT].active = 0;
    ClearMessageBox(window);
    p.choiceOpen = 0;
    p.choiceCount = 0;
    return NEXT;
}

// The credits' lines: each "</" starts a line ROLL_SPACING rows below the last, an empty line adds ROLL_GAP.
void ReadRollLines(const ScriptCommand& c) {
    extras.rollLines.clear();
    std::string text = TextOf(c.messages[0]);
    int offset = 0;
    bool first = true;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("</", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.empty() && !first) {
            offset += ROLL_GAP;
        } else {
            if (!first) offset += ROLL_SPACING;
            extras.rollLines.push_back({offset, line});
            first = false;
        }
        if (end == std::string::npos || extras.rollLines.size() >= 10000) break;
        start = end + 2;
    }
    extras.closingLine = c.messages.size() > 1 ? TextOf(c.messages[1]) : "";
    extras.rollReady = 1;
}

Result RunRoll(Window window, const ScriptCommand& c) {
    ScriptPlayer& p = scriptPlayer;
    if (!extras.rollReady) ReadRollLines(c);
    FillWindowSheetRect(window, CREDITS_X, 0, 640, 480, WIPE_COLOUR);
    if (p.rollFade <= ROLL_FADE_LAST) {
        FadeInAllStep(window, 5);
        p.rollFade++;
        return HOLD;
    }
    if (p.rollDone == 0) {
        for (const auto& [offset, line] : extras.rollLines) {
            int y = CREDITS_START_Y - p.rollScroll + offset;
            if (y > 0 && y < 480) DrawStoryLine(line, CREDITS_X, y, CREDITS_HEIGHT);
        }
        int last = extras.rollLines.empty() ? 0 : extras.rollLines.back().first;
        if (CREDITS_START_Y - p.rollScroll + last <= CREDITS_GONE_Y) {
            p.rollDone = 1;
            p.rollScroll = 0;
        } else {
            p.rollScroll++;
        }
    }
    if (p.rollDone == 1) {
        if (!extras.closingLine.empty())
            DrawStoryLine(extras.closingLine, THE_END_X, CREDITS_START_Y - p.rollScroll, THE_END_HEIGHT);
        if (p.rollScroll != THE_END_STOP_SCROLL) p.rollScroll++;
    }
    return HOLD;
}

void StartAnimation(const ScriptCommand& c) {
    ScriptPlayer::Animation a{};
    a.slot = c.slot;
    a.width = c.numbers[0];
    a.height = c.numbers[1];
    a.period = c.numbers[2] - 2;
    size_t cells = c.cells.size() / 2;
    for (size_t i = 0; i < cells; ++i) {
        a.sequence[1 + i] = c.cells[2 * i];
        a.sequence[22 + i] = c.cells[2 * i + 1];
    }
    a.sequence[1 + cells] = 99;
    a.sequence[21] = 1;
    for (ScriptPlayer::Animation& old : scriptPlayer.animations)
        if (old.slot == c.slot) {
            old = a;
            return;
        }
    scriptPlayer.animations.push_back(a);
}

void StepAnimations(Window window) {
    std::vector<ScriptPlayer::Animation>& list = scriptPlayer.animations;
    for (ScriptPlayer::Animation& a : list)
        AnimateSprite(window, a.sequence, a.width, a.height, a.period, &a.sequence[0], &a.sequence[21], a.slot);
    for (size_t i = list.size(); i-- > 0;)
        if (list[i].stopping) list.erase(list.begin() + long(i));
}

Result Run(Window window, const ScriptCommand& c, bool firstInFrame) {
    ScriptPlayer& p = scriptPlayer;
    switch (c.op) {
        case OP_SCENE:
            extras.lastPlace = p.pc;
            return firstInFrame ? NEXT : HOLD;
        case OP_LABEL:
            extras.lastPlace = p.pc;
            return NEXT;
        case OP_GOTO:
        case OP_IF:
            return NEXT;  // the jump itself is taken by the caller
        case OP_SET: Put(c.variable, Get(c.value)); return NEXT;
        case OP_ADD: Put(c.variable, (long long)Get(c.value) + (size_t(c.variable) < p.values.size() ? p.values[size_t(c.variable)] : 0)); return NEXT;
        case OP_DRAW:
            if (p.beforeDraw) p.beforeDraw(p.pc);
            Put(c.variable, DrawNumber(c.value.number));
            return NEXT;
        case OP_LOAD:
            ReplaceSheet(SheetOf(c.sheet), c.name.c_str());
            SetSheetColorKeys(window);
            RepointSheet(c.sheet);
            return NEXT;
        case OP_SHOW:
        case OP_HIDE:
            sprites[c.slot].active = c.op == OP_SHOW;
            sprites[c.slot].surface = *SheetOf(extras.slotSheet[c.slot]);
            return NEXT;
        case OP_PLACE:
            sprites[c.slot].destX = c.numbers[0];
            sprites[c.slot].destY = c.numbers[1];
            return NEXT;
        case OP_SPRITE: {
            SpriteSlot& s = sprites[c.slot];
            extras.slotSheet[c.slot] = c.sheet;
            s.surface = *SheetOf(c.sheet);
            s.srcLeft = c.numbers[0];
            s.srcTop = c.numbers[1];
            s.srcRight = c.numbers[0] + c.numbers[2];
            s.srcBottom = c.numbers[1] + c.numbers[3];
            return NEXT;
        }
        case OP_PALETTE: LoadMasterPalette(c.name.c_str()); return NEXT;
        case OP_BLACKOUT: c.all ? BlackOutAll(window) : BlackOut(window); return NEXT;
        case OP_CLEAR_SCREEN:
            FillScreenRect(window, 0, 0, 640, 480, c.numbers[0]);
            FlipPage(window);
            FillScreenRect(window, 0, 0, 640, 480, c.numbers[0]);
            return NEXT;
        case OP_SOUND: PlaySlot(c.slot, 1); return NEXT;
        case OP_SONG_LOAD: SongControl(SONG_LOAD, c.name.c_str()); return NEXT;
        case OP_SONG_PLAY: SongControl(SONG_PLAY, nullptr); return NEXT;
        case OP_SONG_STOP: SongControl(SONG_STOP, nullptr); return NEXT;
        case OP_ANIMATE: StartAnimation(c); return NEXT;
        case OP_STILL:
            for (ScriptPlayer::Animation& a : p.animations)
                if (a.slot == c.slot) a.stopping = 1;
            return NEXT;
        case OP_WAIT:
            if (++p.pieceCount < c.numbers[0]) return HOLD;
            p.pieceCount = 0;
            return HOLD_NEXT;
        case OP_WAIT_KEY:
            return KeyFor(c.until) ? NEXT : HOLD;
        case OP_FADE:
            if (c.until != WAIT_NO_KEY) {
                if (p.pieceCount < c.numbers[1]) {
                    FadeStep(window, c);
                    p.pieceCount++;
                }
                if (!KeyFor(c.until)) return HOLD;
                p.pieceCount = 0;
                return NEXT;
            }
            FadeStep(window, c);
            if (++p.pieceCount < c.numbers[1]) return HOLD;
            p.pieceCount = 0;
            return HOLD_NEXT;
        case OP_CROSSFADE:
            FadeOutOuterStep(window, c.numbers[0]);
            FadeInBandStep(window, c.numbers[0]);
            if (++p.pieceCount < c.numbers[1]) return HOLD;
            p.pieceCount = 0;
            return HOLD_NEXT;
        case OP_SAY: {
            if (message.messageFound != 1) SetMessageSpeaker(c.messages.empty() ? "" : TextOf(c.messages[0]));
            if (!c.messages.empty() && !p.nameShown && message.messageFound != 1) ShowName(c.messages[0]);
            int done = TypeKeyedMessage(window, message.scriptText, message.textOriginX, message.textOriginY, 21,
                                        display.windowSheet, 255, 255, 255, c.name.c_str());
            if (!done) return HOLD;
            HideName();
            return NEXT;
        }
        case OP_CHOICE: return RunChoice(window, c);
        case OP_ROLL: return RunRoll(window, c);
    }
    return NEXT;
}

}  // namespace

bool ComparisonHolds(Comparison comparison, int a, int b) { return Holds(comparison, a, b); }

void UseBuiltinStory(int builtin) { extras.builtinForced = builtin; }

int StoryScriptChosen() { return extras.builtinForced ? 0 : 1; }

int LoadStoryScript(Window window) {
    ScriptPlayer& p = scriptPlayer;
    p = ScriptPlayer{};
    DefaultSlotSheets();
    extras.lastPlace = -1;
    extras.rollReady = 0;
    if (extras.builtinForced || !ReadDataFolderScript(&p.program)) return 1;
    if (!p.program.problems.empty()) {
        for (const ScriptProblem& problem : p.program.problems)
            std::fprintf(stderr, "kirake: %s\n", ProblemText(problem).c_str());
        ReportFailure(("the story script cannot be played: " + ProblemText(p.program.problems[0])).c_str());
        ShowMessageBox(window, "ロード失敗", "Push return");
        PostClose(window);
        p = ScriptPlayer{};
        return 0;
    }
    p.active = 1;
    // A script's story starts with every slot hidden (the built-in title hides the two shown by default
    // in its first frame, before anything is drawn, so this changes nothing there).
    sprites[2].active = 0;
    sprites[4].active = 0;
    p.values.assign(p.program.variables.size(), 0);
    p.isSet.assign(p.program.variables.size(), 0);
    return 1;
}

void RunScriptFrame(Window window) {
    ScriptPlayer& p = scriptPlayer;
    if (!p.active) return;
    bool first = true;
    p.frameLines = 0;
    while (!p.stopped && size_t(p.pc) < p.program.commands.size()) {
        const ScriptCommand& c = p.program.commands[size_t(p.pc)];
        if (++p.frameLines > MAX_LINES_PER_FRAME) {
            Stop(c, "the story ran " + std::to_string(MAX_LINES_PER_FRAME) +
                        " lines in one frame without anything that waits (a loop of jumps?); it stops here");
            break;
        }
        Result result = Run(window, c, first);
        first = false;
        if (result == HOLD) break;
        if (c.op == OP_GOTO || (c.op == OP_IF && Holds(c.comparison, Get(ScriptValue{c.variable, 0}), Get(c.value))))
            p.pc = c.target;
        else
            p.pc++;
        if (result == HOLD_NEXT) break;
    }
    StepAnimations(window);
}

int IsStoryScriptFile(const std::string& name) {
    if (!scriptPlayer.active) return 0;
    for (const std::string& file : scriptPlayer.program.files) {
        std::string base = file.substr(file.find_last_of("/\\") == std::string::npos ? 0 : file.find_last_of("/\\") + 1);
        if (SameNameIgnoringCase(base.c_str(), name.c_str())) return 1;
    }
    return 0;
}

int ReloadStoryScript(Window window, std::string* why) {
    ScriptPlayer& p = scriptPlayer;
    ScriptProgram program;
    if (!ReadDataFolderScript(&program)) {
        *why = "scenes.txt cannot be read";
        return 0;
    }
    if (!program.problems.empty()) {
        *why = ProblemText(program.problems[0]);
        if (program.problems.size() > 1) *why += " (and " + std::to_string(program.problems.size() - 1) + " more)";
        return 0;
    }
    // The scene the story is in, by name, in the new script: it starts again from its first line.
    std::string scene;
    for (int i = std::min(p.pc, int(p.program.commands.size()) - 1); i >= 0 && scene.empty(); --i)
        if (p.program.commands[size_t(i)].op == OP_SCENE) scene = p.program.commands[size_t(i)].name;
    int at = scene.empty() ? -1 : FindPlace(program, scene);
    if (at < 0) at = 0;
    // Variables keep their values by name.
    std::vector<int> values(program.variables.size(), 0);
    std::vector<uint8_t> isSet(program.variables.size(), 0);
    for (size_t i = 0; i < program.variables.size(); ++i)
        for (size_t j = 0; j < p.program.variables.size(); ++j)
            if (program.variables[i] == p.program.variables[j]) values[i] = p.values[j], isSet[i] = p.isSet[j];
    if (message.messageFound == 1) AbandonMessage(window);
    HideName();
    if (p.choiceOpen) {
        sprites[CHOICE_CURSOR_SLOT].active = 0;
        ClearMessageBox(window);
    }
    p.program = std::move(program);
    p.values = std::move(values);
    p.isSet = std::move(isSet);
    p.pc = at;
    p.pieceCount = 0;
    p.choiceOpen = p.choiceCount = p.choiceIndex = 0;
    p.rollFade = p.rollScroll = p.rollDone = 0;
    p.stopped = 0;
    extras.rollReady = 0;
    return 1;
}

std::string ScriptPosition() {
    const ScriptPlayer& p = scriptPlayer;
    if (size_t(p.pc) >= p.program.commands.size()) return "end";
    return Where(p.program.commands[size_t(p.pc)]);
}

ShownState ScriptShownState() {
    const ScriptPlayer& p = scriptPlayer;
    ShownState shown{0, 0, CHOICE_CURSOR_Y, CHOICE_SPACING, 0, 0};
    if (p.choiceOpen) {
        shown.choiceCount = p.choiceCount;
        shown.choiceIndex = p.choiceIndex;
        shown.choiceTop = ChoiceCursorYOf(p.choiceCount, 0);
    }
    bool inRoll = size_t(p.pc) < p.program.commands.size() && p.program.commands[size_t(p.pc)].op == OP_ROLL;
    shown.storyOver = inRoll && p.rollDone == 1 && p.rollScroll == THE_END_STOP_SCROLL ? 1 : 0;
    return shown;
}

// ---- The player of --start ----

namespace {
struct StartWay {
    std::vector<int> places;  // command indexes of the places to pass, in turn
    size_t passed = 0;        // how many have been passed
    int looked = 0;           // frames the open question has been looked at
    int lastPlaceSeen = -1;
};
StartWay startWay;

// Where the story can go from a command on, following every jump and both ways of every condition.
bool CanReach(int from, int place) {
    const std::vector<ScriptCommand>& commands = scriptPlayer.program.commands;
    std::vector<uint8_t> seen(commands.size(), 0);
    std::vector<int> todo{from};
    while (!todo.empty()) {
        int at = todo.back();
        todo.pop_back();
        if (at < 0 || size_t(at) >= commands.size() || seen[size_t(at)]) continue;
        if (at == place) return true;
        seen[size_t(at)] = 1;
        const ScriptCommand& c = commands[size_t(at)];
        if (c.op == OP_GOTO || c.op == OP_IF) todo.push_back(c.target);
        if (c.op != OP_GOTO && c.op != OP_ROLL) todo.push_back(at + 1);
    }
    return false;
}

// Where the story lands after answering `answer` now: the commands that take no time are followed on a
// copy of the variables (a draw drawn as it would be in this frame) up to the first that holds a frame.
int LandingAfter(int choice, int answer) {
    const ScriptProgram& program = scriptPlayer.program;
    std::vector<int> values = scriptPlayer.values;
    auto get = [&](const ScriptValue& v) { return v.variable < 0 ? v.number : values[size_t(v.variable)]; };
    values[size_t(program.commands[size_t(choice)].variable)] = answer + 1;
    int pc = choice + 1;
    for (int steps = 0; steps < MAX_LINES_PER_FRAME && size_t(pc) < program.commands.size(); ++steps) {
        const ScriptCommand& c = program.commands[size_t(pc)];
        switch (c.op) {
            case OP_SET: values[size_t(c.variable)] = get(c.value); break;
            case OP_ADD: {  // as Put keeps it, within a billion either way
                long long sum = (long long)values[size_t(c.variable)] + get(c.value);
                values[size_t(c.variable)] = int(std::clamp(sum, -1000000000LL, 1000000000LL));
                break;
            }
            case OP_DRAW: {
                size_t taken = scriptPlayer.drawsTaken;
                values[size_t(c.variable)] = DrawNumber(c.value.number);
                scriptPlayer.drawsTaken = taken;
                break;
            }
            case OP_GOTO: pc = c.target; continue;
            case OP_IF:
                if (Holds(c.comparison, values[size_t(c.variable)], get(c.value))) {
                    pc = c.target;
                    continue;
                }
                break;
            case OP_SCENE: case OP_WAIT: case OP_WAIT_KEY: case OP_FADE: case OP_CROSSFADE: case OP_SAY:
            case OP_CHOICE: case OP_ROLL:
                return pc;
            default: break;  // set-up commands take no time and decide nothing
        }
        ++pc;
    }
    return pc;
}
}  // namespace

int ScriptStartBegin(const std::string& path, std::string* why) {
    startWay = StartWay{};
    if (path.empty()) return 1;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        int place = FindPlace(scriptPlayer.program, name);
        if (place < 0) {
            *why = "the story script has no scene or label \"" + name + "\"";
            return 0;
        }
        startWay.places.push_back(place);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return 1;
}

int ScriptStartReached() {
    // The place passed last, or the one the story stands on (the first scene, before its first frame).
    int at = extras.lastPlace;
    bool next = startWay.passed < startWay.places.size();
    if (next && scriptPlayer.pc == startWay.places[startWay.passed]) at = scriptPlayer.pc;
    if (at != startWay.lastPlaceSeen) {
        startWay.lastPlaceSeen = at;
        if (next && at == startWay.places[startWay.passed]) startWay.passed++;
    }
    return startWay.passed == startWay.places.size() ? 1 : 0;
}

uint16_t ScriptStartKeys(int lookFrames) {
    const ScriptPlayer& p = scriptPlayer;
    if (message.keyWait == 1) return KEY_Z;
    if (p.stopped || size_t(p.pc) >= p.program.commands.size()) return 0;
    const ScriptCommand& c = p.program.commands[size_t(p.pc)];
    if (c.op == OP_WAIT_KEY || (c.op == OP_FADE && c.until != WAIT_NO_KEY))
        return c.until == WAIT_SPACE ? KEY_SPACE : KEY_Z;
    if (c.op != OP_CHOICE || !p.choiceOpen) {
        startWay.looked = 0;
        return 0;
    }
    if (startWay.looked++ < lookFrames) return 0;
    int goal = startWay.passed < startWay.places.size() ? startWay.places[startWay.passed] : -1;
    return goal >= 0 && CanReach(LandingAfter(p.pc, p.choiceIndex), goal) ? KEY_SPACE : KEY_DOWN;
}
