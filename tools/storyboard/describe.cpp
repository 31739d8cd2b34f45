// What the page says of each moment: its section, heading and the paths it lies on, for the built-in
// story (by chapter, in the words of its answers) and for a story script (by scene, by the script's place).
#include <algorithm>
#include <map>
#include <tuple>
#include "story/tables.h"
#include "storyboard.h"

namespace {

const char* const partnerNames[] = {"Hiyori", "Heren", "Fuuya"};

std::string Escape(const std::string& s) { return HtmlEscape(s); }

std::string Quoted(const std::string& s) { return "\xe2\x80\x9c" + s + "\xe2\x80\x9d"; }
const char dot[] = " \xc2\xb7 ";

// ---- The built-in story ----

// Which paths an item lies on, in words.
std::string DescribeBuiltinPaths(const std::set<int>& set, const std::vector<StoryPath>& paths) {
    if (int(set.size()) == int(paths.size())) return "every path";
    std::set<int> as, rs, ms;
    for (int i : set) as.insert(paths[i].firstAnswer), rs.insert(paths[i].routeAnswer), ms.insert(paths[i].match);
    if (set.size() == as.size() * rs.size() * ms.size()) {  // a product of the answers: say it briefly
        std::vector<std::string> parts;
        if (as.size() < 3) {
            std::string p;
            for (int a : as) p += (p.empty() ? "" : " or ") + std::string(partnerNames[a]);
            parts.push_back(p + "'s route");
        }
        if (rs.size() < 3) {
            std::string p;
            for (int r : rs)
                p += (p.empty() ? "" : " or ") +
                     (as.size() == 1 ? Quoted(routeRecords[*as.begin()].choiceLines[r])
                                     : "answer " + std::to_string(r + 1));
            parts.push_back(p);
        }
        if (ms.size() < 2) parts.push_back(*ms.begin() ? "match" : "miss");
        if (as.size() == 3) parts.insert(parts.begin(), "every route");
        std::string text;
        for (const std::string& p : parts) text += (text.empty() ? "" : dot) + p;
        return text;
    }
    std::string text;
    for (int i : set)
        text += (text.empty() ? "" : ", ") + std::string(partnerNames[paths[i].firstAnswer]) + " " +
                std::to_string(paths[i].routeAnswer + 1) + (paths[i].match ? " match" : " miss");
    return text;
}

std::string BuiltinSceneTitle(const BoardItem& item, const std::vector<StoryPath>& paths) {
    const Moment& m = item.moment;
    const StoryPath& p = paths[size_t(*item.paths.begin())];
    if (m.scene == "title") return "Title screen";
    if (m.scene == "picture") return "The opening picture";
    if (m.scene == "choice") return "First choice: " + Escape(Quoted(firstChoiceLines[p.firstAnswer]));
    if (m.scene == "route-choice")
        return partnerNames[p.firstAnswer] + std::string("'s question: ") +
               Escape(Quoted(routeRecords[p.firstAnswer].choiceLines[p.routeAnswer]));
    if (m.scene == "ending") return p.match ? "Ending picture after a match" : "Ending picture after a miss";
    if (m.scene == "roll")
        return p.match ? "Staff roll with " + std::string(partnerNames[p.firstAnswer]) : "Staff roll after a miss";
    if (m.scene == "frames") return "Still going at the frame limit (--frames)";
    return Escape(m.scene);
}

// ---- A story script ----

// "1-3, 7".
std::string NumberList(const std::vector<int>& numbers) {
    std::string text;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]) +
                (j > i ? (j == i + 1 ? ", " : "-") + std::to_string(numbers[j]) : "");
        i = j + 1;
    }
    return text;
}

// A path's first `count` decisions in words: an answer quoted, an outcome as it is.
std::string PathWords(const ScriptProgram& program, const ScriptPath& path, size_t count) {
    std::string text;
    for (size_t i = 0; i < std::min(count, path.decisions.size()); ++i) {
        const ScriptDecision& d = path.decisions[i];
        bool choice = size_t(d.command) < program.commands.size() && program.commands[size_t(d.command)].op == OP_CHOICE;
        const std::string& label = d.labels[size_t(d.taken)];
        text += (text.empty() ? "" : " \xe2\x80\xba ") + (choice ? Quoted(label) : label);
    }
    return text;
}

}  // namespace

std::vector<BoardItem> GatherItems(const std::vector<std::vector<Moment>>& moments) {
    std::vector<BoardItem> items;
    std::map<std::string, size_t> index;
    for (size_t p = 0; p < moments.size(); ++p) {
        for (const Moment& m : moments[p]) {
            std::string key = m.kind + "|" + m.scene + "|" + m.message + "|" + std::to_string(m.page) + "|" +
                              std::to_string(m.chapter) + "|" + std::to_string(m.command) + "|" +
                              std::to_string(m.answer) + "|" + m.picture;
            auto found = index.find(key);
            if (found == index.end()) {
                BoardItem item;
                item.moment = m;
                item.order = long(items.size());
                found = index.emplace(key, items.size()).first;
                items.push_back(item);
            }
            items[found->second].paths.insert(int(p));
        }
    }
    return items;
}

