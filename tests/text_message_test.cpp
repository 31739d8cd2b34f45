// The message window: the search, the items typed one per frame, the waits, the cursor, the script file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/display.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "story/story.h"
#include "../tools/common/wav58.h"
#include "test_support.h"
#include "text/text.h"

namespace {

constexpr int BACKGROUND = 40;
constexpr int BOX = 6;  // the empty message box picture
constexpr int WHITE_INDEX = 7;
constexpr int BLACK_INDEX = 3;
constexpr int ANY = -999;

std::vector<PaletteEntry> TestTable() {
    std::vector<PaletteEntry> table(256, PaletteEntry{128, 128, 128, 0});
    table[3] = {0, 0, 0, 0};
    table[5] = {0, 0, 0, 0};
    table[7] = {255, 255, 255, 0};
    return table;
}

class MessageWindow : public DisplayTest {
protected:
    Surface* sheet = nullptr;

    void SetUp() override {
        DisplayTest::SetUp();
        std::free(message.scriptText);
        message = {};
        textContext = {};
        sheet = CreateSurface(640, 480);
        ASSERT_NE(sheet, nullptr);
        AttachPalette(sheet, CreateSurfacePalette(TestTable().data()));
        FillSurface(sheet, BACKGROUND);
        Surface* box = CreateSurface(640, 480);
        FillSurface(box, BOX);
        display.windowSheet = sheet;
        display.systemSheet = box;
        message.textOriginX = 60;
        message.textOriginY = 355;
    }
    void TearDown() override {
        DisplayTest::TearDown();
        std::free(message.scriptText);
        message = {};
    }


