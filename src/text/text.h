// Text and dialogue: text drawing on a surface, the script text and the message window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "gfx/gfx.h"
#include "platform/display.h"
#include "platform/text.h"
#include "platform/window.h"

// The face every text of the game asks for, as stored: "ＭＳ ゴシック" in code page 932.
extern const char GAME_FACE[];

// Pen advance in pixels of each byte 0x00-0x7E (0x7F: not typed).
extern const uint8_t charWidthTable[128];

// The text drawing context: valid only between BeginText and the matching EndText; never nested.
struct TextContext {
    DrawContext* textDC;   // the surface's drawing context (null when the surface is lost)
    Font* textFont;        // the font made for this drawing
    Font* previousFont;    // what was selected into textDC before textFont
};
extern TextContext textContext;
inline DrawContext*& textDC = textContext.textDC;
inline Font*& textFont = textContext.textFont;
inline Font*& previousFont = textContext.previousFont;

constexpr int TEXT_WEIGHT = 1000;             // heavier than the heaviest named weight
constexpr int TEXT_PITCH_AND_FAMILY = 0x12;   // variable pitch, roman family

void BeginText(const char* faceName, int height, Surface* surface);
void EndText(Surface* surface);
void DrawTextString(int x, int y, const char* string, uint32_t colour);
void DrawTextLine(const char* string, const char* faceName, int x, int y, int height, Surface* surface, int red,
                  int green, int blue);

// Named messages, for story scripts: a message may also be marked "tx{NAME}", NAME being letters, digits,
// "-", "_" and "." (at most MESSAGE_NAME_MAX). The first such marker is the message; the one-byte search
// never takes "tx{" for a message the built-in story asks for, as none of its ids is "{".
constexpr int MESSAGE_NAME_MAX = 40;

// The message window. scriptText is the whole of data.txt, unterminated, scriptSize bytes long;
// TypeMessage and DrawTextChar read no further than scriptSize.
struct MessageState {
    uint8_t* scriptText;  // every byte of data.txt, unterminated
    uint32_t scriptSize;
    int scriptPos, penX, penY;
    int messageFound, keyWait;
    int textOriginX, textOriginY;
    uint8_t messageId;    // the id of the message under way (while messageFound is 1)
    char messageName[MESSAGE_NAME_MAX + 1];  // its name when it is a named one ("" for a one-byte id)
    int utf8;             // the text begins with the UTF-8 mark: one character a typed item
    int messageStart;     // where the message under way begins in the text (its first body byte)
    int pageChars;        // the characters typed on the page so far
    // The key-wait cursor's animation, stepped by TypeMessage while a page waits for a key.
    AnimationSequence keyWaitSequence = {0, 17, 18, 17, 19, 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
};
extern MessageState message;

// Stories in UTF-8, an extension: a script text that begins with the UTF-8 byte order mark (EF BB BF) is
// read as UTF-8. Then a character beyond ASCII is one typed item, drawn from the face (or a fallback face
// that has it) and advanced over by its own width; a byte that starts no well-formed character is
// stepped over as any byte above 127 is. Without the mark every byte is an item, as always.
int ScriptIsUtf8(const uint8_t* text, uint32_t size);
// The length (2 to 4) of the well-formed UTF-8 character at p, with its code point; 0 when the bytes
// there are none (ASCII, a stray continuation byte, overlong, cut short, a surrogate, beyond U+10FFFF).
int DecodeUtf8(const uint8_t* p, uint32_t available, uint32_t* codePoint);
// The pen advance of a character beyond ASCII in the message window (the checker, the storyboard).
constexpr int MESSAGE_TEXT_HEIGHT = 21;
int WideCharAdvance(uint32_t codePoint);
// The largest data.txt that is read (a whole story is some hundred KB); a larger one fails as a missing one.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr uint32_t MAX_SCRIPT_BYTES = 16u << 20;
#else
constexpr uint32_t MAX_SCRIPT_BYTES = 2u << 10;  // fuzzers: small inputs reach the limit
#endif

void LoadScriptText(Window window);
// Live reload: data.txt was saved. The new text replaces the old and a message under way starts again
// from its first page. 1, or 0 with *why set when the file cannot be read, is empty or lacks the
// message under way (the old text stays).
int ReloadScriptText(Window window, const char** why);
// One frame of the message window; 1 on the frame the message ends. It types as many items as the
// frame's comforts say (comfortFrame.textSpeed: 1, 2, 4, or 0 for the rest of the page); the items after
// the first see no key, so that a key pressed while a page is typed fast never also passes the wait the
// page reaches in that frame. comfortFrame.advance passes a wait as a key would (and nothing else). scriptText must be
// message.scriptText (its length is message.scriptSize).
int TypeMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                Surface* surface, int red, int green, int blue, uint8_t messageId);
// Gives up the message under way (the box cleared, no message under way): the next call starts afresh.
void AbandonMessage(Window window);
// TypeMessage for a message key: one character is the one-byte id, a longer key a name ("tx{KEY}").
int TypeKeyedMessage(Window window, const uint8_t* scriptText, int originX, int originY, int fontHeight,
                     Surface* surface, int red, int green, int blue, const char* key);
// The text of a message (the bytes after its marker up to "<!" or the end of the text), found as the
// message window finds it. 1, or 0 when there is no marker for the key. The window's state is kept.
int MessageText(const char* key, std::string* body);
// Between BeginText and EndText: the byte at message.scriptPos, at (x + penX, y + penY).
void DrawTextChar(int x, int y, const uint8_t* scriptText, uint32_t colour);

// Translations: a story may carry its text in other languages beside data.txt, as data.LANG.txt with the
// same messages. The language is --lang when given, else the system's (SystemLanguage: the desktop's or
// the browser's; none in headless runs). A language tries its own file and then those of its shorter
// tags; without one, the story's own data.txt plays.
struct LanguageState {
    std::string asked;  // --lang ("": the system's language)
    int told;           // a --lang without a file was said
};
extern LanguageState language;
// The files a language tries, most specific first: "pt-BR" and "pt_BR.UTF-8" give data.pt-BR.txt,
// data.pt.txt. None for "", "C", "POSIX", or a tag of other than letters, digits and "-" or "_" between
// parts of at most 8 characters (so a name never leaves the folder).
std::vector<std::string> LanguageTextNames(const std::string& tag);
// --lang: 1, or 0 (nothing changed) when the tag names no file.
int SetScriptLanguage(const std::string& tag);
// The name of the story text to read in the data folder (the working folder): the first file the
// language tries that is there, else "data.txt". A --lang with no file is said once on standard error,
// naming the files tried.
std::string ScriptTextName();
