// The story script: a story folder's scenes.txt says what happens, scene by scene, in the pieces the
// built-in scenes are made of (set-up, fades, messages, key waits, choices, the staff roll) and decides
// the way with labels, jumps, whole-number variables, conditions and the route draw. The reader turns the
// text into a program of commands; the player runs it one frame at a time. docs/authoring.md is the
// language's reference.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "platform/pointing.h"
#include "platform/window.h"

enum ScriptOp {
    OP_SCENE, OP_LABEL, OP_GOTO, OP_IF, OP_SET, OP_ADD, OP_DRAW,
    OP_LOAD, OP_SHOW, OP_HIDE, OP_PLACE, OP_SPRITE, OP_PALETTE, OP_BLACKOUT, OP_CLEAR_SCREEN,
    OP_SOUND, OP_SONG_LOAD, OP_SONG_PLAY, OP_SONG_STOP, OP_ANIMATE, OP_STILL,
    OP_WAIT, OP_WAIT_KEY, OP_FADE, OP_CROSSFADE, OP_SAY, OP_CHOICE, OP_ROLL,
};

// The four sheets, in the order a script names them.
enum ScriptSheet { SHEET_WINDOW, SHEET_CHARACTER, SHEET_SYSTEM, SHEET_BACKGROUND };

// Palette ranges of a fade: all 256 entries, the scene's 0-239, the title's low 0-206, the caption band
// 207-239, and the outer 0-206 with 241-255.
enum FadeRange { FADE_ALL, FADE_SCENE, FADE_LOW, FADE_BAND, FADE_OUTER };
enum Comparison { CMP_EQ, CMP_NE, CMP_LT, CMP_GT, CMP_LE, CMP_GE };
// A key wait's key: any of the game's keys, or Space alone.
enum WaitKey { WAIT_NO_KEY, WAIT_ANY_KEY, WAIT_SPACE };

// A value: a number, or a variable (index into ScriptProgram::variables).
struct ScriptValue {
    int variable = -1;
    int number = 0;
};

struct ScriptCommand {
    ScriptOp op = OP_LABEL;
    int file = 0, line = 0;       // where it was written (file: index into ScriptProgram::files)
    std::string name;             // scene, label, goto or jump target; picture; song; message; speaker
    std::vector<std::string> messages;  // a choice's answers; the roll's credits and closing line
    int variable = -1;            // set, add, draw, choice, if: the variable
    ScriptValue value;            // set, add; if: the right-hand side; draw: how many
    Comparison comparison = CMP_EQ;
    int target = -1;              // goto, if: the command index of the label
    int sheet = 0;                // load, sprite
    int slot = 0;                 // show, hide, place, sprite, animate, still
    int numbers[4] = {0, 0, 0, 0};  // place: x y; sprite: left top width height; fade/crossfade: step
                                    // frames; wait: frames; animate: width height every; clear: colour
    int fadeIn = 1;               // fade: 1 in, 0 out
    FadeRange range = FADE_ALL;
    WaitKey until = WAIT_NO_KEY;  // fade: ends early on this key; wait: the key waited for
    int all = 0;                  // blackout all
    std::vector<int> cells;       // animate: column, row pairs
};

struct ScriptProblem {
    std::string file;
    int line = 0;
    std::string text;
};

struct ScriptProgram {
    std::vector<std::string> files;  // scenes.txt and what it includes, as named
    std::vector<ScriptCommand> commands;
    std::vector<std::string> variables;
    std::vector<std::pair<std::string, int>> places;  // scene and label names with their command index
    std::vector<ScriptProblem> problems;            // empty: the program can be played
};

// Bounds of what is read: larger scripts are refused with a message.
constexpr size_t SCRIPT_MAX_BYTES = 4u << 20;      // all files together
constexpr int SCRIPT_MAX_INCLUDE_DEPTH = 8;
constexpr int SCRIPT_MAX_FILES = 64;
constexpr size_t SCRIPT_MAX_COMMANDS = 100000;
constexpr size_t SCRIPT_MAX_PROBLEMS = 100;       // reading stops reporting after these
constexpr int SCRIPT_MAX_CHOICES = 4;

