// Playing every path of the built-in story: one run of the game on the headless backend per path, one
// after the other in this process, each from a fresh start and driven from the story's hook before each
// scene with that path's answers. Every path writes the moments it saw, in play order, to a file of its
// own; the pictures are written once, named by their contents. A folder with a story script is played by
// play_script.cpp instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "app/app.h"
#include "story/random.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "app/hooks.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "story/story.h"
#include "story/tables.h"
#include "storyboard.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

constexpr long STALL_FRAMES = 3000;  // and so is one that shows nothing new for this long
constexpr int KEY_WAIT_SLOT = 4;
constexpr int ROLL_CAPTURE_SCROLL = 300;  // several credit lines are up by then
constexpr int TITLE_FADE_DONE = 91;

struct Player {
    std::string out, pathDir;
    StoryPath answers;  // what this run answers at each decision
    StoryPath path;     // the decisions reached so far (-1: not yet)
    bool ended = false;
    std::vector<Moment> moments;
    std::vector<SongFile> songs;
    uint16_t lastTap = 0;
    int lastChapter = -1, lastStep = -1, stepFrames = 0;
    char message = 0;  // the message being typed
    int pagesInMessage = 0;
    int movesLeft = -1;
    bool captured = false;  // this step's scene
    long lastProgress = 0;  // the frame of the last capture or change of step
    long frameLimit = 0;
};
Player player;

void Capture(const std::string& kind, const std::string& scene, char id, int page) {
    Moment m;
    m.kind = kind;
    m.scene = scene;
    if (id) m.message = std::string(1, id);
    m.page = page;
    m.chapter = story.chapter;
    m.step = CurrentStep();
    m.frame = PlatformFrameNumber() - 1;
    m.song = SongPlaying(player.songs);
    m.songStep = music.songStep;
    m.picture = CapturePicture(player.out);
    player.moments.push_back(m);
    player.lastProgress = PlatformFrameNumber();
}

// The message the current scene types, from the story's state.
char CurrentMessage() {
    int chapter = story.chapter, step = CurrentStep();
    if (chapter == 1) return step == 1 ? '0' : step == 3 ? '1' : step == 4 ? '2' : step == 5 ? '3' : 0;
    if (chapter >= FIRST_ROUTE_CHAPTER && chapter < FIRST_ROUTE_CHAPTER + ROUTE_COUNT) {
        const RouteRecord& r = routeRecords[chapter - FIRST_ROUTE_CHAPTER];
        if (step == 1) return char(r.matchMessage);
        if (step == 2) return char(r.missMessage);
        int state = story.routes[chapter - FIRST_ROUTE_CHAPTER].routeState;
        return state == 0 ? char(r.openingMessage) : state == 2 ? char(r.stageMessage)
             : state == 3 ? char(r.questionMessage) : 0;
    }
    return 0;
}

// The file of a path; a decision not reached (a path stuck before it) is "x".
std::string PathFile(const std::string& dir, int firstAnswer, int routeAnswer, int match) {
    auto part = [](int value) { return value < 0 ? std::string("x") : std::to_string(value); };
    return dir + "/path-" + part(firstAnswer) + "-" + part(routeAnswer) + "-" + part(match) + ".tsv";
}

void WritePath() {
    FILE* f = std::fopen(PathFile(player.pathDir, player.path.firstAnswer, player.path.routeAnswer,
                                  player.path.match).c_str(), "w");
    if (!f) return;
    for (const Moment& m : player.moments)
        std::fprintf(f, "%s\t%s\t%d\t%d\t%d\t%d\t%ld\t%s\t%d\t%s\n", m.kind.c_str(), m.scene.c_str(),
                     m.message.empty() ? 0 : int(uint8_t(m.message[0])), m.page, m.chapter, m.step, m.frame, m.song.c_str(), m.songStep,
                     m.picture.c_str());
    std::fclose(f);
}

void EndPath(Window window) {
    if (player.ended) return;
    player.ended = true;
    WritePath();
    PostClose(window);
}