    void Load(const std::string& text) {
        std::free(message.scriptText);
        message.scriptText = static_cast<uint8_t*>(std::malloc(text.size() ? text.size() : 1));
        std::memcpy(message.scriptText, text.data(), text.size());
        message.scriptSize = static_cast<uint32_t>(text.size());
    }
    int Call(uint8_t id, uint16_t keys = 0) {
        keysPressed = keys;
        return TypeMessage(0, message.scriptText, message.textOriginX, message.textOriginY, 21, sheet, 255, 255, 255,
                           id);
    }
};

// One call and the state it leaves; ANY where it does not matter.
struct Step {
    uint16_t keys;
    int result, pos, penX, penY, wait, cursor;
};
struct Scenario {
    const char* name;
    std::string text;
    uint8_t id;
    std::vector<Step> steps;
};

const uint16_t Z = KEY_Z, F1 = KEY_F1, SP = KEY_SPACE;

const Scenario scenarios[] = {
    // "<<": the second "<" is a code byte without meaning.
    {"double open", "tx0A<<B<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 6, 14, 0, 0, 0}, {0, 0, 7, 30, 0, 0, 0}, {0, 0, 7, 30, 0, 1, 0},
      {0, 0, 7, 30, 0, 1, 1}, {Z, 1, 0, 0, 0, 0, 1}}},
    // A key on the very frame the wait begins ends it there; the cursor is never shown.
    {"key as the wait begins", "tx0<!", '0', {{SP, 1, 0, 0, 0, 0, 0}}},
    {"any of the keys", "tx0<!", '0', {{0, 0, 3, 0, 0, 1, 0}, {KEY_DOWN, 1, 0, 0, 0, 0, 1}}},
    // F1 while typing does nothing.
    {"F1 while typing", "tx0AB<!", '0',
     {{F1, 0, 4, 14, 0, 0, 0}, {F1, 0, 5, 30, 0, 0, 0}, {0, 0, 5, 30, 0, 1, 0}, {F1, 1, 0, 0, 0, 0, 1}}},
    // F1 on the frame a page break is reached only turns the page.
    {"F1 at a page break's first frame", "tx0A<*B<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {F1, 0, 6, 0, 0, 0, 0}, {0, 0, 7, 16, 0, 0, 0}, {0, 0, 7, 16, 0, 1, 0},
      {F1, 1, 0, 0, 0, 0, 1}}},
    // From the wait's second frame F1 ends the whole message; the next page is never typed.
    {"F1 at a page break's second frame", "tx0A<*B<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 4, 14, 0, 1, 0}, {0, 0, 4, 14, 0, 1, 1}, {F1, 1, 0, 0, 0, 0, 1},
      {0, 0, 4, 14, 0, 0, 0}}},
    {"page break with a key", "tx0AB<*C<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 5, 30, 0, 0, 0}, {0, 0, 5, 30, 0, 1, 0}, {Z, 0, 7, 0, 0, 0, 1},
      {0, 0, 8, 14, 0, 0, 0}}},
    // "</" moves down a line; on the fourth line it is a page break.
    {"new lines", "tx0A</B</C</D</E<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 6, 0, 20, 0, 0}, {0, 0, 7, 16, 20, 0, 0}, {0, 0, 9, 0, 40, 0, 0},
      {0, 0, 10, 14, 40, 0, 0}, {0, 0, 12, 0, 60, 0, 0}, {0, 0, 13, 16, 60, 0, 0}, {0, 0, 13, 16, 60, 1, 0},
      {0, 0, 13, 16, 60, 1, 1}, {KEY_X, 0, 15, 0, 0, 0, 1}, {0, 0, 16, 15, 0, 0, 0}}},
    {"fourth line break with a key at once", "tx0</</</A</B<!", '0',
     {{0, 0, 5, 0, 20, 0, 0}, {0, 0, 7, 0, 40, 0, 0}, {0, 0, 9, 0, 60, 0, 0}, {0, 0, 10, 14, 60, 0, 0},
      {Z, 0, 12, 0, 0, 0, 0}, {0, 0, 13, 16, 0, 0, 0}}},
    // Sound codes: the byte after "<wv" is stepped over whatever it is; "<w" leaves a byte other than "v".
    {"sound 8", "tx0<wv8A<!", '0', {{0, 0, 7, 0, 0, 0, 0}, {0, 0, 8, 14, 0, 0, 0}}},
    {"sound 3", "tx0<wv3A<!", '0', {{0, 0, 7, 0, 0, 0, 0}, {0, 0, 8, 14, 0, 0, 0}}},
    {"sound without v", "tx0<wxA<!", '0', {{0, 0, 5, 0, 0, 0, 0}, {0, 0, 6, 10, 0, 0, 0}, {0, 0, 7, 24, 0, 0, 0}}},
    // "<wv" steps over the byte after it even when that is a "<": the "!" left is typed.
    {"sound code v then code", "tx0<wv<!", '0', {{0, 0, 7, 0, 0, 0, 0}, {0, 0, 8, 7, 0, 0, 0}, {0, 0, 8, 7, 0, 1, 0}}},
    // "<+" is a gap as wide as a space; other codes are stepped over.
    {"gap", "tx0<+A<!", '0', {{0, 0, 5, 10, 0, 0, 0}, {0, 0, 6, 24, 0, 0, 0}}},
    {"gap and space", "tx0 <+", '0', {{0, 0, 4, 10, 0, 0, 0}, {0, 0, 6, 20, 0, 0, 0}}},
    {"ignored codes", "tx0<zA<\x81<\nB<!", '0',
     {{0, 0, 5, 0, 0, 0, 0}, {0, 0, 6, 14, 0, 0, 0}, {0, 0, 8, 14, 0, 0, 0}, {0, 0, 10, 14, 0, 0, 0},
      {0, 0, 11, 30, 0, 0, 0}}},
    {"line-end bytes typed with no advance", "tx0A\r\nB<!", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 5, 14, 0, 0, 0}, {0, 0, 6, 14, 0, 0, 0}, {0, 0, 7, 30, 0, 0, 0}}},
    // The search: the first marker from the start of the file, with its byte stepping.
    {"earlier marker inside another message", "tx1Xtx0Y<!tx0Z<!", '0', {{0, 0, 8, 13, 0, 0, 0}}},
    {"t t x id is stepped over", "ttx0A<!tx0B<!", '0', {{0, 0, 11, 16, 0, 0, 0}}},
    {"t x t x id is stepped over", "txtx0A<!tx0B<!", '0', {{0, 0, 12, 16, 0, 0, 0}}},
    {"top-bit byte skipped alone", "\x82tx0A<!", '0', {{0, 0, 5, 14, 0, 0, 0}}},
    {"top-bit byte before x", "\x82t\x82x0A<!tx0B<!", '0', {{0, 0, 12, 16, 0, 0, 0}}},
    {"ids are bytes", "tx#A<!tx$B<!", '$', {{0, 0, 10, 16, 0, 0, 0}}},
    // One item per call: three characters and the end take four calls even with a key held down.
    {"pacing", "tx0ABC<!", '0', {{Z, 0, 4, ANY, 0, 0, 0}, {Z, 0, 5, ANY, 0, 0, 0}, {Z, 0, 6, ANY, 0, 0, 0},
                                 {Z, 1, 0, 0, 0, 0, 0}}},
    // Ends that the file may lack: each types what there is, waits for a key, and ends.
    {"missing id", "tx0A<!", '5', {{0, 1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0}}},
    {"empty file", "", '0', {{0, 1, 0, 0, 0, 0, 0}}},
    {"no end code", "tx0AB", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 5, 30, 0, 0, 0}, {0, 0, 5, 30, 0, 1, 0}, {0, 0, 5, 30, 0, 1, 1},
      {Z, 1, 0, 0, 0, 0, 1}}},
    {"no end code, F1", "tx0A", '0', {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 4, 14, 0, 1, 0}, {F1, 1, 0, 0, 0, 0, 1}}},
    {"marker at the very end", "tx0", '0', {{0, 0, 3, 0, 0, 1, 0}, {SP, 1, 0, 0, 0, 0, 1}}},
    {"id missing after the last tx", "Atx", '0', {{0, 1, 0, 0, 0, 0, 0}}},
    {"open code as the last byte", "tx0A<", '0',
     {{0, 0, 4, 14, 0, 0, 0}, {0, 0, 4, 14, 0, 1, 0}, {0, 0, 4, 14, 0, 1, 1}, {Z, 1, 0, 0, 0, 0, 1}}},
    {"open code as the last byte, key at once", "tx0<", '0', {{Z, 1, 0, 0, 0, 0, 0}}},
    {"sound code cut after v", "tx0<wv", '0', {{0, 0, 6, 0, 0, 0, 0}, {0, 0, 6, 0, 0, 1, 0}, {Z, 1, 0, 0, 0, 0, 1}}},
    {"sound code cut after w", "tx0<w", '0', {{0, 0, 5, 0, 0, 0, 0}, {Z, 1, 0, 0, 0, 0, 0}}},
    // Bytes 0x7F-0xFF in a body take no room.
    {"high bytes", "tx0\x82\xa0\x7f" "A<!", '0',
     {{0, 0, 4, 0, 0, 0, 0}, {0, 0, 5, 0, 0, 0, 0}, {0, 0, 6, 0, 0, 0, 0}, {0, 0, 7, 14, 0, 0, 0}}},
};