BoardPage DescribeBuiltin(const PlayedStory& played) {
    BoardPage page;
    page.intro = "Every page as it waits for a key and every scene as it waits for the player, on every path of the "
                 "built-in story: three first answers \xc3\x97 three route answers \xc3\x97 match or miss. A moment "
                 "shared by several paths is shown once.";
    page.sections = {{"opening", "Title and opening"}, {"hiyori", "Hiyori's route"}, {"heren", "Heren's route"},
                     {"fuuya", "Fuuya's route"}, {"ending", "Ending"}};
    page.pathCount = int(played.paths.size());
    const std::vector<StoryPath>& paths = played.paths;
    page.items = GatherItems(played.moments);
    for (BoardItem& item : page.items) {
        item.section = std::clamp(item.moment.chapter, 1, 5) - 1;
        if (item.moment.kind != "page") item.title = BuiltinSceneTitle(item, paths);
        item.pathsText = DescribeBuiltinPaths(item.paths, paths);
    }
    // By chapter; in a route the questions before the match and miss messages; in the ending the two
    // pictures before the staff rolls, the roll after a miss last.
    auto place = [&](const BoardItem& item) {
        const Moment& m = item.moment;
        const StoryPath& first = paths[size_t(*item.paths.begin())];
        int roll = m.scene == "roll" ? (first.match ? first.firstAnswer : 3) : 0;
        return std::tuple(item.section, item.moment.chapter >= 2 ? m.step : 0, roll);
    };
    std::stable_sort(page.items.begin(), page.items.end(),
                     [&](const BoardItem& a, const BoardItem& b) { return place(a) < place(b); });
    std::string stopped;
    for (size_t p = 0; p < played.moments.size(); ++p)
        if (!PathFinished(played, p))
            stopped += (stopped.empty() ? "" : ", ") + std::string(partnerNames[paths[p].firstAnswer]) + " " +
                       std::to_string(paths[p].routeAnswer + 1) + (paths[p].match ? " match" : " miss") + " (after " +
                       std::to_string(played.moments[p].size()) + " moments" +
                       (PathAtFrameLimit(played, p) ? ", still going at the frame limit of " +
                                                          std::to_string(played.frameLimit) + " frames"
                                                    : "") +
                       ")";
    if (!stopped.empty()) page.notes.push_back("these paths stopped before the staff roll: " + stopped);
    return page;
}