uint16_t Decide(Window window, int inStep) {
    int chapter = story.chapter, step = CurrentStep();
    if (message.keyWait == 1 && sprites[KEY_WAIT_SLOT].active == 1) {
        Capture("page", "", CurrentMessage(), ++player.pagesInMessage);
        return KEY_Z;
    }
    if (chapter == 0 && step == 1) {
        if (story.titleStage < TITLE_EVENT_COUNT || story.titleFadeCount < TITLE_FADE_DONE) return 0;
        Capture("scene", "title", 0, 0);
        return KEY_C;
    }
    if (chapter == 1 && step == 2 && story.pictureState == 0 && inStep >= 1) {
        Capture("scene", "picture", 0, 0);
        return KEY_SPACE;
    }
    if (chapter == 1 && step == 5 && story.choiceState == 1) {
        player.path.firstAnswer = player.answers.firstAnswer;
        if (player.movesLeft < 0) player.movesLeft = player.path.firstAnswer;
        if (player.movesLeft > 0) return player.movesLeft--, KEY_DOWN;
        Capture("scene", "choice", 0, 0);
        return KEY_SPACE;
    }
    if (chapter >= FIRST_ROUTE_CHAPTER && chapter < FIRST_ROUTE_CHAPTER + ROUTE_COUNT && step == 0 &&
        story.routes[chapter - FIRST_ROUTE_CHAPTER].routeState == 4) {
        player.path.routeAnswer = player.answers.routeAnswer;
        player.path.match = player.answers.match;
        if (player.movesLeft < 0) player.movesLeft = player.path.routeAnswer;
        if (player.movesLeft > 0) return player.movesLeft--, KEY_DOWN;
        if (!player.captured) Capture("scene", "route-choice", 0, 0), player.captured = true;
        // The draw the route will make on this frame: wait for one that gives this path's outcome.
        StorySeed(unsigned(GetCalendarTime()));
        bool match = StoryRandom() % CHOICE_COUNT == player.path.routeAnswer;
        return match == (player.path.match == 1) ? KEY_SPACE : 0;
    }
    if (chapter == 5 && step == 1 && story.sequenceState == 0 && inStep >= 1) {
        Capture("scene", "ending", 0, 0);
        return KEY_SPACE;
    }
    if (chapter == 5 && step == 2 && story.rollScroll == ROLL_CAPTURE_SCROLL && !player.captured) {
        player.captured = true;
        Capture("scene", "roll", 0, 0);
        EndPath(window);
    }
    return 0;
}

void Hook(Window window) {
    int chapter = story.chapter, step = CurrentStep();
    if (chapter != player.lastChapter || step != player.lastStep) {
        player.lastChapter = chapter;
        player.lastStep = step;
        player.stepFrames = 0;
        player.captured = false;
        player.movesLeft = -1;
        player.lastProgress = PlatformFrameNumber();
    }
    int inStep = player.stepFrames++;
    char id = CurrentMessage();
    if (message.messageFound != 1 || id != player.message) player.pagesInMessage = 0;
    player.message = id;
    uint16_t tap = 0;
    if (!player.lastTap) tap = Decide(window, inStep);  // a frame without keys after every tap
    keysHeld = tap;
    keysPressed = tap;
    player.lastTap = tap;
    long frame = PlatformFrameNumber();
    if (frame >= player.frameLimit - 1 && !player.ended) Capture("scene", "frames", 0, 0);  // said on the page
    if (frame >= player.frameLimit - 1 || frame - player.lastProgress > STALL_FRAMES) EndPath(window);  // stuck
}

std::vector<Moment> ReadPath(const std::string& file) {
    std::vector<Moment> moments;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        while (f.size() < 10) f.push_back("");
        Moment m;
        m.kind = f[0];
        m.scene = f[1];
        if (int id = std::atoi(f[2].c_str())) m.message = std::string(1, char(id));
        m.page = std::atoi(f[3].c_str());
        m.chapter = std::atoi(f[4].c_str());
        m.step = std::atoi(f[5].c_str());
        m.frame = std::atol(f[6].c_str());
        m.song = f[7];
        m.songStep = std::atoi(f[8].c_str());
        m.picture = f[9];
        moments.push_back(m);
    }
    return moments;
}

// One run of the game from the title, giving these answers; 0 when the platform cannot start.
int PlayPath(const StoryPath& answers, const PlatformOptions& options, std::string* error) {
    Player fresh;
    fresh.out = player.out;
    fresh.pathDir = player.pathDir;
    fresh.songs = player.songs;
    fresh.frameLimit = player.frameLimit;
    fresh.answers = answers;
    player = fresh;
    hooks.beforeScene = Hook;
    return RunGame(options, error);
}

