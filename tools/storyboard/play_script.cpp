// Playing every path of a story script. A path is the options taken at its decisions: each answer of a
// choice, each outcome of a draw. The paths are found depth first: each is played from the title in a run
// of its own, taking the options of the path before it up to the last decision that had an option left,
// that decision's next option, and the first option at every decision after. Outcomes of a draw that lead
// the story on alike (to the same command, with the same values in every variable that may still be read
// there) are taken once. A choice or draw met more than `loopLimit` times on one path ends it (a loop
// followed that often), as does the frame limit; the number of paths is bounded too.
#include <algorithm>
#include <cstdio>
#include <map>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "app/hooks.h"
#include "platform/platform.h"
#include "story/script.h"
#include "storyboard.h"
#include "text/text.h"

namespace {

constexpr int KEY_WAIT_SLOT = 4;
constexpr int ROLL_CAPTURE_SCROLL = 300;  // several credit lines are up by then (as in the built-in story)
constexpr int FOLLOW_LIMIT = 10000;       // lines followed after a draw to see where it leads

struct ScriptRun {
    std::string out;
    std::vector<SongFile> songs;
    BoardOptions options;
    PlayedStory* played = nullptr;
    std::vector<int> prefix;   // the options to take at the first decisions
    ScriptPath path;
    std::vector<Moment> moments;
    std::map<int, int> meetings;  // choice and draw commands: how often met on this path
    bool ended = false;
    std::string pendingWhy;    // a draw came round too often: the path ends at the next frame
    uint16_t lastTap = 0;
    int choiceWanted = -1;     // the answer sought at the open choice (-1: none open yet)
    int sayCommand = -1, pagesInMessage = 0;
};
ScriptRun run;

const ScriptProgram& Program() { return scriptPlayer.program; }

std::string Where(int command) {
    const ScriptProgram& program = Program();
    if (command < 0 || size_t(command) >= program.commands.size()) return "the end of the script";
    const ScriptCommand& c = program.commands[size_t(command)];
    std::string file = size_t(c.file) < program.files.size() ? program.files[size_t(c.file)] : "scenes.txt";
    return file + ":" + std::to_string(c.line);
}

void Capture(const std::string& kind, const std::string& scene, int answer = -1, int answers = 0) {
    const ScriptPlayer& p = scriptPlayer;
    Moment m;
    m.kind = kind;
    m.scene = scene;
    m.command = p.pc;
    if (kind == "page") {
        const ScriptCommand& c = p.program.commands[size_t(p.pc)];
        m.message = c.op == OP_SAY ? c.name : "";
        m.page = ++run.pagesInMessage;
    }
    m.answer = answer;
    m.answers = answers;
    m.frame = PlatformFrameNumber() - 1;
    m.song = SongPlaying(run.songs);
    m.songStep = music.songStep;
    m.picture = CapturePicture(run.out);
    run.moments.push_back(m);
}

void End(Window window, const std::string& end, const std::string& why) {
    run.path.end = end;
    run.path.why = why;
    run.path.frames = PlatformFrameNumber();
    run.ended = true;
    PostClose(window);
}

// The option to take at the next decision, which has `options`.
int NextOption(int options) {
    size_t k = run.path.decisions.size();
    int taken = k < run.prefix.size() ? run.prefix[k] : 0;
    return std::clamp(taken, 0, options - 1);
}

// 1 when the choice or draw may be met once more on this path.
int Meet(int command) { return ++run.meetings[command] <= run.options.loopLimit ? 1 : 0; }

std::string LoopWhy(const char* what, int command) {
    int times = run.options.loopLimit;
    const char* suffix = (times + 1) % 100 / 10 == 1 ? "th" : (times + 1) % 10 == 1 ? "st" : (times + 1) % 10 == 2 ? "nd"
                       : (times + 1) % 10 == 3 ? "rd" : "th";
    return std::string("the ") + what + " at " + Where(command) + " came round a " + std::to_string(times + 1) +
           suffix + " time: the loop was followed " + std::to_string(times) + (times == 1 ? " time" : " times");
}

// ---- Where the outcomes of a draw lead ----

// The variables a draw's outcome changed, over the player's values: variable, value.
using Changes = std::map<int, int>;

int ValueOf(const Changes& changes, int variable) {
    auto found = changes.find(variable);
    if (found != changes.end()) return found->second;
    const std::vector<int>& values = scriptPlayer.values;
    return variable >= 0 && size_t(variable) < values.size() ? values[size_t(variable)] : 0;
}

// The command the story comes to after `from`, following the commands that only jump and count (labels,
// jumps, conditions, set, add) with the values changed as *changes says: the first command that does
// anything else.
int Follow(int from, Changes* changes) {
    const std::vector<ScriptCommand>& commands = Program().commands;
    auto get = [&](const ScriptValue& v) { return v.variable < 0 ? v.number : ValueOf(*changes, v.variable); };
    auto put = [&](int variable, long long value) {
        const long long limit = 1000000000;
        (*changes)[variable] = int(std::clamp(value, -limit, limit));
    };
    int pc = from;
    for (int steps = 0; steps < FOLLOW_LIMIT && pc >= 0 && size_t(pc) < commands.size(); ++steps) {
        const ScriptCommand& c = commands[size_t(pc)];
        switch (c.op) {
            case OP_LABEL: break;
            case OP_SET: put(c.variable, get(c.value)); break;
            case OP_ADD: put(c.variable, (long long)ValueOf(*changes, c.variable) + get(c.value)); break;
            case OP_GOTO: pc = c.target; continue;
            case OP_IF:
                if (ComparisonHolds(c.comparison, ValueOf(*changes, c.variable), get(c.value))) {
                    pc = c.target;
                    continue;
                }
                break;
            default: return pc;
        }
        ++pc;
    }
    return pc;
}

// Whether the story may read `variable` from command `from` on before it sets it again (following every
// jump and both ways of every condition).
bool MayRead(int from, int variable) {
    const std::vector<ScriptCommand>& commands = Program().commands;
    std::vector<uint8_t> seen(commands.size(), 0);
    std::vector<int> todo{from};
    while (!todo.empty()) {
        int at = todo.back();
        todo.pop_back();
        if (at < 0 || size_t(at) >= commands.size() || seen[size_t(at)]) continue;
        seen[size_t(at)] = 1;
        const ScriptCommand& c = commands[size_t(at)];
        bool reads = c.value.variable == variable && (c.op == OP_IF || c.op == OP_SET || c.op == OP_ADD);
        if (reads || (c.variable == variable && (c.op == OP_IF || c.op == OP_ADD))) return true;
        if (c.variable == variable && (c.op == OP_SET || c.op == OP_DRAW || c.op == OP_CHOICE)) continue;
        if (c.op == OP_GOTO || c.op == OP_IF) todo.push_back(c.target);
        if (c.op != OP_GOTO && c.op != OP_ROLL) todo.push_back(at + 1);
    }
    return false;
}

// The outcomes of the draw at `command` (1 to count), in classes that lead the story on alike.
std::vector<std::vector<int>> DrawClasses(int command, int count) {
    const ScriptCommand& draw = Program().commands[size_t(command)];
    struct Landing {
        int pc;
        Changes changes;
    };
    std::vector<Landing> firsts;
    std::vector<std::vector<int>> classes;
    std::map<std::pair<int, int>, bool> live;  // (command, variable): may be read there
    auto alike = [&](const Landing& a, const Landing& b) {
        if (a.pc != b.pc) return false;
        for (const Changes* changes : {&a.changes, &b.changes})
            for (const auto& [variable, value] : *changes) {
                if (ValueOf(a.changes, variable) == ValueOf(b.changes, variable)) continue;
                auto key = std::make_pair(a.pc, variable);
                auto found = live.find(key);
                if (found == live.end()) found = live.emplace(key, MayRead(a.pc, variable)).first;
                if (found->second) return false;
            }
        return true;
    };
    for (int number = 1; number <= count; ++number) {
        Landing landing{0, {{draw.variable, number}}};
        landing.pc = Follow(command + 1, &landing.changes);
        size_t k = 0;
        while (k < firsts.size() && !alike(firsts[k], landing)) ++k;
        if (k == firsts.size()) {
            firsts.push_back(landing);
            classes.emplace_back();
        }
        classes[k].push_back(number);
    }
    return classes;
}

// "hope 1", "hope 2 or 3", "hope 1-4 or 6".
std::string OutcomeLabel(const std::string& variable, const std::vector<int>& numbers) {
    std::vector<std::string> runs;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (j >= i + 2) {
            runs.push_back(std::to_string(numbers[i]) + "-" + std::to_string(numbers[j]));
        } else {
            for (size_t k = i; k <= j; ++k) runs.push_back(std::to_string(numbers[k]));
        }
        i = j + 1;
    }
    std::string text = variable;
    for (size_t i = 0; i < runs.size(); ++i)
        text += (i == 0 ? " " : i + 1 == runs.size() ? " or " : ", ") + runs[i];
    return text;
}