TEST_F(MessageWindow, Scenarios) {
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        std::free(message.scriptText);
        message = {};
        message.textOriginX = 60;
        message.textOriginY = 355;
        Load(s.text);
        int n = 0;
        for (const Step& step : s.steps) {
            SCOPED_TRACE("call " + std::to_string(++n));
            EXPECT_EQ(Call(s.id, step.keys), step.result);
            EXPECT_EQ(message.scriptPos, step.pos);
            if (step.penX != ANY) {
                EXPECT_EQ(message.penX, step.penX);
            }
            EXPECT_EQ(message.penY, step.penY);
            EXPECT_EQ(message.keyWait, step.wait);
            EXPECT_EQ(sprites[4].active, step.cursor);
            EXPECT_EQ(message.messageFound, step.result == 1 ? 0 : 1);
        }
    }
}

TEST_F(MessageWindow, TwoMessagesInARowSearchFromTheStart) {
    Load("tx0A<!tx1B<!");
    EXPECT_EQ(Call('0'), 0);
    EXPECT_EQ(Call('0', Z), 1);
    EXPECT_EQ(Call('1'), 0);
    EXPECT_EQ(message.scriptPos, 10);
    EXPECT_EQ(message.penX, 16);
    EXPECT_EQ(Call('1', Z), 1);
    EXPECT_EQ(Call('0'), 0);  // and the first again
    EXPECT_EQ(message.scriptPos, 4);
}