namespace {

// The sections of a script's page (before the first scene, then each scene), and for every command its
// section and the name of its place: the scene it lies in, and the label after that scene's line that it
// follows, if any.
void ScriptSections(const ScriptProgram& program, BoardPage* page, std::vector<int>* sectionOf,
                    std::vector<std::string>* placeName) {
    size_t count = program.commands.size();
    sectionOf->assign(count, 0);
    placeName->assign(count, "");
    page->sections.push_back({"start", "Before the first scene"});
    std::string scene, label;
    for (size_t i = 0; i < count; ++i) {
        const ScriptCommand& c = program.commands[i];
        if (c.op == OP_SCENE) {
            scene = c.name;
            label.clear();
            page->sections.push_back({"scene-" + std::to_string(page->sections.size()), "scene " + c.name});
        } else if (c.op == OP_LABEL) {
            label = c.name;
        }
        (*sectionOf)[i] = int(page->sections.size()) - 1;
        (*placeName)[i] = scene.empty() ? label : label.empty() ? scene : scene + " \xe2\x80\xba " + label;
    }
}

// What a scene moment of a script is (a page has its message for a title).
std::string ScriptSceneTitle(const BoardItem& item, const ScriptCommand* c, const std::vector<ScriptPath>& paths) {
    const Moment& m = item.moment;
    if (m.scene == "choice") {
        std::string answer;
        for (int p : item.paths)
            for (const ScriptDecision& d : paths[size_t(p)].decisions)
                if (d.command == m.command && size_t(m.answer) < d.labels.size()) answer = d.labels[size_t(m.answer)];
        return "Choice, answer " + std::to_string(m.answer + 1) + " of " + std::to_string(m.answers) + ": " +
               Escape(Quoted(answer));
    }
    if (m.scene == "wait") {
        bool space = c && c->until == WAIT_SPACE;
        return std::string(c && c->op == OP_FADE ? "A fade, then a wait for " : "A wait for ") +
               (space ? "Space" : "a key");
    }
    if (m.scene == "roll") return "Staff roll";
    if (m.scene == "end") return "The end: the story ran past its last line";
    if (m.scene == "stopped") return "The story stopped here";
    if (m.scene == "frames") return "Still going at the frame limit";
    return item.title;
}

// The paths a moment lies on: every one; all those that take some decisions; or their numbers, after the
// decisions they share.
std::string ScriptPathsText(const BoardItem& item, const ScriptProgram& program, const std::vector<ScriptPath>& paths) {
    if (item.paths.size() == paths.size()) return "every path";
    const ScriptPath& first = paths[size_t(*item.paths.begin())];
    size_t common = first.decisions.size();
    for (int p : item.paths) {
        const std::vector<ScriptDecision>& d = paths[size_t(p)].decisions;
        size_t k = 0;
        while (k < common && k < d.size() && d[k].command == first.decisions[k].command &&
               d[k].taken == first.decisions[k].taken)
            ++k;
        common = k;
    }
    size_t under = 0;  // the paths that share those decisions
    for (const ScriptPath& path : paths) {
        bool shares = path.decisions.size() >= common;
        for (size_t k = 0; k < common && shares; ++k)
            shares = path.decisions[k].command == first.decisions[k].command &&
                     path.decisions[k].taken == first.decisions[k].taken;
        under += shares;
    }
    std::vector<int> numbers;
    for (int p : item.paths) numbers.push_back(p + 1);
    std::string words = PathWords(program, first, common);
    if (common > 0 && under == item.paths.size()) return words;
    return (words.empty() ? "" : words + dot) + (numbers.size() == 1 ? "path " : "paths ") + NumberList(numbers);
}

// Every path in the list, with the decisions taken and where it ended; a note for each that did not end at
// the staff roll or past the last line.
void ListScriptPaths(const PlayedStory& played, BoardPage* page) {
    const std::vector<ScriptPath>& paths = played.scriptPaths;
    for (size_t p = 0; p < paths.size(); ++p) {
        const ScriptPath& path = paths[p];
        std::string words = PathWords(played.program, path, path.decisions.size());
        std::string how = path.end == "roll"  ? "the staff roll"
                        : path.end == "end"   ? "past the last line"
                        : path.end == "loop"  ? "a loop: " + path.why
                                              : path.why;
        page->pathList.push_back((words.empty() ? "no decisions" : words) + " \xe2\x80\x94 " + how + ", frame " +
                                 std::to_string(path.frames));
        if (path.end != "roll" && path.end != "end")
            page->notes.push_back("path " + std::to_string(p + 1) + (words.empty() ? "" : " (" + words + ")") +
                                  (path.end == "loop" ? " ended round a loop: " : " stopped: ") + path.why);
    }
    if (played.capped)
        page->notes.push_back("more paths were left: only the first " + std::to_string(paths.size()) +
                              " were played (--paths)");
}

}  // namespace

BoardPage DescribeScript(const PlayedStory& played) {
    BoardPage page;
    const ScriptProgram& program = played.program;
    const std::vector<ScriptPath>& paths = played.scriptPaths;
    page.intro = "Every page as it waits for a key and every scene as it waits for the player, on every path of the "
                 "story script: each answer of each choice and each outcome of each draw (outcomes that lead the "
                 "story on alike are taken once). A moment shared by several paths is shown once.";
    page.pathCount = int(paths.size());
    for (const std::string& problem : played.problems) page.notes.push_back("the script cannot be played: " + problem);
    std::vector<int> sectionOf;
    std::vector<std::string> placeName;
    ScriptSections(program, &page, &sectionOf, &placeName);
    size_t count = program.commands.size();

    page.items = GatherItems(played.moments);
    for (BoardItem& item : page.items) {
        const Moment& m = item.moment;
        const ScriptCommand* c = m.command >= 0 && size_t(m.command) < count ? &program.commands[size_t(m.command)]
                                                                             : nullptr;
        item.section = c ? sectionOf[size_t(m.command)] : count ? sectionOf[count - 1] : 0;  // past the end: the last
        if (c) {
            item.placeFile = size_t(c->file) < program.files.size() ? program.files[size_t(c->file)] : "scenes.txt";
            item.placeLine = c->line;
            item.place = item.placeFile + ":" + std::to_string(c->line);
            if (!placeName[size_t(m.command)].empty()) item.place += dot + placeName[size_t(m.command)];
        }
        item.title = ScriptSceneTitle(item, c, paths);
        item.pathsText = ScriptPathsText(item, program, paths);
    }
    auto kindOrder = [](const Moment& m) { return m.kind == "page" ? 0 : 1; };
    std::stable_sort(page.items.begin(), page.items.end(), [&](const BoardItem& a, const BoardItem& b) {
        const Moment &x = a.moment, &y = b.moment;
        return std::tuple(a.section, x.command, kindOrder(x), x.page, x.answer) <
               std::tuple(b.section, y.command, kindOrder(y), y.page, y.answer);
    });
    ListScriptPaths(played, &page);
    return page;
}
