// What the running game can tell an author of the story's text as the script uses it: a message the
// script names that the text lacks, a typed line wider than the message box, an answer, name or credit
// line that runs off its place. Said over the page under --watch when data.txt or the script is saved;
// kirake-check says the same and more.
#include <string>
#include <vector>
#include "platform/text.h"
#include "story/script.h"
#include "text/text.h"

namespace {

constexpr int BOX_TEXT_WIDTH = 530;  // from the text origin x 60 to the box's inner edge

// Width in pixels of each line of a typed message, as the message window advances the pen.
std::vector<int> TypedLineWidths(const std::string& body) {
    std::vector<int> widths{0};
    const uint8_t* p = reinterpret_cast<const uint8_t*>(body.data());
    size_t n = body.size();
    for (size_t i = 0; i < n;) {
        if (p[i] == '<' && i + 1 < n) {
            uint8_t code = p[i + 1];
            i += 2;
            if (code == '/' || code == '*') widths.push_back(0);
            else if (code == '+') widths.back() += 10;
            else if (code == 'w' && i < n && p[i] == 'v') i += 2;
            continue;
        }
        uint32_t codePoint = p[i];
        int length = p[i] >= 0x80 && message.utf8 ? DecodeUtf8(p + i, uint32_t(n - i), &codePoint) : 0;
        if (length) {
            widths.back() += WideCharAdvance(codePoint);
            i += size_t(length);
        } else {
            if (p[i] < 0x7F) widths.back() += charWidthTable[p[i]];
            ++i;
        }
    }
    return widths;
}

// Width of a line drawn whole at a height (answers, names, credits).
int DrawnWidth(Font* font, const std::string& line) {
    int width = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(line.data());
    for (size_t i = 0; i < line.size();) {
        uint32_t codePoint = p[i];
        int length = p[i] >= 0x80 ? (message.utf8 ? DecodeUtf8(p + i, uint32_t(line.size() - i), &codePoint) : 0) : 1;
        if (!length) {
            ++i;
            continue;
        }
        width += TextAdvanceOf(font, codePoint);
        i += size_t(length);
    }
    return width;
}

struct Checker {
    std::vector<std::string>* findings;
    Font* fonts[3] = {nullptr, nullptr, nullptr};  // heights 20, 21, 24
    ~Checker() {
        for (Font* font : fonts) DeleteTextFont(font);
    }
    Font* FontOf(int height) {
        int i = height == 20 ? 0 : height == 21 ? 1 : 2;
        if (!fonts[i]) fonts[i] = CreateTextFont(GAME_FACE, height, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
        return fonts[i];
    }
    void Say(const ScriptCommand& c, const std::string& text) {
        if (findings->size() < 20) findings->push_back(Where(c) + ": " + text);
    }
    static std::string Where(const ScriptCommand& c) {
        const ScriptProgram& program = scriptPlayer.program;
        return (size_t(c.file) < program.files.size() ? program.files[size_t(c.file)] : "scenes.txt") + ":" +
               std::to_string(c.line);
    }
    bool Text(const ScriptCommand& c, const std::string& key, std::string* body) {
        if (MessageText(key.c_str(), body)) return true;
        Say(c, "the story text has no message '" + key + "'");
        return false;
    }
    void Line(const ScriptCommand& c, const std::string& key, const std::string& line, int height, int room,
              const char* what) {
        int width = DrawnWidth(FontOf(height), line);
        if (width > room)
            Say(c, std::string(what) + " '" + key + "' is " + std::to_string(width) + " pixels wide; it has room for " +
                       std::to_string(room));
    }
};

}  // namespace

void CheckScriptText(std::vector<std::string>* findings) {
    findings->clear();
    if (!scriptPlayer.active) return;
    Checker check;
    check.findings = findings;
    for (const ScriptCommand& c : scriptPlayer.program.commands) {
        std::string body;
        if (c.op == OP_SAY) {
            if (check.Text(c, c.name, &body)) {
                int line = 1;
                for (int width : TypedLineWidths(body)) {
                    if (width > BOX_TEXT_WIDTH)
                        check.Say(c, "message '" + c.name + "': line " + std::to_string(line) + " is " +
                                         std::to_string(width) + " pixels wide; the box holds " +
                                         std::to_string(BOX_TEXT_WIDTH));
                    ++line;
                }
            }
            if (!c.messages.empty() && check.Text(c, c.messages[0], &body))
                check.Line(c, c.messages[0], body, 20, 590 - 72, "the name");
        } else if (c.op == OP_CHOICE) {
            for (const std::string& key : c.messages)
                if (check.Text(c, key, &body)) check.Line(c, key, body, 24, 590 - 130, "the answer");
        } else if (c.op == OP_ROLL) {
            if (!c.messages.empty() && check.Text(c, c.messages[0], &body)) {
                size_t start = 0;
                for (;;) {
                    size_t end = body.find("</", start);
                    check.Line(c, c.messages[0], body.substr(start, end == std::string::npos ? end : end - start), 20,
                               640 - 350, "a line of the credits");
                    if (end == std::string::npos) break;
                    start = end + 2;
                }
            }
            if (c.messages.size() > 1 && check.Text(c, c.messages[1], &body))
                check.Line(c, c.messages[1], body, 40, 640 - 450, "the closing line");
        }
    }
}