// Sound codes, seen through the frame trace's list of effects played.
TEST_F(MessageWindow, SoundCodesPlayEffectSlotsZeroToSeven) {
    std::string trace = MakeTempDir("text-sounds") + "/trace.jsonl";
    ASSERT_EQ(OpenTrace(trace.c_str()), 1);
    InitSound(0);  // the trace lists only sounds that start: every effect slot holds one
    const std::vector<uint8_t> click = MakeWav58(1, 22050, 8, std::vector<uint8_t>(64, 200));
    for (int slot = 0; slot < 8; ++slot) ASSERT_EQ(FillSlotFromWavImage(click.data(), click.size(), slot), 1);
    Load("tx0<wv0<wv7<wv3<wv8<wv9<wvx<wv/<wx<w<wv5<!");
    for (int frame = 0; frame < 12; frame++) {
        Call('0');
        WriteTraceLine();
    }
    CloseTrace();
    ResetSound();
    std::vector<std::string> lines = ReadLines(trace);
    ASSERT_EQ(lines.size(), 12u);
    // "<wx" leaves the "x" to be typed next; "<w<" leaves the "<" to start "<wv5".
    const char* plays[] = {"[0]", "[7]", "[3]", "[]", "[]", "[]", "[]", "[]", "[]", "[]", "[5]", "[]"};
    for (int frame = 0; frame < 12; frame++) {
        std::string tail = lines[frame].substr(lines[frame].find("\"plays\""));
        EXPECT_EQ(tail.find(std::string("\"plays\":") + plays[frame]), 0u) << "frame " << frame << ": " << tail;
    }
    // The message state is on every line.
    EXPECT_NE(lines[0].find("\"message\":{\"found\":1,\"wait\":0,\"pos\":7,\"penX\":0,\"penY\":0}"),
              std::string::npos)
        << lines[0].substr(lines[0].find("\"plays\""));
}

TEST_F(MessageWindow, ScreenShakeCode) {
    Load("tx0<qA<!");
    spriteState.shakeFrame = 0;
    EXPECT_EQ(Call('0'), 0);
    EXPECT_EQ(message.scriptPos, 5);
    EXPECT_EQ(spriteState.shakeFrame, 5);  // the whole shake ran within the call
    EXPECT_EQ(spriteState.baseRect.right - spriteState.baseRect.left, 640);
}

TEST_F(MessageWindow, KeyWaitCursorAnimatesFromWhereItLeftOff) {
    Load("tx0<*<!");
    EXPECT_EQ(Call('0'), 0);  // the wait begins: no cursor step yet
    EXPECT_EQ(message.keyWaitSequence[0], 0);
    for (int frame = 1; frame <= 8; frame++) Call('0');
    EXPECT_EQ(message.keyWaitSequence[0], 8);
    EXPECT_EQ(message.keyWaitSequence[21], 1);
    Call('0');  // ninth frame of the cursor: first cell, column 17
    EXPECT_EQ(sprites[4].srcLeft, 17 * 32);
    EXPECT_EQ(sprites[4].srcRight, 18 * 32);
    EXPECT_EQ(sprites[4].srcTop, 0);
    EXPECT_EQ(sprites[4].srcBottom, 32);
    for (int frame = 0; frame < 9; frame++) Call('0');
    EXPECT_EQ(sprites[4].srcLeft, 18 * 32);
    EXPECT_EQ(Call('0', Z), 0);  // next page: the end code, whose wait goes on with the animation
    EXPECT_EQ(Call('0'), 0);
    EXPECT_EQ(sprites[4].active, 0);
    for (int frame = 0; frame < 8; frame++) Call('0');
    EXPECT_EQ(sprites[4].active, 1);
    EXPECT_EQ(sprites[4].srcLeft, 17 * 32);
    EXPECT_EQ(message.keyWaitSequence[21], 4);
    EXPECT_EQ(Call('0', KEY_C), 1);
}

