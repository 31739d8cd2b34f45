// kirake-storyboard: every path of the story played on the headless backend, every page and scene captured,
// and one HTML page to proofread them with the checker's findings beside them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A path through the story: the answer at the first choice, the answer at the route's question and
// whether the draw matched it.
struct StoryPath {
    int firstAnswer = -1;
    int routeAnswer = -1;
    int match = -1;  // 1 match, 0 miss
};
constexpr int PATH_COUNT = 3 * 3 * 2;

// One moment a player looks at: a message page waiting for a key, or a scene waiting for the player.
struct Moment {
    std::string kind;     // "page" or "scene"
    std::string scene;    // pages: empty; scenes: title, picture, choice, route-choice, ending, roll
    char messageId = 0;   // pages
    int page = 0;         // pages: 1 for the first page of the message
    int chapter = 0, step = 0;
    long frame = 0;       // the frame shown when it was captured
    std::string song;     // the song file playing, or empty
    int songStep = -1;
    std::string picture;  // the PNG file in the output folder
};

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
// The pages of a message as the game types them (a "</" on the fourth line also turns the page).
// Empty when the game finds no marker for the id.
std::vector<MessagePage> LayOutMessage(const std::vector<uint8_t>& script, char id);

// Plays every path of the story on the data folder, capturing into `out`. Each path's moments in play
// order, in the order first answer, route answer, match before miss. 1, or 0 with a message in *error.
int PlayEveryPath(const std::string& dataDir, const std::string& out, std::vector<StoryPath>* paths,
                  std::vector<std::vector<Moment>>* moments, std::string* error);

// A finding of the checker: its file, line (0 when none) and text, and what it concerns.
struct Finding {
    std::string file;
    int line = 0;
    std::string text;
    char messageId = 0;  // 0: not a message
    int checkerPage = 0, checkerLine = 0;
};
// Runs kirake-check on the data folder (`checker` is its path) and parses its report lines, both
// "FILE: message" and "FILE:LINE: message". 1, or 0 when the checker could not be run.
int RunChecker(const std::string& checker, const std::string& dataDir, std::vector<Finding>* findings);
// Parses one report line; 0 when it is not one.
int ParseFinding(const std::string& text, Finding* finding);

// Writes out/index.html and counts what is on it into *stats. 1, or 0 with a message in *error.
struct BoardStats {
    int items = 0, pages = 0, scenes = 0, findings = 0, overlong = 0;
};
int WriteBoard(const std::string& out, const std::string& dataDir, const std::vector<StoryPath>& paths,
               const std::vector<std::vector<Moment>>& moments, const std::vector<uint8_t>& script,
               const std::vector<Finding>& findings, BoardStats* stats, std::string* error);
