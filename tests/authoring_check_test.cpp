// The data checker against folders made here: a clean one passes, and each kind of damage is found.
// Also the default data folder of the build.
#include <gtest/gtest.h>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include "../tools/common/wav58.h"
#include "test_support.h"

using namespace authoring;

namespace {

const char IDS[] = "0123456789#$%&:-?,.";

std::string MessageLine(char id, const std::string& body) { return std::string("tx") + id + body + "<!\n"; }

std::string CleanScript(char changed = 0, const std::string& body = "") {
    std::string text = "Notes for authors may stand before the first marker.\n";
    for (const char* p = IDS; *p; ++p)
        text += MessageLine(*p, *p == changed ? body : "<wv5Hello.</A second line.<*<+A new page<q.");
    return text;
}

// An uncompressed bottom-up BMP filled with one index; `bits` 8 (with `colours` table entries) or 24.
std::vector<uint8_t> MakeBmp(int w, int h, uint8_t fill, int bits = 8, int colours = 256) {
    int table = bits == 8 ? colours : 0;
    size_t stride = (size_t(w) * bits / 8 + 3) & ~size_t(3);
    size_t offset = 14 + 40 + 4 * size_t(table);
    std::vector<uint8_t> b(offset + stride * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    Set32(b, 2, uint32_t(b.size()));
    Set32(b, 10, uint32_t(offset));
    Set32(b, 14, 40);
    Set32(b, 18, uint32_t(w));
    Set32(b, 22, uint32_t(h));
    Set16(b, 26, 1);
    Set16(b, 28, uint16_t(bits));
    Set32(b, 46, bits == 8 ? uint32_t(colours) : 0);
    for (int i = 0; i < table; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(i);
    for (int y = 0; y < h; ++y)
        for (size_t x = 0; x < size_t(w) * bits / 8; ++x) b[offset + stride * y + x] = fill;
    return b;
}

// Sets one pixel of an 8-bit picture made by MakeBmp (x, y from the top).
void SetPixel(std::vector<uint8_t>& b, int x, int y, uint8_t value) {
    int w = int(Get32(b, 18)), h = int(Get32(b, 22));
    size_t stride = (size_t(w) + 3) & ~size_t(3);
    b[Get32(b, 10) + stride * size_t(h - 1 - y) + size_t(x)] = value;
}

struct Picture {
    const char* name;
    int w, h;
};
const Picture PICTURES[] = {
    {"game_w.BMP", 640, 480},  {"game_w2.BMP", 640, 480}, {"black.BMP", 640, 480},   {"ochi.BMP", 640, 480},
    {"happy.BMP", 640, 480},   {"ijyou.BMP", 640, 480},   {"sakura.BMP", 640, 480},  {"stage1.BMP", 512, 272},
    {"stage2.BMP", 512, 272},  {"stage3.BMP", 512, 272},  {"sensei.BMP", 512, 272},  {"hiyori.BMP", 512, 272},
    {"heren.BMP", 512, 272},   {"fuuya1.BMP", 512, 272},  {"hiyori2.BMP", 512, 272}, {"heren2.BMP", 512, 272},
    {"fuuya2.BMP", 512, 272},  {"hiyorin.BMP", 300, 300}, {"Heren3.BMP", 300, 300},  {"fuuya.BMP", 300, 300},
    {"System.BMP", 640, 384},  {"system2.BMP", 640, 384},
};
const char* EFFECTS[] = {"End.wav", "Crash.wav", "Houtyo.wav", "Han.wav",
                         "mag.wav", "messg.wav", "hako3.wav",  "punch3.wav"};

std::vector<uint8_t> MakeEffect() {
    std::vector<uint8_t> samples(200);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t(i * 37);
    return MakeWav58(1, 22050, 16, samples);
}

std::vector<uint8_t> MakeSong(int steps = 4) {
    std::vector<uint8_t> b(1048 + 16 * size_t(steps), 0);
    Set32(b, 8, 100);
    Set32(b, 16, uint32_t(steps));
    Set32(b, 20, uint32_t(steps));
    for (int t = 0; t < 3; ++t) {
        b[24 + 340 * t] = 3;
        Set32(b, 24 + 340 * t + 4, 1000);
        Set32(b, 24 + 340 * t + 8, 200);
    }
    Set32(b, 1044, 200);
    for (int s = 0; s < 4 * steps; ++s) Set32(b, 1048 + 4 * size_t(s), s % 3 == 0 ? 0x04000001u : 0);
    return b;
}

// A complete, clean data folder (pictures in bmp/), made once and copied for each case.
const fs::path& CleanFolder() {
    static ScratchDir dir;
    static bool made = false;
    if (!made) {
        WriteText(dir.path() / "data.txt", CleanScript());
        fs::create_directories(dir.path() / "bmp");
        for (const Picture& p : PICTURES) WriteBytes(dir.path() / "bmp" / p.name, MakeBmp(p.w, p.h, 1));
        for (const char* e : EFFECTS) WriteBytes(dir.path() / e, MakeEffect());
        for (const char* s : {"kura3.pmd", "koi.pmd", "end.pmd"}) WriteBytes(dir.path() / s, MakeSong());
        made = true;
    }
    return dir.path();
}

RunResult Check(const fs::path& dir) { return RunTool({ToolPath("check", "kirake-check"), dir.string()}); }

void Patch(const fs::path& file, size_t at, uint32_t value) {
    std::vector<uint8_t> b = ReadBytes(file);
    Set32(b, at, value);
    WriteBytes(file, b);
}

}  // namespace

TEST(AuthoringCheck, CleanFolderPasses) {
    RunResult r = Check(CleanFolder());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("is clean"), std::string::npos) << r.output;
}

TEST(AuthoringCheck, FindsEachProblem) {
    using Edit = std::function<void(const fs::path&)>;
    struct Case {
        const char* what;
        Edit edit;
        const char* expected;  // in the report
        int problems;
    };
    auto script = [](char id, const std::string& body) {
        return [=](const fs::path& d) { WriteText(d / "data.txt", CleanScript(id, body)); };
    };
    auto picture = [](const char* name, std::vector<uint8_t> bytes) {
        return [=](const fs::path& d) { WriteBytes(d / "bmp" / name, bytes); };
    };
    std::vector<uint8_t> window9 = MakeBmp(640, 480, 1);
    SetPixel(window9, 17, 3, 9);
    std::vector<uint8_t> box9 = MakeBmp(640, 384, 1);
    SetPixel(box9, 100, 40, 9);
    std::vector<uint8_t> corner9 = MakeBmp(640, 384, 1);  // the box's corners may be transparent
    SetPixel(corner9, 0, 0, 9);
    SetPixel(corner9, 541, 105, 9);
    std::vector<uint8_t> cut = MakeBmp(512, 272, 1);
    cut.resize(cut.size() - 2000);
    auto recoloured = [](int w, int h, int index) {  // one colour table entry changed
        std::vector<uint8_t> b = MakeBmp(w, h, 1);
        b[54 + 4 * index] = 200;
        return b;
    };
    std::vector<uint8_t> wav44 = MakeEffect();
    wav44.erase(wav44.begin() + 36, wav44.begin() + 50);  // a plain 16-byte "fmt " chunk, no "fact"
    Set32(wav44, 16, 16);
    Set32(wav44, 4, uint32_t(wav44.size() - 8));

    const Case cases[] = {
        {"data.txt missing", [](const fs::path& d) { fs::remove(d / "data.txt"); }, "data.txt: missing", 1},
        {"message missing",
         [](const fs::path& d) {
             std::string text = CleanScript();
             size_t at = text.find("tx#");
             text.erase(at, text.find('\n', at) + 1 - at);
             WriteText(d / "data.txt", text);
         },
         "message '#' is missing", 1},
        {"message without its end code",
         [](const fs::path& d) {
             std::string text = CleanScript();
             text.resize(text.size() - 3);  // the last message loses "<!\n"
             WriteText(d / "data.txt", text);
         },
         "message '.' has no end code", 1},
        {"line too wide", script('5', "Short.</" + std::string(38, 'W')),
         "data.txt:7: message '5', page 1, line 2 is 722 pixels wide (at most 530)", 1},
        {"line exactly at the limit is fine", script('5', std::string(53, 'a')), nullptr, 0},
        {"page of five lines", script('6', "a</b</c</d</e<*f"), "message '6', page 1 has more than 4 lines", 1},
        {"four lines and a new page are fine", script('6', "a</b</c</d<*e</f"), nullptr, 0},
        {"marker inside earlier text", script('1', "Press the button tx4 now."),
         "data.txt:3: message '4': the game finds \"tx4\" here, before the marker on line 6", 1},
        {"marker only inside text",
         [](const fs::path& d) {
             std::string text = CleanScript('1', "A tx? in the middle.");
             size_t at = text.find("\ntx?");
             text.erase(at + 1, text.find('\n', at + 1) - at);
             WriteText(d / "data.txt", text);
         },
         "message '?': the only \"tx?\" is inside other text", 1},
        {"broken sound code", script('2', "Boom<wv9!"), "message '2' has a sound code that plays nothing", 1},
        {"sound code without v", script('2', "Boom<w5"), "message '2' has a sound code that plays nothing", 1},
        {"unknown code", script('3', "Less <than"), "message '3' has an unknown code \"<t\"", 1},
        {"line end inside a message", script('8', "One\nTwo"), "message '8' has a line end inside its text", 1},
        {"byte above 127", script('9', "Caf\xe9"), "not single-byte text: 1 bytes above 127", 2},
        {"picture missing", [](const fs::path& d) { fs::remove(d / "bmp" / "stage2.BMP"); },
         "bmp/stage2.BMP: missing", 1},
        {"not a picture", picture("ochi.BMP", {'G', 'I', 'F', '8'}), "bmp/ochi.BMP: not a BMP picture", 1},
        {"24-bit picture", picture("sensei.BMP", MakeBmp(512, 272, 1, 24)), "bmp/sensei.BMP: a 24-bit picture", 1},
        {"small colour table", picture("hiyori.BMP", MakeBmp(512, 272, 1, 8, 16)),
         "bmp/hiyori.BMP: its colour table has 16 entries; 256 are needed", 1},
        {"wrong size", picture("fuuya2.BMP", MakeBmp(500, 272, 1)),
         "bmp/fuuya2.BMP: is 500x272; the story draws it in the partner place at 512x272", 1},
        {"portrait size", picture("Heren3.BMP", MakeBmp(320, 240, 1)), "bmp/Heren3.BMP: is 320x240", 1},
        {"parts picture too small", picture("system2.BMP", MakeBmp(320, 240, 1)),
         "bmp/system2.BMP: is 320x240; the parts the story cuts from it reach 640x384", 1},
        {"window picture with index 9", picture("happy.BMP", window9),
         "bmp/happy.BMP: uses the transparent index 9 in 1 pixels (first at 17,3)", 1},
        {"message box with index 9", picture("System.BMP", box9), "old text would show through", 1},
        {"message box corners may be transparent", picture("System.BMP", corner9), nullptr, 0},
        {"colour table off the master's where it is drawn", picture("stage2.BMP", recoloured(512, 272, 1)),
         "bmp/stage2.BMP: its colour table differs from bmp/System.BMP's at 1 index its pixels use (first 1: "
         "#0101c8 here, #010101 there); the screen takes its colours from bmp/System.BMP", 1},
        {"colour table off the master's where it is not drawn", picture("stage2.BMP", recoloured(512, 272, 200)),
         nullptr, 0},
        {"ending portrait with its own colours",
         [=](const fs::path& d) { WriteBytes(d / "bmp" / "hiyorin.BMP", recoloured(300, 300, 1)); },
         "bmp/sakura.BMP: its colour table differs from bmp/hiyorin.BMP's", 1},
        {"broken pixel data", picture("stage1.BMP", cut), "bmp/stage1.BMP: the picture data is broken", 1},
        {"names in any case, pictures beside data.txt",
         [](const fs::path& d) {
             fs::rename(d / "bmp" / "stage3.BMP", d / "STAGE3.bmp");
             fs::rename(d / "End.wav", d / "end.WAV");
         },
         nullptr, 0},
        {"effect missing", [](const fs::path& d) { fs::remove(d / "mag.wav"); }, "mag.wav: missing", 1},
        {"effect not RIFF", [](const fs::path& d) { Patch(d / "Han.wav", 0, 0x46464952u + 1); },
         "Han.wav: does not start with \"RIFF\"", 1},
        {"effect with a 44-byte head", [=](const fs::path& d) { WriteBytes(d / "Crash.wav", wav44); },
         "Crash.wav: does not have the 58-byte head", 1},
        {"effect head explained", [=](const fs::path& d) { WriteBytes(d / "Crash.wav", wav44); },
         "`kirake-sfx import IN.wav OUT.wav` writes any PCM WAV in the game's layout", 1},
        {"effect data past the end", [](const fs::path& d) { Patch(d / "punch3.wav", 54, 100000); },
         "punch3.wav: its data length 100000 runs past the end of the file", 1},
        {"effect in a strange format", [](const fs::path& d) { Patch(d / "messg.wav", 20, 0x00010003u); },
         "messg.wav: not a plain PCM format", 1},
        {"song missing", [](const fs::path& d) { fs::remove(d / "koi.pmd"); }, "koi.pmd: missing", 1},
        {"song shorter than its header",
         [](const fs::path& d) { WriteBytes(d / "end.pmd", std::vector<uint8_t>(1000, 0)); },
         "end.pmd: shorter than the 1048-byte song header", 1},
        {"loop outside the song", [](const fs::path& d) { Patch(d / "kura3.pmd", 12, 4); },
         "kura3.pmd: loop step 4 is outside the song (0 to 3)", 1},
        {"negative loop", [](const fs::path& d) { Patch(d / "kura3.pmd", 12, 0xFFFFFFFFu); },
         "kura3.pmd: loop step -1 is outside the song", 1},
        {"song length 0", [](const fs::path& d) { Patch(d / "koi.pmd", 16, 0); }, "koi.pmd: song length 0", 1},
        {"track length 0", [](const fs::path& d) { Patch(d / "koi.pmd", 20, 0); }, "koi.pmd: track length 0", 1},
        {"song ends early", [](const fs::path& d) { Patch(d / "koi.pmd", 20, 5); },
         "koi.pmd: ends early: four tracks of 5 steps need 1128 bytes, the file has 1112", 1},
        {"pan index above 7", [](const fs::path& d) { Patch(d / "end.pmd", 1048 + 4 * 9, 0x08000001u); },
         "end.pmd: track 2: 1 steps with a pan index above 7 (first at step 1)", 1},
        {"octave shift above 19", [](const fs::path& d) { Patch(d / "end.pmd", 364, 20); },
         "end.pmd: instrument 1: octave shift 20", 1},
        {"note length below 4", [](const fs::path& d) { Patch(d / "end.pmd", 704 + 4, 3); },
         "end.pmd: instrument 2: note length 3 bytes", 1},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        CopyFolder(CleanFolder().string(), dir.path().string());
        c.edit(dir.path());
        RunResult r = Check(dir.path());
        if (c.problems == 0) {
            EXPECT_EQ(r.status, 0) << c.what << "\n" << r.output;
            continue;
        }
        EXPECT_EQ(r.status, 1) << c.what << "\n" << r.output;
        // Files are named as spelled in the folder; where the file system itself ignores case (Windows),
        // as the check asked for them.
        auto fold = [caseBlind = fs::exists(CleanFolder() / "DATA.TXT")](std::string text) {
            if (caseBlind) std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
            return text;
        };
        EXPECT_NE(fold(r.output).find(fold(c.expected)), std::string::npos)
            << c.what << ": expected \"" << c.expected << "\" in:\n" << r.output;
        std::string count = std::to_string(c.problems) + (c.problems == 1 ? " problem in" : " problems in");
        EXPECT_NE(r.output.find(count), std::string::npos) << c.what << ": expected " << count << " in:\n" << r.output;
    }
}

TEST(AuthoringCheck, UsageAndNoFolder) {
    EXPECT_EQ(RunTool({ToolPath("check", "kirake-check")}).status, 2);
    EXPECT_EQ(RunTool({ToolPath("check", "kirake-check"), "/nonexistent/folder"}).status, 2);
}

// The data folder the build makes passes the checker. The pictures come from their own tool; until they are
// part of the build, everything else in the folder is still checked.
TEST(AuthoringCheck, DefaultDataFolderPasses) {
    fs::path data = KIRAKE_DATA_DIR;
    RunResult r = Check(data);
    if (!fs::is_directory(data / "bmp")) {
        std::string rest;
        size_t start = 0;
        while (start < r.output.size()) {
            size_t end = r.output.find('\n', start);
            std::string line = r.output.substr(start, end - start);
            if (line.rfind("bmp/", 0) != 0 && line.rfind("kirake-check:", 0) != 0) rest += line + "\n";
            start = end == std::string::npos ? r.output.size() : end + 1;
        }
        EXPECT_EQ(rest, "") << "problems besides the missing pictures";
        GTEST_SKIP() << "no pictures in " << data << " yet; checked the story, effects and songs only";
    }
    EXPECT_EQ(r.status, 0) << r.output;
}

// A story in UTF-8 is drawn in the browser and on Windows from its glyph file: none is a note (the desktop
// needs none), one that lacks a character the story uses or is damaged is a problem.
TEST(AuthoringCheck, AUtf8StorysGlyphFileHoldsItsCharacters) {
    if (!fs::exists(fs::path(KIRAKE_UTF8_STORY_DIR) / "glyphs.kfnt")) GTEST_SKIP() << "no UTF-8 test story";
    ScratchDir dir;
    CopyFolder(KIRAKE_UTF8_STORY_DIR, dir.path().string());
    EXPECT_EQ(Check(dir.path()).status, 0);
    const std::vector<uint8_t> glyphs = ReadBytes(dir.path() / "glyphs.kfnt");
    fs::remove(dir.path() / "glyphs.kfnt");
    RunResult r = Check(dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("glyphs.kfnt: note: not in the folder"), std::string::npos) << r.output;
    WriteBytes(dir.path() / "glyphs.kfnt", glyphs);
    std::ofstream(dir.path() / "data.txt", std::ios::app) << "tx#\xE2\x82\xAC\n";  // a euro sign, not baked
    r = Check(dir.path());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("1 of the story's characters have no glyph here (the first: U+20AC)"), std::string::npos)
        << r.output;
    WriteBytes(dir.path() / "glyphs.kfnt", std::vector<uint8_t>(glyphs.begin(), glyphs.begin() + 100));
    EXPECT_NE(Check(dir.path()).output.find("glyphs.kfnt: not a glyph file, or damaged"), std::string::npos);
}

