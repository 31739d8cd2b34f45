// kirake-storyboard: every path of the story played on the headless backend, every page and scene captured,
// and one HTML page to proofread them with the checker's findings beside them.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>
#include "platform/platform.h"
#include "sound/sound.h"
#include "story/script.h"

// What the command line asks of the players.
struct BoardOptions {
    bool builtin = false;      // play the built-in story even where the folder has scenes.txt
    long frameLimit = 40000;   // a path not ended by then is stuck
    int loopLimit = 3;         // a script's path meets one choice or draw at most this many times
    int pathLimit = 200;       // a script's paths played at most
};

// A path through the built-in story: the answer at the first choice, the answer at the route's question
// and whether the draw matched it.
struct StoryPath {
    int firstAnswer = -1;
    int routeAnswer = -1;
    int match = -1;  // 1 match, 0 miss
};
constexpr int PATH_COUNT = 3 * 3 * 2;

// One moment a player looks at: a message page waiting for a key, or a scene waiting for the player.
struct Moment {
    std::string kind;     // "page" or "scene"
    // Scenes of the built-in story: title, picture, choice, route-choice, ending, roll, frames (still going
    // at the frame limit). Of a script: wait, choice, roll, and where a path ended otherwise: end (past the
    // last line), stopped, frames (the limit).
    std::string scene;
    std::string message;  // pages: the message's id or name
    int page = 0;         // pages: 1 for the first page of the message
    int chapter = 0, step = 0;  // the built-in story's place
    int command = -1;     // a script's place: the command under way
    int answer = -1, answers = 0;  // a script's choice: the answer highlighted (from 0) and how many
    long frame = 0;       // the frame shown when it was captured
    std::string song;     // the song file playing, or empty
    int songStep = -1;
    std::string picture;  // the PNG file in the output folder
};

// A decision on a script's path: the answer at a choice, or the outcome of a draw. Outcomes that lead the
// story on the same way (the same next command, the variables it may still read the same) are one.
struct ScriptDecision {
    int command = -1;
    int taken = 0;                    // the option taken
    std::vector<std::string> labels;  // each option in words: the answer's text, or "hope 2 or 3"
};
struct ScriptPath {
    std::vector<ScriptDecision> decisions;
    std::string end;  // roll, end, loop, frames, stopped, closed (the game closed at once)
    std::string why;  // loop, frames, stopped: what happened where
    long frames = 0;
};

// What the players played: the moments of each path in play order, and the paths.
struct PlayedStory {
    bool script = false;
    std::vector<std::vector<Moment>> moments;
    std::vector<StoryPath> paths;            // the built-in story
    ScriptProgram program;                   // a script story
    std::vector<ScriptPath> scriptPaths;
    bool capped = false;                     // more paths were left than the limit allowed
    long frameLimit = 0;                     // the frames a path was played at most
    std::vector<std::string> problems;       // a script that cannot be played: its problems
};
// A path ended where it should: at the staff roll, or (a script) past its last line or round a loop.
bool PathFinished(const PlayedStory& story, size_t path);
// A path was still going when it reached the frame limit (--frames).
bool PathAtFrameLimit(const PlayedStory& story, size_t path);

// One line of a page as the message window lays it out.
struct PageLine {
    std::string text;
    int width = 0;        // pixels by the game's width table
    int checkerPage = 0;  // the page and line as the checker counts them (pages end only at "<*")
    int checkerLine = 0;
};
struct MessagePage {
    std::vector<PageLine> lines;
};
// The pages of a message (a one-character id, or a name marked "tx{NAME}") as the game types them (a "</"
// on the fourth line also turns the page). Empty when the game finds no marker for it.
std::vector<MessagePage> LayOutMessage(const std::vector<uint8_t>& script, const std::string& key);

// Plays every path of the story on the data folder, capturing into `out`: the built-in story's 18 paths,
// or every path of the folder's scenes.txt. 1, or 0 with a message in *error.
int PlayEveryPath(const std::string& dataDir, const std::string& out, const BoardOptions& options,
                  PlayedStory* played, std::string* error);

// ---- The players' shared parts (capture.cpp) ----
struct SongFile {
    std::string name;
    SongHeader header;
};
// The compiled songs of a folder, to name the one playing.
std::vector<SongFile> SongsIn(const std::string& dir);
// The file of the song playing ("" for none, "a song" for one not among `songs`).
std::string SongPlaying(const std::vector<SongFile>& songs);
// The page on the screen written once to OUT/pages/ under a name made from its contents; that name.
std::string CapturePicture(const std::string& out);
// One run of the game in this process, from a fresh start to its close; 0 when the platform cannot start.
int RunGame(const PlatformOptions& options, std::string* error);
// The platform options of a player's run: headless, silent, at most `frames` frames.
PlatformOptions PlayerOptions(long frames);
// Every path of the script in the working folder (the data folder), one run of the game each, found
// depth first over its decisions. (play_script.cpp)
int PlayScriptPaths(const std::string& out, const BoardOptions& options, PlayedStory* played, std::string* error);

// A finding of the checker: its file, line (0 when none) and text, and what it concerns.
struct Finding {
    std::string file;
    int line = 0;
    std::string text;
    std::string message;  // the message it names ("" for none)
    int checkerPage = 0, checkerLine = 0;
    bool note = false;    // "note: ...": worth knowing, not a fault
};
// Runs kirake-check on the data folder (`checker` is its path) and parses its report lines, both
// "FILE: message" and "FILE:LINE: message". 1, or 0 when the checker could not be run.
int RunChecker(const std::string& checker, const std::string& dataDir, std::vector<Finding>* findings);
// Parses one report line; 0 when it is not one.
int ParseFinding(const std::string& text, Finding* finding);

// ---- The page (board.cpp, with the words for each story in describe.cpp) ----
// One card: a distinct moment, with the paths it lies on and what the page says of it.
struct BoardItem {
    Moment moment;
    std::set<int> paths;  // indexes into the path list
    long order = 0;       // the order first seen
    int section = 0;      // index into BoardPage::sections
    std::string title;    // the heading (HTML)
    std::string place;    // a script's place: "scenes.txt:12 · teacher" (text)
    std::string placeFile;
    int placeLine = 0;
    std::string pathsText;  // the paths it lies on, in words (text)
};
struct BoardSection {
    std::string id, name;
};
struct BoardPage {
    std::string intro;                  // what was played, in a sentence (text)
    std::vector<BoardSection> sections;
    std::vector<BoardItem> items;       // in the page's order
    int pathCount = 0;
    std::vector<std::string> notes;     // paths that stopped, loops, the limit of paths (text)
    std::vector<std::string> pathList;  // a script's paths, numbered from 1 (text)
};
// One item per distinct moment (the same kind and place showing the same picture), in the order seen.
std::vector<BoardItem> GatherItems(const std::vector<std::vector<Moment>>& moments);
// The built-in story's page: by chapter, the scenes named after its answers.
BoardPage DescribeBuiltin(const PlayedStory& played);
// A script's page: by scene, each moment labelled by its place, the paths numbered.
BoardPage DescribeScript(const PlayedStory& played);

// Text made safe in HTML.
std::string HtmlEscape(const std::string& text);
// Writes out/index.html and counts what is on it into *stats. 1, or 0 with a message in *error.
struct BoardStats {
    int items = 0, pages = 0, scenes = 0, findings = 0, overlong = 0;  // findings: not counting notes
};
int WriteBoard(const std::string& out, const std::string& dataDir, const BoardPage& page,
               const std::vector<uint8_t>& script, const std::vector<Finding>& findings, BoardStats* stats,
               std::string* error);
