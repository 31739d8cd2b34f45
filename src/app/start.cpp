// Starting at a scene: a built-in player plays from the title to the scene before the first frame is
// shown, so the scene begins with everything a player would have reached: sheets, palette, song, the
// story's counters and the message window.
#include <cstdio>
#include <cstring>
#include <string>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "story/script.h"
#include "story/story.h"
#include "story/tables.h"
#include "text/text.h"

namespace {
enum SceneKind { SCENE_TITLE, SCENE_OPENING, SCENE_CHOICE, SCENE_ROUTE, SCENE_ROUTE_CHOICE, SCENE_ENDING, SCENE_ROLL,
                 SCENE_SCRIPT };

// The player gives up on a scene it has not reached after this many frames (about half an hour).
constexpr long MAX_FRAMES_TO_SCENE = 100000;
// At a question the player looks at the open answers this many frames before moving the cursor, so a
// scene that begins at a question begins with its answers shown, as a player who starts there sees them.
constexpr int CHOICE_LOOK_FRAMES = 40;
constexpr int ROUTE_CHOICE_OPEN = 4;  // a route's state while its answers are open

struct StartRecord {
    SceneKind kind = SCENE_TITLE;
    int partner = 0;  // the first answer: 0 hiyori, 1 heren, 2 fuuya
    int match = 0;    // the ending after a matching answer at the route's question
    std::string name;
    std::string keysFile;
    int lookedAtChoice = 0;  // frames the open question has been looked at
    bool builtinName = true;  // a scene of the built-in story (else only a place of a story script)
};
StartRecord start;

int ParsePartner(const std::string& text, int* partner) {
    const char* names[] = {"hiyori", "heren", "fuuya"};
    for (int i = 0; i < 3; ++i) {
        if (text == names[i] || text == std::to_string(i)) {
            *partner = i;
            return 1;
        }
    }
    return 0;
}

// "match|miss[:PARTNER]" after "ending:" or "roll:".
int ParseOutcome(const std::string& text, StartRecord* scene) {
    size_t colon = text.find(':');
    std::string outcome = text.substr(0, colon);
    if (outcome != "match" && outcome != "miss") return 0;
    scene->match = outcome == "match";
    return colon == std::string::npos || ParsePartner(text.substr(colon + 1), &scene->partner);
}

// The scene's first frame has come: checked at the frame boundary, before the frame runs.
bool AtScene() {
    switch (start.kind) {
        case SCENE_TITLE: return true;
        case SCENE_OPENING: return story.chapter == 1 && story.openingStep == 0;
        case SCENE_CHOICE: return story.chapter == 1 && story.openingStep == 5 && story.choiceState == 1;
        case SCENE_ROUTE: return story.chapter == FIRST_ROUTE_CHAPTER + start.partner;
        case SCENE_ROUTE_CHOICE:
            return story.chapter == FIRST_ROUTE_CHAPTER + start.partner &&
                   story.routes[start.partner].routeState == ROUTE_CHOICE_OPEN;
        case SCENE_ENDING: return story.chapter == 5 && story.endingStep == 0;
        case SCENE_ROLL: return story.chapter == 5 && story.endingStep == 2;
        case SCENE_SCRIPT: return ScriptStartReached() == 1;
    }
    return true;
}

// The player's keys for the frame about to run, from the state the frame starts with: each wait and
// each question answered on the first frame it can be, one key at a time with a frame between.
uint16_t PlayerKeys() {
    int chapter = story.chapter;
    if (chapter == 0) {
        bool titleTest = story.prologueStep == 1 && story.titleStage >= TITLE_EVENT_COUNT &&
                         story.titleTimer == story.titleDelay;
        return titleTest ? KEY_Z : 0;
    }
    if (message.keyWait == 1) return KEY_Z;
    if (chapter == 1 && story.openingStep == 2) return story.pictureState == 0 ? KEY_SPACE : 0;
    bool choiceOpen = chapter == 1 && story.openingStep == 5 && story.choiceState == 1;
    bool routeChoiceOpen = chapter >= FIRST_ROUTE_CHAPTER && chapter < FIRST_ROUTE_CHAPTER + ROUTE_COUNT &&
                           CurrentStep() == 0 && story.routes[chapter - FIRST_ROUTE_CHAPTER].routeState == ROUTE_CHOICE_OPEN;
    if (!choiceOpen && !routeChoiceOpen) start.lookedAtChoice = 0;
    if ((choiceOpen || routeChoiceOpen) && start.lookedAtChoice++ < CHOICE_LOOK_FRAMES) return 0;
    if (choiceOpen) return story.choiceIndex == start.partner ? KEY_SPACE : KEY_DOWN;
    if (routeChoiceOpen) {
        const StoryState::Route& route = story.routes[chapter - FIRST_ROUTE_CHAPTER];
        int draw = DrawRouteNumber();  // what RouteMain draws if Space is pressed in this frame
        int wanted = start.match ? draw : (draw + 1) % CHOICE_COUNT;
        return route.routeChoice == wanted ? KEY_SPACE : KEY_DOWN;
    }
    if (chapter == 5 && story.endingStep == 1) return story.sequenceState == 0 ? KEY_SPACE : 0;
    return 0;
}

void WriteKeyLine(FILE* file, long frame, uint16_t keys) {
    const char* name = keys == KEY_SPACE ? "space" : keys == KEY_DOWN ? "down" : "z";
    std::fprintf(file, "%ld press %s\n", frame, name);
}
}  // namespace