// Damaged and lying files are reported, never crash the checker.
TEST(AuthoringCheck, GarbageFilesNeverCrash) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "bmp");
    uint32_t state = 99;
    auto noise = [&](size_t n) {
        std::vector<uint8_t> b(n);
        for (uint8_t& x : b) x = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
        return b;
    };
    std::vector<uint8_t> script = noise(5000);
    for (size_t i = 0; i < script.size(); i += 97) script[i] = 't', script[i + 1] = 'x';
    WriteBytes(dir.path() / "data.txt", script);
    std::vector<uint8_t> huge = MakeBmp(8, 8, 9);
    Set32(huge, 18, 0x7FFFFFFF);  // a lying width
    std::vector<uint8_t> offset = MakeBmp(8, 8, 9);
    Set32(offset, 10, 0xFFFFFFF0u);  // pixels beyond the file
    std::vector<uint8_t> info = MakeBmp(8, 8, 9);
    Set32(info, 14, 0xFFFFFF00u);  // an enormous info header
    std::vector<std::vector<uint8_t>> pictures = {huge, offset, info, noise(10), noise(60), noise(3000)};
    int k = 0;
    for (const Picture& p : PICTURES) WriteBytes(dir.path() / "bmp" / p.name, pictures[k++ % pictures.size()]);
    std::vector<uint8_t> wav = MakeEffect();
    Set32(wav, 54, 0xFFFFFFFFu);
    Set32(wav, 4, 0xFFFFFFFFu);
    WriteBytes(dir.path() / "End.wav", wav);
    WriteBytes(dir.path() / "Crash.wav", noise(57));
    WriteBytes(dir.path() / "Han.wav", noise(200));
    std::vector<uint8_t> song = MakeSong();
    Set32(song, 20, 0x7FFFFFFF);
    WriteBytes(dir.path() / "kura3.pmd", song);
    Set32(song, 20, 0x80000000u);
    WriteBytes(dir.path() / "koi.pmd", song);
    WriteBytes(dir.path() / "end.pmd", noise(1100));
    RunResult r = Check(dir.path());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("problems in"), std::string::npos) << r.output;
}

