// The script text and the message window that types it, one item per frame.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/comforts.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/files.h"
#include "sound/sound.h"
#include "text/text.h"

MessageState message;

namespace {

constexpr int LINE_HEIGHT = 20;
constexpr int LAST_LINE_Y = 3 * LINE_HEIGHT;
constexpr int GAP_WIDTH = 10;
constexpr int KEY_WAIT_SLOT = 4;
constexpr int KEY_WAIT_CELL = 32;
constexpr int KEY_WAIT_PERIOD = 7;

std::string LimitText() {
    return MAX_SCRIPT_BYTES >= (1u << 20) ? std::to_string(MAX_SCRIPT_BYTES >> 20) + " MiB"
                                          : std::to_string(MAX_SCRIPT_BYTES >> 10) + " KiB";
}

void FailScriptLoad(Window window, const std::string& detail = "") {
    ReportFailure(("cannot read the story script data.txt in the data folder " + DataFolder() + detail).c_str());
    ShowMessageBox(window, "ロード失敗", "Push return");
    PostClose(window);
}

// Finishing the message: a clean box and the state of no message.
void FinishMessage(Window window) {
    ClearMessageBox(window);
    message.penY = 0;
    message.penX = 0;
    message.scriptPos = 0;
    message.messageFound = 0;
    message.keyWait = 0;
}

// The first "tx{NAME}" of the text: 1 with scriptPos on the first body byte.
int FindNamedMessage(const uint8_t* text, uint32_t size, const char* name) {
    std::string marker = std::string("tx{") + name + "}";
    const uint8_t* end = text + size;
    const uint8_t* at = text ? std::search(text, end, marker.begin(), marker.end()) : end;
    if (at == end) {
        message.scriptPos = 0;
        return 0;
    }
    message.messageFound = 1;
    message.messageId = '{';
    std::snprintf(message.messageName, sizeof message.messageName, "%s", name);
    message.scriptPos = static_cast<int>(at - text + marker.size());
    return 1;
}

// The search from the start of the text for "tx" and the id, stepping as the marker test does: a byte
// that fails the "t" or the "x" test is stepped over with it. 1 with scriptPos on the first body byte.
// A name of more than one character is looked for as "tx{NAME}".
int FindMessage(const uint8_t* text, uint32_t size, uint8_t messageId, const char* name = nullptr) {
    if (name && name[0] && name[1]) return FindNamedMessage(text, size, name);
    message.messageName[0] = 0;
    uint32_t pos = static_cast<uint32_t>(message.scriptPos);
    while (pos < size) {
        if (text[pos] & 0x80) {
            pos++;
            continue;
        }
        if (text[pos] == 't') {
            pos++;
            if (pos < size && text[pos] == 'x') {
                pos++;
                if (pos < size && text[pos] == messageId) message.messageFound = 1;
            }
        }
        pos++;
        if (message.messageFound == 1) {
            message.messageId = messageId;
            message.scriptPos = static_cast<int>(pos);
            return 1;
        }
    }
    message.scriptPos = 0;
    return 0;
}

// A character beyond ASCII of a UTF-8 story: drawn as the others, advanced by its own width.
void TypeWideCharacter(uint32_t codePoint, int length, int originX, int originY, int fontHeight, Surface* surface,
                       int red, int green, int blue) {
    int advance = 0;
    for (int pass = 0; pass < 2; ++pass) {
        BeginText(GAME_FACE, fontHeight, surface);
        int x = pass ? originX : originX + 2, y = pass ? originY : originY + 2;
        SetTextColour(textDC, pass ? uint32_t((red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16) : 0);
        int drawn = PaintCodePoint(textDC, x + message.penX, y + message.penY, codePoint);
        if (pass) advance = textDC ? drawn : TextAdvanceOf(textFont, codePoint);
        EndText(surface);
    }
    message.penX += advance;
    message.scriptPos += length;
}

void TypeCharacter(const uint8_t* text, int originX, int originY, int fontHeight, Surface* surface, int red,
                   int green, int blue) {
    uint8_t byte = text[message.scriptPos];
    uint32_t codePoint = 0;
    int length = 0;
    if (message.utf8 && byte >= 0x80 &&
        (length = DecodeUtf8(text + message.scriptPos, message.scriptSize - uint32_t(message.scriptPos), &codePoint)))
        return TypeWideCharacter(codePoint, length, originX, originY, fontHeight, surface, red, green, blue);
    if (byte < 0x7F) {
        BeginText(GAME_FACE, fontHeight, surface);
        DrawTextChar(originX + 2, originY + 2, text, 0);
        EndText(surface);
        BeginText(GAME_FACE, fontHeight, surface);
        DrawTextChar(originX, originY, text, (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
        EndText(surface);
        message.penX += charWidthTable[byte];
    }
    message.scriptPos++;
}

}  // namespace

void LoadScriptText(Window window) {
    std::free(message.scriptText);
    message.scriptText = nullptr;
    message.scriptSize = 0;
    uint32_t size = 0;
    std::string name = ScriptTextName();  // data.txt, or its translation (language.cpp)
    if (!GetDataFileSize(name.c_str(), &size)) return FailScriptLoad(window);
    if (size > MAX_SCRIPT_BYTES)
        return FailScriptLoad(window, "\n" + name + " is " + std::to_string(size) + " bytes; the game reads at most " +
                                          LimitText());
    FILE* file = OpenDataFile(name.c_str(), "rb");
    if (!file) return FailScriptLoad(window);
    uint8_t* text = size ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    size_t got = text ? std::fread(text, 1, size, file) : 0;
    std::fclose(file);
    if (got != size) {  // a failed allocation or a short read: as good as no file
        std::free(text);
        return FailScriptLoad(window);
    }
    message.scriptText = text;
    message.scriptSize = size;
    message.utf8 = ScriptIsUtf8(text, size);
}

int ReloadScriptText(Window window, const char** why) {
    uint32_t size = 0;
    std::string name = ScriptTextName();
    FILE* file = GetDataFileSize(name.c_str(), &size) ? OpenDataFile(name.c_str(), "rb") : nullptr;
    if (!file) {
        *why = "cannot be read";
        return 0;
    }
    if (size > MAX_SCRIPT_BYTES) {
        std::fclose(file);
        static const std::string tooLarge = "larger than the " + LimitText() + " the game reads";
        *why = tooLarge.c_str();
        return 0;
    }
    uint8_t* text = size ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    size_t got = text ? std::fread(text, 1, size, file) : 0;
    std::fclose(file);
    if (!text || got != size) {
        std::free(text);
        *why = size ? "cannot be read" : "empty";
        return 0;
    }
    if (message.messageFound == 1) {
        // The same search as the message window's, on the new text.
        MessageState saved = message;
        message.scriptPos = 0;
        message.messageFound = 0;
        int found = FindMessage(text, size, saved.messageId, saved.messageName);
        message = saved;
        if (!found) {
            std::free(text);
            *why = "the message being typed is missing";
            return 0;
        }
    }
    std::free(message.scriptText);
    message.scriptText = text;
    message.scriptSize = size;
    message.utf8 = ScriptIsUtf8(text, size);
    if (message.messageFound == 1) {
        FinishMessage(window);  // the next call finds the message again and types it from its start
        ClearTextOutsideBox(window);
    }
    return 1;
}

void DrawTextChar(int x, int y, const uint8_t* scriptText, uint32_t colour) {
    SetTextColour(textDC, colour);
    if (scriptText && message.scriptPos >= 0 && static_cast<uint32_t>(message.scriptPos) < message.scriptSize)
        PaintText(textDC, x + message.penX, y + message.penY,
                reinterpret_cast<const char*>(scriptText) + message.scriptPos, 1);
}

int TypeMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                Surface* surface, int red, int green, int blue, uint8_t messageId) {
    char key[2] = {char(messageId), 0};
    return TypeKeyedMessage(window, scriptText, originX, originY, fontHeight, surface, red, green, blue, key);
}

void AbandonMessage(Window window) {
    FinishMessage(window);
    ClearTextOutsideBox(window);
}

int MessageText(const char* key, std::string* body) {
    body->clear();
    if (!key || !key[0]) return 0;
    MessageState saved = message;
    message.scriptPos = 0;
    message.messageFound = 0;
    int found = FindMessage(message.scriptText, message.scriptText ? message.scriptSize : 0, uint8_t(key[0]), key);
    uint32_t pos = uint32_t(message.scriptPos);
    message = saved;
    if (!found) return 0;
    const uint8_t* text = message.scriptText;
    uint32_t size = message.scriptSize;
    for (; pos < size && !(text[pos] == '<' && (pos + 1 >= size || text[pos + 1] == '!')); ++pos)
        body->push_back(char(text[pos]));
    return 1;
}

namespace {
// The page under way starts at scriptPos: counted from nought and told to the comforts.
void StartPage(const uint8_t* text, uint32_t size) {
    message.pageChars = 0;
    NoteMessagePage(text, size, message.scriptPos, message.utf8);
}

// A wait for a key passed and the message is over: read.
int FinishWaitedMessage(Window window) {
    NoteMessageRead(message.messageStart);
    FinishMessage(window);
    return 1;
}

// One item of the message window: a character, a code, or a frame of the wait for a key.
int TypeStep(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight, Surface* surface,
             int red, int green, int blue, const char* key) {
    const uint8_t* text = scriptText;
    uint32_t size = text ? message.scriptSize : 0;
    if (message.messageFound != 1) {
        if (!FindMessage(text, size, uint8_t(key[0]), key)) {
            // An id with no marker: the message is empty and ends at once.
            sprites[KEY_WAIT_SLOT].active = 0;
            FinishMessage(window);
            return 1;
        }
        message.messageStart = message.scriptPos;
        StartPage(text, size);
    }

    if (message.keyWait == 1) {
        sprites[KEY_WAIT_SLOT].active = 1;
        int* sequence = message.keyWaitSequence;
        AnimateSprite(window, sequence, KEY_WAIT_CELL, KEY_WAIT_CELL, KEY_WAIT_PERIOD, &sequence[0], &sequence[21],
                      KEY_WAIT_SLOT);
        if (keysPressed & KEY_F1) return FinishWaitedMessage(window);
    } else {
        sprites[KEY_WAIT_SLOT].active = 0;
    }

    uint32_t pos = static_cast<uint32_t>(message.scriptPos);
    if (pos >= size) {
        // The text ran out before "<!": wait for a key here, then end the message.
        message.keyWait = 1;
        if (keysPressed == 0 && !comfortFrame.advance) return 0;
        return FinishWaitedMessage(window);
    }
    if (text[pos] != '<') {
        TypeCharacter(text, originX, originY, fontHeight, surface, red, green, blue);
        message.pageChars++;
        return 0;
    }

    message.scriptPos++;
    pos++;
    // A "<" as the last byte ends the message like "<!".
    int code = pos < size ? text[pos] : '!';
    bool pageEnd = code == '*' || (code == '/' && message.penY == LAST_LINE_Y);
    if (code == '!' || pageEnd) {
        message.keyWait = 1;
        message.scriptPos--;
        if (keysPressed == 0 && !comfortFrame.advance) return 0;
        if (code == '!') return FinishWaitedMessage(window);
        ClearMessageBox(window);
        message.penY = 0;
        message.penX = 0;
        message.scriptPos += 2;
        message.keyWait = 0;
        StartPage(text, size);
        return 0;
    }
    switch (code) {
    case '/':
        message.penY += LINE_HEIGHT;
        message.penX = 0;
        message.scriptPos++;
        break;
    case '+':
        message.penX += GAP_WIDTH;
        message.scriptPos++;
        break;
    case 'q':
        message.scriptPos++;
        ShakeScreen(window);
        break;
    case 'w':
        message.scriptPos++;
        pos++;
        if (pos >= size || text[pos] != 'v') break;
        message.scriptPos++;
        pos++;
        if (pos >= size) break;
        if (text[pos] >= '0' && text[pos] <= '7') PlaySlot(text[pos] - '0', 1);
        message.scriptPos++;
        break;
    default:
        message.scriptPos++;
        break;
    }
    return 0;
}
}  // namespace

int TypeKeyedMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                     Surface* surface, int red, int green, int blue, const char* key) {
    int done = TypeStep(window, scriptText, originX, originY, fontHeight, surface, red, green, blue, key);
    int steps = comfortFrame.textSpeed;
    if (done || steps == 1) return done;
    // The frame's further items: no key, no advance; they stop at a wait, as the page's end is one.
    uint16_t pressed = keysPressed;
    uint8_t advance = comfortFrame.advance;
    keysPressed = 0;
    comfortFrame.advance = 0;
    uint32_t limit = steps ? uint32_t(steps) : message.scriptSize + 2;  // every item moves on at least a byte
    for (uint32_t i = 1; i < limit && !done && message.keyWait == 0 && message.messageFound == 1; ++i)
        done = TypeStep(window, scriptText, originX, originY, fontHeight, surface, red, green, blue, key);
    keysPressed = pressed;
    comfortFrame.advance = advance;
    return done;
}