int SetStartScene(const char* text) {
    StartRecord scene;
    scene.name = text ? text : "";
    std::string s = scene.name;
    size_t colon = s.find(':');
    std::string head = s.substr(0, colon), rest = colon == std::string::npos ? "" : s.substr(colon + 1);
    bool hasRest = colon != std::string::npos;
    bool ok = false;
    if (head == "title" || head == "opening" || head == "choice") {
        scene.kind = head == "title" ? SCENE_TITLE : head == "opening" ? SCENE_OPENING : SCENE_CHOICE;
        ok = !hasRest;
    } else if (head == "route" || head == "route-choice") {
        scene.kind = head == "route" ? SCENE_ROUTE : SCENE_ROUTE_CHOICE;
        ok = hasRest && ParsePartner(rest, &scene.partner);
    } else if (head == "ending") {
        scene.kind = SCENE_ENDING;
        ok = hasRest && ParseOutcome(rest, &scene);
    } else if (head == "roll") {
        scene.kind = SCENE_ROLL;
        scene.match = 1;
        ok = !hasRest || ParseOutcome(rest, &scene);
    }
    if (!ok) {
        // Not a scene of the built-in story: perhaps a place of a story script (CheckStartScene).
        if (s.empty() || s.size() > 1000) return 0;
        scene.kind = SCENE_SCRIPT;
        scene.builtinName = false;
    }
    scene.keysFile = start.keysFile;
    start = scene;
    return 1;
}

int CheckStartScene(std::string* why) {
    if (start.name.empty()) return 1;
    ScriptProgram program;
    if (!StoryScriptChosen() || !ReadDataFolderScript(&program)) {
        if (start.builtinName) return 1;
        *why = "the data folder has no story script, and the built-in story has no such scene";
        return 0;
    }
    if (!program.problems.empty()) return 1;  // the game says what is wrong with the script at its start
    size_t from = 0;
    for (;;) {
        size_t slash = start.name.find('/', from);
        std::string place = start.name.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (FindPlace(program, place) < 0) {
            *why = "the story script has no scene or label \"" + place + "\"";
            return 0;
        }
        if (slash == std::string::npos) return 1;
        from = slash + 1;
    }
}

int SetStartKeysFile(const char* path) {
    start.keysFile = path ? path : "";
    return 1;
}

int RunUnshownFrame(Window window) {
    MusicTick();
    RunChapter(window);
    DrawBaseLayer(window);
    DrawSprites(window);
    FlipPage(window);
    FrameShown();
    return display.device ? 1 : 0;  // 0: a fatal display error on the way
}

int ReachStartScene(Window window) {
    if (scriptPlayer.active && start.name.empty() && start.keysFile.empty()) return 1;
    if (!scriptPlayer.active && start.kind == SCENE_TITLE && start.keysFile.empty()) return 1;
    if (scriptPlayer.active) {
        std::string why;
        if (!ScriptStartBegin(start.name, &why)) {
            std::fprintf(stderr, "kirake: unknown scene \"%s\": %s\n", start.name.c_str(), why.c_str());
            return 0;
        }
        start.kind = SCENE_SCRIPT;
    } else if (!start.builtinName) {
        std::fprintf(stderr, "kirake: unknown scene \"%s\" (the data folder has no story script)\n", start.name.c_str());
        return 0;
    }
    FILE* keys = nullptr;
    if (!start.keysFile.empty()) {
        keys = std::fopen(start.keysFile.c_str(), "wb");
        if (!keys) {
            std::fprintf(stderr, "kirake: cannot write %s\n", start.keysFile.c_str());
            return 0;
        }
    }
    BeginUnshownFrames();
    uint16_t lastTap = 0;
    long frame = 0;
    for (; !AtScene() && frame < MAX_FRAMES_TO_SCENE; ++frame) {
        uint16_t tap = lastTap ? 0 : start.kind == SCENE_SCRIPT ? ScriptStartKeys(CHOICE_LOOK_FRAMES) : PlayerKeys();
        keysHeld = tap;
        keysPressed = tap;
        lastTap = tap;
        if (tap && keys) WriteKeyLine(keys, frame, tap);
        if (!RunUnshownFrame(window)) break;
    }
    EndUnshownFrames();
    ForgetTracePlays();
    bool reached = AtScene();
    if (keys) {
        std::fprintf(keys, "# %s begins at frame %ld\n", start.name.c_str(), frame);
        if (std::fclose(keys) != 0) reached = false;
    }
    if (!reached)
        std::fprintf(stderr, "kirake: the scene \"%s\" was not reached after %ld frames\n", start.name.c_str(),
                     frame);
    return reached ? 1 : 0;
}