// ---- A folder with a story script: checked by the way the script goes -----------------------------------

namespace {

// The clean folder with the default story's text and script: its pictures, effects and songs are the
// ones the script names.
bool MakeScriptFolder(const fs::path& dir) {
    fs::path data = KIRAKE_DATA_DIR;
    if (!fs::exists(data / "scenes.txt")) return false;
    CopyFolder(CleanFolder().string(), dir.string());
    fs::copy_file(data / "data.txt", dir / "data.txt", fs::copy_options::overwrite_existing);
    fs::copy_file(data / "scenes.txt", dir / "scenes.txt", fs::copy_options::overwrite_existing);
    return true;
}

// Replaces the first `from` in the folder's file by `to`.
void Replace(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = ReadText(file);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << file;
    WriteText(file, text.replace(at, from.size(), to));
}

// "FILE:LINE" of the line that holds `needle` in the folder's file.
std::string LineOf(const fs::path& dir, const std::string& file, const std::string& needle) {
    std::string text = ReadText(dir / file);
    size_t at = text.find(needle);
    if (at == std::string::npos) return file + ":?";
    return file + ":" + std::to_string(1 + std::count(text.begin(), text.begin() + long(at), '\n'));
}

}  // namespace

TEST(AuthoringCheck, ScriptFolderPasses) {
    ScratchDir dir;
    if (!MakeScriptFolder(dir.path())) GTEST_SKIP() << "no scenes.txt in the default data";
    RunResult r = Check(dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("note:"), std::string::npos) << "the default story uses every picture and message:\n" << r.output;
}