TEST_F(MessageWindow, TypedCharacterAndItsShadow) {
    Load("tx0AV<!");
    Call('0');
    Call('0');
    std::vector<uint8_t> pixels = SurfacePixels(sheet);

    // Each glyph as drawn by itself; the window draws shadow then glyph, character by character.
    std::vector<uint8_t> expected(640 * 480, BACKGROUND);
    Surface* reference = CreateSurface(640, 480);
    AttachPalette(reference, CreateSurfacePalette(TestTable().data()));
    const std::pair<const char*, int> typed[] = {{"A", 60}, {"V", 60 + 14}};
    for (auto [text, x0] : typed) {
        FillSurface(reference, 0);
        DrawTextLine(text, GAME_FACE, x0, 355, 21, reference, 255, 255, 255);
        std::vector<uint8_t> glyph = SurfacePixels(reference);
        int inked = 0;
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (glyph[y * 640 + x] == WHITE_INDEX) {
                    inked++;
                    ASSERT_TRUE(x >= x0 && x < x0 + 20 && y >= 355 && y < 355 + 21) << x << "," << y;
                    expected[(y + 2) * 640 + x + 2] = BLACK_INDEX;
                }
        EXPECT_GT(inked, 20);
        for (int i = 0; i < 640 * 480; i++)
            if (glyph[i] == WHITE_INDEX) expected[i] = WHITE_INDEX;
    }
    EXPECT_EQ(pixels, expected);
}

TEST_F(MessageWindow, LinesPagesAndEndsOnTheSheet) {
    Load("tx0A</B<*C<\x80\xff<!");
    Call('0');
    Call('0');
    Call('0');  // B on the second line
    std::vector<uint8_t> pixels = SurfacePixels(sheet);
    auto inked = [&](int top, int bottom) {
        int n = 0;
        for (int y = top; y < bottom; y++)
            for (int x = 60; x < 100; x++) n += pixels[y * 640 + x] == WHITE_INDEX;
        return n;
    };
    EXPECT_GT(inked(355, 375), 0);
    EXPECT_GT(inked(375, 395), 0);
    EXPECT_EQ(inked(395, 480), 0);
    Call('0');
    Call('0', SP);  // the page turns: the box is cleared
    pixels = SurfacePixels(sheet);
    for (int y = 342; y < 448; y++)
        for (int x = 48; x < 590; x++) ASSERT_EQ(pixels[y * 640 + x], BOX);
    EXPECT_EQ(pixels[341 * 640 + 100], BACKGROUND);
    Call('0');  // C
    Call('0');  // the code bytes 0x80 and 0xFF: ignored
    EXPECT_EQ(message.scriptPos, 12);
    pixels = SurfacePixels(sheet);
    EXPECT_GT(inked(355, 375), 0);
    Call('0');  // 0xFF as a character: nothing drawn, no advance
    EXPECT_EQ(message.penX, 14);
    EXPECT_EQ(SurfacePixels(sheet), pixels);
    EXPECT_EQ(Call('0', Z), 1);
    pixels = SurfacePixels(sheet);
    EXPECT_EQ(inked(355, 375), 0);
}

TEST_F(MessageWindow, LostSheetTypesNothingButGoesOn) {
    Load("tx0AB<!");
    ReleaseSurface(sheet);
    EXPECT_EQ(Call('0'), 0);
    EXPECT_EQ(Call('0'), 0);
    EXPECT_EQ(message.penX, 30);
    EXPECT_EQ(Call('0', Z), 1);
    display.windowSheet = nullptr;
}

TEST(CharacterWidths, TableFollowsTheRules) {
    int expected[128];
    for (int b = 0; b < 128; b++) expected[b] = b <= 0x1E || b == 0x7F ? 0 : 10;
    expected['!'] = 7;
    expected['"'] = expected['\''] = 9;
    const int upper[26] = {14, 16, 14, 16, 15, 13, 15, 13, 8, 9, 12, 14, 16, 16, 16, 13, 16, 14, 11, 12, 13, 13, 19,
                           16, 13, 16};
    for (int i = 0; i < 26; i++) expected['A' + i] = upper[i];
    const std::pair<char, int> lower[] = {{'d', 11}, {'f', 8}, {'i', 7}, {'j', 7}, {'k', 9}, {'l', 6},
                                          {'m', 12}, {'r', 8}, {'s', 8}, {'t', 7}, {'w', 14}, {'z', 9}};
    for (auto [c, w] : lower) expected[static_cast<int>(c)] = w;
    for (int b = 0; b < 128; b++) EXPECT_EQ(charWidthTable[b], expected[b]) << "byte " << b;
}