// The built-in story's 18 paths, in the working folder (the data folder).
int PlayBuiltinPaths(const std::string& out, long frameLimit, PlayedStory* played, std::string* error) {
    std::error_code ec;
    std::string pathDir = out + "/.paths";
    fs::remove_all(pathDir, ec);
    fs::create_directories(pathDir, ec);
    if (ec) {
        *error = "cannot write to " + out;
        return 0;
    }
    player = Player{};
    player.out = out;
    player.pathDir = pathDir;
    player.songs = SongsIn(".");
    player.frameLimit = frameLimit;
    PlatformOptions options = PlayerOptions(frameLimit);
    // A path that stopped before a decision stands for every path through it, and is played once.
    auto done = [&](int a, int r, int match) {
        return fs::exists(PathFile(pathDir, a, r, match)) || fs::exists(PathFile(pathDir, a, r, -1)) ||
               fs::exists(PathFile(pathDir, a, -1, -1)) || fs::exists(PathFile(pathDir, -1, -1, -1));
    };
    for (int a = 0; a < 3; ++a)
        for (int r = 0; r < 3; ++r)
            for (int match : {1, 0})
                if (!done(a, r, match) && !PlayPath(StoryPath{a, r, match}, options, error)) return 0;
    for (int a = 0; a < 3; ++a)
        for (int r = 0; r < 3; ++r)
            for (int match : {1, 0}) {
                played->paths.push_back(StoryPath{a, r, match});
                std::string file = PathFile(pathDir, a, r, match);
                if (!fs::exists(file)) file = PathFile(pathDir, a, r, -1);
                if (!fs::exists(file)) file = PathFile(pathDir, a, -1, -1);
                if (!fs::exists(file)) file = PathFile(pathDir, -1, -1, -1);
                played->moments.push_back(ReadPath(file));
            }
    fs::remove_all(pathDir, ec);
    return 1;
}

}  // namespace

bool PathAtFrameLimit(const PlayedStory& story, size_t path) {
    if (story.script) return story.scriptPaths[path].end == "frames";
    const std::vector<Moment>& moments = story.moments[path];
    return !moments.empty() && moments.back().scene == "frames";
}

bool PathFinished(const PlayedStory& story, size_t path) {
    if (story.script) {
        const std::string& end = story.scriptPaths[path].end;
        return end == "roll" || end == "end" || end == "loop";
    }
    const std::vector<Moment>& moments = story.moments[path];
    return !moments.empty() && moments.back().scene == "roll";
}

int PlayEveryPath(const std::string& dataDir, const std::string& out, const BoardOptions& options,
                  PlayedStory* played, std::string* error) {
    std::error_code ec;
    // Pictures of an earlier board go: the names are contents, so old ones would only pile up.
    for (const auto& entry : fs::directory_iterator(out + "/pages", ec))
        if (entry.path().extension() == ".png") fs::remove(entry.path(), ec);
    ec.clear();
    fs::create_directories(out + "/pages", ec);
    if (ec) {
        *error = "cannot write to " + out;
        return 0;
    }
    fs::path cwd = fs::current_path(ec);
    fs::current_path(dataDir, ec);
    if (ec) {
        *error = "cannot enter the data folder " + dataDir;
        return 0;
    }
    *played = PlayedStory{};
    played->frameLimit = options.frameLimit;
    UseBuiltinStory(options.builtin ? 1 : 0);
    // The game plays scenes.txt where there is one (and data.txt beside it), as it decides at start.
    ScriptProgram program;
    played->script = !options.builtin && ReadDataFolderScript(&program);
    int ok = 1;
    if (played->script && !program.problems.empty()) {
        for (const ScriptProblem& problem : program.problems) played->problems.push_back(ProblemText(problem));
    } else {
        ok = played->script ? PlayScriptPaths(out, options, played, error)
                            : PlayBuiltinPaths(out, options.frameLimit, played, error);
    }
    hooks.beforeScene = nullptr;
    fs::current_path(cwd, ec);  // back where we were (the paths given are absolute anyway)
    return ok;
}