// Each fault in a copy of the default story is found at its file and line.
TEST(AuthoringCheck, ScriptFaultsFoundWhereWritten) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> edit;
        const char* file;    // where the report points (null: the report is about a file as a whole)
        const char* needle;  // the text of the line it points at, in that file after the edit
        const char* expected;
        int problems;        // 0: notes only, the folder passes
    };
    auto script = [](const std::string& from, const std::string& to) {
        return [=](const fs::path& d) { Replace(d / "scenes.txt", from, to); };
    };
    const std::string wide(40, 'W');
    std::vector<uint8_t> ownColours = MakeBmp(640, 480, 1);
    ownColours[54 + 4 * 1] = 200;  // the colour of the index its pixels use
    const Case cases[] = {
        {"unknown command", script("  say 1\n", "  sya 1\n"), "scenes.txt", "sya 1", "unknown command 'sya'", 1},
        {"jump to no place", script("goto hiyori-miss", "goto hiyori-mis"), "scenes.txt", "goto hiyori-mis\n",
         "'hiyori-mis' is no scene or label of the script", 1},
        {"message missing", script("say 8", "say Q"), "scenes.txt", "say Q", "message 'Q' is not in data.txt", 1},
        {"picture missing", script("load window ochi", "load window ochi2"), "scenes.txt", "ochi2",
         "picture 'ochi2.BMP' is not in the folder", 1},
        {"song missing", script("song load koi", "song load koi2"), "scenes.txt", "koi2",
         "song 'koi2.pmd' is not in the folder", 1},
        {"effect missing", [](const fs::path& d) { fs::remove(d / "Han.wav"); }, "scenes.txt", "sound Han",
         "effect 3 (Han.wav) is not in the folder", 3},
        {"variable read before it is set", script("if good = 0", "if goood = 0"), "scenes.txt", "if goood",
         "'goood' may be read here before it is set", 1},
        {"scene no way reaches", [](const fs::path& d) { std::ofstream(d / "scenes.txt", std::ios::app) << "scene lost\n  say 1\n"; },
         "scenes.txt", "scene lost", "scene 'lost' is never reached", 1},
        {"answer too wide for the box",
         [=](const fs::path& d) { Replace(d / "data.txt", "tx{first-2}Take over the world", "tx{first-2}" + wide); },
         "data.txt", "tx{first-2}", "the answer 'first-2' (scenes.txt:", 1},
        {"include cycle",
         [](const fs::path& d) {
             Replace(d / "scenes.txt", "scene roll\n", "include more.txt\nscene roll\n");
             WriteText(d / "more.txt", "# more scenes\ninclude scenes.txt\n");
         },
         "more.txt", "include scenes.txt", "'scenes.txt' includes itself", 1},
        {"unused picture and message are notes",
         [](const fs::path& d) {
             WriteBytes(d / "bmp" / "spare.BMP", MakeBmp(8, 8, 1));
             std::ofstream(d / "data.txt", std::ios::app) << "tx{spare}Nobody says this<!\n";
         },
         "data.txt", "tx{spare}", "note: message 'spare' is used by no command of the script", 0},
        {"picture shown in other colours", [=](const fs::path& d) { WriteBytes(d / "bmp" / "ochi.BMP", ownColours); },
         "scenes.txt", "scene fall", "bmp/ochi.BMP is shown here in the colours of bmp/", 1},
        {"a script's pictures have sizes of their own",
         [](const fs::path& d) {
             WriteBytes(d / "bmp" / "stage1.BMP", MakeBmp(300, 200, 1));
             WriteBytes(d / "bmp" / "hiyorin.BMP", MakeBmp(64, 80, 1));
         },
         nullptr, nullptr, "is clean", 0},
        {"the window sheet's pictures fill the screen",
         [](const fs::path& d) { WriteBytes(d / "bmp" / "ochi.BMP", MakeBmp(320, 240, 1)); }, nullptr, nullptr,
         "bmp/ochi.BMP: is 320x240; the story draws it as the full screen at 640x480", 1},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        if (!MakeScriptFolder(dir.path())) GTEST_SKIP() << "no scenes.txt in the default data";
        c.edit(dir.path());
        RunResult r = Check(dir.path());
        std::string expected = c.file ? LineOf(dir.path(), c.file, c.needle) + ": " + c.expected : c.expected;
        EXPECT_NE(r.output.find(expected), std::string::npos) << c.what << ": expected \"" << expected << "\" in:\n" << r.output;
        EXPECT_EQ(r.status, c.problems ? 1 : 0) << c.what << "\n" << r.output;
        if (c.problems) {
            std::string count = std::to_string(c.problems) + (c.problems == 1 ? " problem in" : " problems in");
            EXPECT_NE(r.output.find(count), std::string::npos) << c.what << "\n" << r.output;
        }
    }
}