class ScriptFile : public DisplayTest {
protected:
    std::filesystem::path dir, previous;
    Window window = 0;
    void SetUp() override {
        DisplayTest::SetUp();
        ASSERT_EQ(RegisterWindowClass("Win32A", WindowProc, "icon"), 1);
        window = CreateMainWindow("Win32A", "kirake");
        ASSERT_NE(window, 0);
        previous = std::filesystem::current_path();
        char name[] = "/tmp/kirake-script-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        std::filesystem::current_path(dir);
        std::free(message.scriptText);
        message = {};
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
        std::free(message.scriptText);
        message = {};
        DisplayTest::TearDown();
    }
};

TEST_F(ScriptFile, ReadsEveryByteUnterminated) {
    std::string text("tx0Hello<!\0\xff\r\ntx1<!", 20);
    std::ofstream(dir / "data.txt", std::ios::binary) << text;
    LoadScriptText(0);
    ASSERT_EQ(message.scriptSize, text.size());
    ASSERT_NE(message.scriptText, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(message.scriptText), message.scriptSize), text);
}

// The file is missing: the message box, then a close for the window.
void ExpectLoadFailure(Window window) {
    testing::internal::CaptureStderr();
    LoadScriptText(window);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("MessageBox: Push return: ロード失敗"), std::string::npos) << errors;
    EXPECT_EQ(message.scriptText, nullptr);
    EXPECT_EQ(message.scriptSize, 0u);
    Message posted{};
    ASSERT_EQ(PeekWindowMessage(&posted), 1);
    ASSERT_EQ(GetWindowMessage(&posted), 1);
    EXPECT_EQ(posted.id, MSG_CLOSE);
    EXPECT_EQ(posted.window, window);
}

TEST_F(ScriptFile, MissingOrShortFileLeavesNoText) {
    ExpectLoadFailure(window);  // no file at all
    // Every message of a missing script ends at once.
    EXPECT_EQ(TypeMessage(0, message.scriptText, 60, 355, 21, nullptr, 255, 255, 255, '0'), 1);

    // A file that reads shorter than its size (a sysfs file claims a page and gives a few bytes).
    std::error_code error;
    std::filesystem::create_symlink("/sys/devices/system/cpu/online", dir / "data.txt", error);
    uint32_t size = 0;
    if (error || !GetDataFileSize("data.txt", &size) || size <= 16) GTEST_SKIP() << "no short-reading file here";
    ExpectLoadFailure(window);
}

}  // namespace

// The whole program: without data.txt it shows the box, names the file and folder on standard error
// and ends with status 1 before any frame runs.
TEST(ScriptFileProgram, MissingScriptEndsTheProgramBeforeAnyFrame) {
    std::string dir = MakeTempDir("text-no-script");
    std::string errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", dir, "--frames", "20", "--trace", dir + "/trace.jsonl"}, &errors), 1);
    EXPECT_NE(errors.find("MessageBox: Push return: ロード失敗"), std::string::npos) << errors;
    EXPECT_NE(errors.find("kirake: cannot read the story script data.txt in the data folder " + dir), std::string::npos)
        << errors;
    EXPECT_TRUE(ReadLines(dir + "/trace.jsonl").empty());

    // With a script the same folder runs its frames, and each frame line carries the message state.
    WriteFile(dir + "/DATA.TXT", {'t', 'x', '0', 'A', '<', '!'});
    EXPECT_EQ(RunKirake({"--headless", "--data", dir, "--frames", "3", "--trace", dir + "/trace.jsonl"}, &errors), 0);
    EXPECT_EQ(errors.find("MessageBox"), std::string::npos) << errors;
    std::vector<std::string> lines = ReadLines(dir + "/trace.jsonl");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("\"message\":{\"found\":0,\"wait\":0,\"pos\":0,\"penX\":0,\"penY\":0}"), std::string::npos)
        << lines[0];
}

