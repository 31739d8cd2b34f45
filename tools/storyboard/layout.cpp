// The pages of a message, laid out as the message window types them.
#include <algorithm>
#include "storyboard.h"
#include "text/text.h"

namespace {
// The game's search: "t", "x", id from the start; a failed test still steps over the byte that failed,
// and a byte with the top bit set is stepped over alone. A name is the first "tx{NAME}". The offset of
// the first body byte, or -1.
long FindBody(const std::vector<uint8_t>& text, const std::string& key) {
    if (key.size() > 1) {
        std::string marker = "tx{" + key + "}";
        auto at = std::search(text.begin(), text.end(), marker.begin(), marker.end());
        return at == text.end() ? -1 : long(at - text.begin()) + long(marker.size());
    }
    if (key.empty()) return -1;
    uint8_t id = uint8_t(key[0]);
    size_t pos = 0, size = text.size();
    while (pos < size) {
        if (text[pos] & 0x80) {
            ++pos;
            continue;
        }
        if (text[pos] == 't' && ++pos < size && text[pos] == 'x' && ++pos < size && text[pos] == id)
            return long(pos + 1);
        ++pos;
    }
    return -1;
}
constexpr int PAGE_LINES = 4;
}  // namespace

std::vector<MessagePage> LayOutMessage(const std::vector<uint8_t>& script, const std::string& key) {
    std::vector<MessagePage> pages;
    long start = FindBody(script, key);
    if (start < 0) return pages;
    pages.emplace_back();
    int checkerPage = 1, checkerLine = 1;
    auto line = [&]() -> PageLine& {
        MessagePage& page = pages.back();
        if (page.lines.empty()) {
            page.lines.emplace_back();
            page.lines.back().checkerPage = checkerPage;
            page.lines.back().checkerLine = checkerLine;
        }
        return page.lines.back();
    };
    auto newPage = [&]() { pages.emplace_back(); };
    size_t pos = size_t(start);
    bool utf8 = ScriptIsUtf8(script.data(), uint32_t(script.size()));
    while (pos < script.size()) {
        uint8_t b = script[pos];
        uint32_t codePoint = 0;
        int length = 0;
        if (utf8 && b >= 0x80 && (length = DecodeUtf8(&script[pos], uint32_t(script.size() - pos), &codePoint))) {
            PageLine& l = line();
            l.text.append(script.begin() + long(pos), script.begin() + long(pos) + length);
            l.width += WideCharAdvance(codePoint);
            pos += size_t(length);
            continue;
        }
        if (b != '<') {
            PageLine& l = line();
            l.text += (b >= 0x20 && b < 0x7F) ? char(b) : (b == '\n' || b == '\r') ? ' ' : '?';
            if (b < 0x80) l.width += charWidthTable[b];
            ++pos;
            continue;
        }
        if (pos + 1 >= script.size()) break;
        uint8_t code = script[pos + 1];
        pos += 2;
        if (code == '!') {
            line();
            return pages;
        } else if (code == '*') {
            line();
            ++checkerPage;
            checkerLine = 1;
            newPage();
        } else if (code == '/') {
            line();
            ++checkerLine;
            if (pages.back().lines.size() >= PAGE_LINES) {
                newPage();
            } else {
                pages.back().lines.emplace_back();
                pages.back().lines.back().checkerPage = checkerPage;
                pages.back().lines.back().checkerLine = checkerLine;
            }
        } else if (code == '+') {
            line().text += ' ';
            line().width += 10;
        } else if (code == 'w') {
            if (pos < script.size() && script[pos] == 'v') pos += 2;
        }
    }
    line();
    return pages;  // no end code: the game stops at the end of the text
}