// Before each draw: the path's outcome into the plan of draws.
void OnDraw(int command) {
    ScriptPlayer& p = scriptPlayer;
    const ScriptCommand& c = p.program.commands[size_t(command)];
    int number = 1;
    if (!run.ended && run.pendingWhy.empty()) {
        if (!Meet(command)) {
            // The path ends here: the story goes no further in this frame, which a loop of jumps through
            // the draw would otherwise fill.
            run.pendingWhy = LoopWhy("draw", command);
            p.stopped = 1;
        } else {
            std::vector<std::vector<int>> classes = DrawClasses(command, std::max(1, c.value.number));
            if (classes.size() > 1) {
                ScriptDecision decision;
                decision.command = command;
                decision.taken = NextOption(int(classes.size()));
                const std::string& name = size_t(c.variable) < p.program.variables.size()
                                              ? p.program.variables[size_t(c.variable)] : std::string("draw");
                for (const std::vector<int>& numbers : classes) decision.labels.push_back(OutcomeLabel(name, numbers));
                number = classes[size_t(decision.taken)][0];
                run.path.decisions.push_back(decision);
            }
        }
    }
    p.drawPlan.resize(p.drawsTaken);  // only this adds to the plan
    p.drawPlan.push_back(number);
}

// ---- The player's keys ----