// Reads a file of the story folder by name into *text: 1, or 0 with *why.
using ScriptFileReader = std::function<int(const std::string& name, std::string* text, std::string* why)>;
// Reads the script `name` (and what it includes) into *program. 1 when there were no problems.
int ReadScript(const std::string& name, const ScriptFileReader& readFile, ScriptProgram* program);
// Reads scenes.txt of the current data folder. 0 when there is none (*program left empty), 1 when read
// (problems, if any, are in program->problems).
int ReadDataFolderScript(ScriptProgram* program);
// The command index of a scene or label, or -1.
int FindPlace(const ScriptProgram& program, const std::string& name);
// Whether `a COMPARISON b` holds, as `if` decides.
bool ComparisonHolds(Comparison comparison, int a, int b);
// "FILE:LINE: TEXT".
std::string ProblemText(const ScriptProblem& problem);
// The slot a word names: a number 0-255 or one of the story's slot names; -1 for none.
int SlotNamed(const std::string& word);
// The picture file of a name in a script ("stage1" and "stage1.BMP" both give "stage1.BMP").
std::string PictureFileOf(const std::string& name);
// The song file of a name in a script ("koi" and "koi.pmd" both give "koi.pmd").
std::string SongFileOf(const std::string& name);
// The effect slot a word names (0-7 or the effect's file name without ".wav"), or -1.
int EffectNamed(const std::string& word);

// ---- Playing a script (script_play.cpp) ----

// The player's state, one record: where the story is, its variables and the piece under way.
struct ScriptPlayer {
    ScriptProgram program;
    int active = 0;          // a script is being played (else the built-in story plays)
    int pc = 0;              // the command under way or next
    int frameLines = 0;      // commands run in this frame
    int stopped = 0;         // the story stopped on a fault; it stays on its last frame
    std::string stopReason;
    std::vector<int> values;   // the variables, as program.variables
    std::vector<uint8_t> isSet;
    // The piece under way.
    int pieceCount = 0;      // frames of a wait or fade done
    int choiceOpen = 0, choiceIndex = 0, choiceCount = 0;
    int rollFade = 0, rollScroll = 0, rollDone = 0;
    int nameShown = 0;       // a speaker's name is drawn above the message box
    std::vector<uint8_t> nameUnder;  // the window sheet's pixels under it
    // Animations stepped at the end of every frame: slot, sequence, cell size, period.
    struct Animation {
        int slot, width, height, period, stopping;
        int sequence[42];
    };
    std::vector<Animation> animations;
    int cursorSequence[42];  // the choice cursor's cells, from the first at each choice
    // For tools that play every way (the storyboard): each draw takes the next of these numbers (1 to its
    // count) instead of the clock's; past the end, the clock's again. drawsTaken counts the draws made.
    std::vector<int> drawPlan;
    size_t drawsTaken = 0;
    // Called at each draw before it takes its number, with the draw's command index (the variables as they
    // stand then): a tool that decides the draws as they come adds to drawPlan here.
    void (*beforeDraw)(int command) = nullptr;
};
extern ScriptPlayer scriptPlayer;

// Start-up: reads the data folder's scenes.txt. 1 when the story plays from the script (or there is none
// and the built-in story plays); 0 with the problems reported when the script cannot be played.
int LoadStoryScript(Window window);
// Forces the built-in story whatever the folder holds (--builtin-story).
void UseBuiltinStory(int builtin);
// 1 unless the built-in story is forced (a folder with scenes.txt is then played from it).
int StoryScriptChosen();
// One frame of the script.
void RunScriptFrame(Window window);
// Where the story is, for the trace: "FILE:LINE" of the command under way.
std::string ScriptPosition();
// The open choice, for pointing; the last page.
ShownState ScriptShownState();
// Under --watch: scenes.txt or an included file was saved. The new program replaces the old, the story
// goes on from the same scene (from its start); 0 with *why (FILE:LINE: ...) and the old program kept.
int ReloadStoryScript(Window window, std::string* why);
// What the story's text lacks or holds too wide for the script that plays it (FILE:LINE: ...), at most 20.
void CheckScriptText(std::vector<std::string>* findings);
// 1 when a saved file of the data folder (its name there) is the script being played or one it includes.
int IsStoryScriptFile(const std::string& name);
// Starting at a place of the script (--start): PATH is a scene or label, or several separated by "/"
// that the way passes in turn (route:heren/heren-match/ending). 1, or 0 with *why.
int ScriptStartBegin(const std::string& path, std::string* why);
// 1 when the story stands at the path's last place, at a frame boundary.
int ScriptStartReached();
// The keys of the player who plays there: each wait answered on its first frame, each question looked
// at for `lookFrames` and answered with the first answer whose way leads on to the next place.
uint16_t ScriptStartKeys(int lookFrames);