// The message on screen: typed onto the window sheet, composed with the key-wait cursor, flipped and
// captured by the headless backend.
TEST(MessageOnScreen, TypedMessageIsComposedAndCaptured) {
    std::string dir = MakeTempDir("text-capture");
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const int frames = 60;
    PlatformOptions options;
    options.headless = true;
    options.captureList = std::to_string(frames - 1);
    options.captureDir = dir;
    std::string error;
    ASSERT_TRUE(PlatformStart(options, &error)) << error;

    // Pictures: a window sheet with a dark message box over a gradient, a system sheet with the empty box
    // and the cursor cells. Index 0 black, 255 white, 20 the box, 9 the colour key.
    std::vector<PaletteEntry> table(256);
    for (int i = 0; i < 256; i++) table[i] = {uint8_t(i), uint8_t(i / 2 + 60), uint8_t(200 - i / 2), 0};
    table[0] = {0, 0, 0, 0};
    table[255] = {255, 255, 255, 0};
    table[20] = {20, 30, 90, 0};
    table[9] = {255, 0, 255, 0};
    std::vector<uint8_t> window(640 * 480), system(640 * 480, 9);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            window[y * 640 + x] = y >= 342 && y < 448 && x >= 48 && x < 590 ? 20 : uint8_t((x + y) / 5 % 200 + 30);
    for (int y = 0; y < 106; y++)
        for (int x = 0; x < 542; x++) system[y * 640 + x] = 20;
    for (int y = 0; y < 32; y++)
        for (int x = 544; x < 640; x++)
            if (std::abs(x % 32 - 16) < 16 - y / 2) system[y * 640 + x] = 255;
    WriteFile(dir + "/game_w.BMP", MakeBmp(640, 480, window, table));
    WriteFile(dir + "/system.BMP", MakeBmp(640, 480, system, table));

    OpenTestDisplay(table.data());
    ASSERT_EQ(LoadSheet(&display.windowSheet, "game_w.BMP"), 1);
    ASSERT_EQ(LoadSheet(&display.systemSheet, "system.BMP"), 1);
    SetSheetColorKeys(1);
    sprites[4] = {0, 550, 412, 544, 0, 576, 32, display.systemSheet};

    std::free(message.scriptText);
    message = {};
    std::string text = "tx0Good morning!</\"Text<+types itself,\" she said.<!";
    message.scriptText = static_cast<uint8_t*>(std::malloc(text.size()));
    std::memcpy(message.scriptText, text.data(), text.size());
    message.scriptSize = static_cast<uint32_t>(text.size());
    for (int frame = 0; frame < frames; frame++) {
        keysPressed = 0;
        EXPECT_EQ(TypeMessage(1, message.scriptText, 60, 355, 21, display.windowSheet, 255, 255, 255, '0'), 0);
        DrawBaseLayer(1);
        DrawSprites(1);
        FlipPage(1);
        FrameShown();
    }
    EXPECT_EQ(message.keyWait, 1);
    EXPECT_EQ(sprites[4].active, 1);

    // What was shown: both lines in white with black shadows inside the box, the cursor, nothing else.
    int pitch = 0;
    const uint8_t* shown = LockSurface(display.primary, &pitch);
    ASSERT_NE(shown, nullptr);
    auto count = [&](int index, int left, int top, int right, int bottom) {
        int n = 0;
        for (int y = top; y < bottom; y++)
            for (int x = left; x < right; x++) n += shown[y * pitch + x] == index;
        return n;
    };
    EXPECT_GT(count(255, 60, 355, 200, 375), 100);  // first line
    EXPECT_GT(count(0, 62, 357, 202, 377), 50);     // its shadow
    EXPECT_GT(count(255, 60, 375, 450, 395), 200);  // second line
    EXPECT_EQ(count(255, 48, 342, 590, 355), 0);
    EXPECT_EQ(count(255, 48, 397, 550, 448), 0);
    EXPECT_GT(count(255, 550, 412, 582, 444), 50);  // the key-wait cursor
    UnlockSurface(display.primary);
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%06d.png", frames - 1);
    EXPECT_TRUE(std::filesystem::exists(dir + name));

    DisplayRelease();
    display = DisplayState{};
    PlatformStop();
    std::free(message.scriptText);
    message = {};
    std::filesystem::current_path(previous);
}