// The keys for the frame about to run, from the state the frame starts with: each page and key wait
// captured and answered at once, each choice's cursor moved to the path's answer, captured and taken.
uint16_t Decide(Window window) {
    const ScriptPlayer& p = scriptPlayer;
    const std::vector<ScriptCommand>& commands = p.program.commands;
    if (p.stopped) {
        Capture("scene", "stopped");
        End(window, "stopped", p.stopReason);
        return 0;
    }
    if (p.pc < 0 || size_t(p.pc) >= commands.size()) {
        Capture("scene", "end");
        End(window, "end", "the story ran past its last line");
        return 0;
    }
    const ScriptCommand& c = commands[size_t(p.pc)];
    if (message.keyWait == 1 && sprites[KEY_WAIT_SLOT].active == 1) {
        Capture("page", "");
        return KEY_Z;
    }
    if (c.op == OP_CHOICE && p.choiceOpen) {
        if (run.choiceWanted < 0) {
            if (!Meet(p.pc)) {
                End(window, "loop", LoopWhy("choice", p.pc));
                return 0;
            }
            ScriptDecision decision;
            decision.command = p.pc;
            decision.taken = NextOption(p.choiceCount);
            for (int i = 0; i < p.choiceCount; ++i) {
                std::string text;
                if (size_t(i) < c.messages.size()) MessageText(c.messages[size_t(i)].c_str(), &text);
                decision.labels.push_back(text);
            }
            run.choiceWanted = decision.taken;
            run.path.decisions.push_back(decision);
        }
        if (p.choiceIndex != run.choiceWanted) return KEY_DOWN;
        Capture("scene", "choice", run.choiceWanted, p.choiceCount);
        run.choiceWanted = -1;  // Space closes it in this frame; a choice met again is a new one
        return KEY_SPACE;
    }
    bool fadeDone = c.op == OP_FADE && c.until != WAIT_NO_KEY && p.pieceCount >= c.numbers[1];
    if (c.op == OP_WAIT_KEY || fadeDone) {
        Capture("scene", "wait");
        return c.until == WAIT_SPACE ? KEY_SPACE : KEY_Z;
    }
    if (c.op == OP_ROLL && ((p.rollDone == 0 && p.rollScroll == ROLL_CAPTURE_SCROLL) || ScriptShownState().storyOver)) {
        Capture("scene", "roll");
        End(window, "roll", "");
    }
    return 0;
}

void Hook(Window window) {
    ScriptPlayer& p = scriptPlayer;
    p.beforeDraw = OnDraw;
    uint16_t tap = 0;
    if (!run.ended && !p.active) {
        End(window, "closed", "the story script was not played");
    } else if (!run.ended) {
        if (run.played->program.commands.empty()) run.played->program = p.program;
        if (message.messageFound != 1 || p.pc != run.sayCommand) run.pagesInMessage = 0;
        run.sayCommand = p.pc;
        if (!run.pendingWhy.empty())
            End(window, "loop", run.pendingWhy);
        else if (!run.lastTap)
            tap = Decide(window);  // a frame without keys after every tap
        if (!run.ended && PlatformFrameNumber() >= run.options.frameLimit - 1) {
            Capture("scene", "frames");
            End(window, "frames", "still going at " + Where(p.pc) + " after " +
                                      std::to_string(run.options.frameLimit) + " frames (the frame limit)");
        }
    }
    keysHeld = tap;
    keysPressed = tap;
    run.lastTap = tap;
}

}  // namespace

int PlayScriptPaths(const std::string& out, const BoardOptions& options, PlayedStory* played, std::string* error) {
    std::vector<SongFile> songs = SongsIn(".");
    PlatformOptions platform = PlayerOptions(options.frameLimit);
    std::vector<int> prefix;
    for (;;) {
        run = ScriptRun{};
        run.out = out;
        run.songs = songs;
        run.options = options;
        run.played = played;
        run.prefix = prefix;
        run.path.end = "closed";
        run.path.why = "the game closed before the story began";
        hooks.beforeScene = Hook;
        if (!RunGame(platform, error)) return 0;
        played->scriptPaths.push_back(run.path);
        played->moments.push_back(run.moments);
        // The next path: the last decision with an option left takes its next one.
        const std::vector<ScriptDecision>& decisions = run.path.decisions;
        size_t next = decisions.size();
        while (next > 0 && decisions[next - 1].taken + 1 >= int(decisions[next - 1].labels.size())) --next;
        if (next == 0) break;
        if (played->scriptPaths.size() >= size_t(std::max(1, options.pathLimit))) {
            played->capped = true;
            break;
        }
        prefix.clear();
        for (size_t i = 0; i + 1 < next; ++i) prefix.push_back(decisions[i].taken);
        prefix.push_back(decisions[next - 1].taken + 1);
    }
    return 1;
}
