// The platform's services for the player's comforts on the Linux desktop: kept files in the XDG folders
// (written anew and renamed, bounded reads, set aside) and speech through speech-dispatcher.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/keep.h"
#include "platform/overlay.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"
#include "platform/speech.h"
#include "run_program.h"
#include "saved_variable.h"
#include "test_files.h"
#include "test_support.h"

namespace {

// The kept folders moved into a fresh folder of the test's.
struct KeptFolders {
    SavedVariable config{"XDG_CONFIG_HOME"}, state{"XDG_STATE_HOME"}, home{"HOME"};
    std::string root;
    explicit KeptFolders(const std::string& name) : root(MakeTempDir(name)) {
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    }
};
}  // namespace

TEST(KeptFiles, WrittenWholeReadBackAndSetAside) {
    KeptFolders folders("kept_files");
    std::string why, bytes;
    EXPECT_EQ(ReadKept(KEPT_SETTINGS, "settings", 1000, &bytes, &why), 0);
    EXPECT_EQ(why, "") << "no file yet is no failure";

    std::string contents("text-speed 2\n\0\xff\r\n", 17);  // any byte, kept as it is
    ASSERT_EQ(WriteKept(KEPT_SETTINGS, "settings", contents, &why), 1) << why;
    EXPECT_EQ(KeptPlace(KEPT_SETTINGS, "settings"), folders.root + "/config/kirake/settings");
    EXPECT_EQ(ReadText(folders.root + "/config/kirake/settings"), contents) << "made the folders on the way";
    ASSERT_EQ(ReadKept(KEPT_SETTINGS, "settings", contents.size(), &bytes, &why), 1) << why;
    EXPECT_EQ(bytes, contents);
    ASSERT_EQ(WriteKept(KEPT_STATE, "session", "frame 1\n", &why), 1) << why;
    EXPECT_EQ(ReadText(folders.root + "/state/kirake/session"), "frame 1\n");

    // One byte too many: refused with the reason, nothing handed over.
    EXPECT_EQ(ReadKept(KEPT_SETTINGS, "settings", contents.size() - 1, &bytes, &why), 0);
    EXPECT_NE(why.find("larger than 16 bytes"), std::string::npos) << why;
    EXPECT_NE(why.find(folders.root + "/config/kirake/settings"), std::string::npos) << "names the file: " << why;
    EXPECT_EQ(bytes, "");

    // A write that fails half way leaves the old file whole and no new file beside it.
    AddFault("keep-write");
    EXPECT_EQ(WriteKept(KEPT_SETTINGS, "settings", "text-speed 4\nauto 1\n", &why), 0);
    ClearFaults();
    EXPECT_NE(why.find("settings.tmp-"), std::string::npos) << why;
    EXPECT_EQ(ReadText(folders.root + "/config/kirake/settings"), contents);
    int entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(folders.root + "/config/kirake")) entries += !!entry.exists();
    EXPECT_EQ(entries, 1) << "the half-written file is gone";

    EXPECT_EQ(SetKeptAside(KEPT_SETTINGS, "settings"), 1);
    EXPECT_EQ(ReadKept(KEPT_SETTINGS, "settings", 1000, &bytes, &why), 0);
    EXPECT_EQ(why, "");
    EXPECT_EQ(ReadText(folders.root + "/config/kirake/settings.bad"), contents);
    ASSERT_EQ(WriteKept(KEPT_SETTINGS, "settings", "new", &why), 1);
    EXPECT_EQ(SetKeptAside(KEPT_SETTINGS, "settings"), 1) << "replacing the older one set aside";
    EXPECT_EQ(ReadText(folders.root + "/config/kirake/settings.bad"), "new");
}

TEST(KeptFiles, RefusesNamesAndFilesThatAreNotItsOwn) {
    KeptFolders folders("kept_refused");
    std::string why, bytes;
    for (const char* name : {"../settings", "a/b", "", ".hidden", "sp ace", "x\\y"}) {
        EXPECT_EQ(WriteKept(KEPT_SETTINGS, name, "x", &why), 0) << name;
        EXPECT_NE(why.find("no name for a kept file"), std::string::npos) << why;
        EXPECT_EQ(ReadKept(KEPT_SETTINGS, name, 10, &bytes, &why), 0) << name;
        EXPECT_EQ(SetKeptAside(KEPT_SETTINGS, name), 0) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folders.root + "/settings"));

    // Not a regular file: a folder and a FIFO (which must not block the read).
    std::filesystem::create_directories(folders.root + "/state/kirake/session");
    EXPECT_EQ(ReadKept(KEPT_STATE, "session", 10, &bytes, &why), 0);
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    ASSERT_EQ(mkfifo((folders.root + "/state/kirake/read").c_str(), 0600), 0);
    EXPECT_EQ(ReadKept(KEPT_STATE, "read", 10, &bytes, &why), 0);
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
    // A write into a place that is a file, not a folder, fails with the reason.
    WriteText(folders.root + "/blocked", "");
    setenv("XDG_STATE_HOME", (folders.root + "/blocked").c_str(), 1);
    EXPECT_EQ(WriteKept(KEPT_STATE, "session", "x", &why), 0);
    EXPECT_NE(why.find(folders.root + "/blocked"), std::string::npos) << why;
    // Relative XDG folders are ignored for the home's.
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", folders.root.c_str(), 1);
    EXPECT_EQ(KeptPlace(KEPT_STATE, "session"), folders.root + "/.local/state/kirake/session");
}

TEST(Speech, VoicedTextsAreKeptForTheTraceBounded) {
    std::vector<std::string> lines;
    TakeSpokenLines(&lines);
    SayText("shown to a screen reader only", SPEECH_MESSAGE, 0);
    SayText("Hola, ¿qué tal?", SPEECH_MESSAGE, 1);
    SayText(nullptr, SPEECH_NOTICE, 1);
    SayText("2: No", SPEECH_ANSWER, 1);
    TakeSpokenLines(&lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Hola, ¿qué tal?", "2: No"}));
    TakeSpokenLines(&lines);
    EXPECT_TRUE(lines.empty());

    for (int i = 0; i < 1000; ++i) SayText(std::to_string(i).c_str(), SPEECH_HISTORY, 1);
    std::string page(5000, 'a');
    page.replace(4095, 2, "\xc3\xa9");  // a character across the cut
    SayText(page.c_str(), SPEECH_MESSAGE, 1);
    TakeSpokenLines(&lines);
    ASSERT_EQ(lines.size(), 256u) << "the oldest go first";
    EXPECT_EQ(lines.front(), "745");
    EXPECT_EQ(lines.back(), std::string(4095, 'a')) << "cut before the character, not inside it";
    std::string why;
    EXPECT_EQ(SpeechAvailable(&why), 0) << "the unit tests run on the headless backend";
    EXPECT_NE(why, "");
}

// speech-dispatcher started in a private folder with a module that writes what it is given to a file.
TEST(Speech, SpeechDispatcherSaysTheTexts) {
    if (!OnPath("speech-dispatcher")) GTEST_SKIP() << "speech-dispatcher is not installed";
    std::string modules;
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/speech-dispatcher-modules", "/usr/lib/speech-dispatcher-modules",
                               "/usr/libexec/speech-dispatcher-modules"})
        if (std::filesystem::exists(std::string(folder) + "/sd_generic")) modules = folder;
    if (modules.empty()) GTEST_SKIP() << "speech-dispatcher's generic module (sd_generic) is not installed";
    std::string dir = MakeTempDir("speechd");
    std::filesystem::create_directories(dir + "/conf/modules");
    WriteText(dir + "/conf/speechd.conf", "LogLevel 3\nLogDir \"" + dir + "\"\nAddModule \"tofile\" \"sd_generic\" \"tofile.conf\"\n"
              "DefaultModule tofile\nAudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\n");
    WriteText(dir + "/conf/modules/tofile.conf", "GenericExecuteSynth \"printf '%s\\\\n' \\'$DATA\\' >> " + dir + "/spoken.txt\"\n"
              "AddVoice \"en\" \"MALE1\" \"plain\"\n");
    std::string socket = dir + "/speechd.sock";
    ProcessOptions options;
    options.output = options.errors = dir + "/out.txt";
    options.seconds = 30;
    Process service = StartProcess({"speech-dispatcher", "-s", "-C", dir + "/conf", "-m", modules, "-S", socket, "-t", "20",
                                    "-c", "unix_socket", "-L", dir}, options);
    for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!std::filesystem::exists(socket)) {
        StopProcess(service);
        FinishProcess(&service, 5);
        GTEST_SKIP() << "speech-dispatcher did not start here: " << ReadText(dir + "/out.txt");
    }
    SavedVariable address("SPEECHD_ADDRESS");
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket).c_str(), 1);

    const SpeechOutput& speech = speechDispatcherSpeech;
    std::string why;
    speech.say("not aloud", SPEECH_MESSAGE, 0);
    speech.say("The rain had stopped.", SPEECH_MESSAGE, 1);
    auto said = [&] { return std::filesystem::exists(dir + "/spoken.txt") ? ReadText(dir + "/spoken.txt") : std::string(); };
    for (int i = 0; i < 200 && said().find("stopped") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(speech.available(&why), 1) << why;
    speech.say("1: Yes", SPEECH_ANSWER, 1);
    for (int i = 0; i < 200 && said().find("1: Yes") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    speech.stop();
    EXPECT_EQ(said(), "The rain had stopped.\n1: Yes\n") << "in order, and nothing that was not voiced";
    StopProcess(service);
    FinishProcess(&service, 5);

    // No service at the address: said plainly, and nothing waits on it.
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + dir + "/none.sock").c_str(), 1);
    SavedVariable runtime("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    auto start = std::chrono::steady_clock::now();
    speech.say("nobody hears this", SPEECH_MESSAGE, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)) << "the frame does not wait";
    for (int i = 0; i < 400 && speech.available(&why) == 0 && why == "connecting to speech-dispatcher"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(speech.available(&why), 0);
    EXPECT_NE(why.find("speech-dispatcher does not answer"), std::string::npos) << why;
    speech.stop();
}

// The panel over the dimmed page, in the captured copy only: the page and the palette stay the game's.
class OverlayPanelTest : public DisplayTest {};

TEST_F(OverlayPanelTest, DrawnOverTheDimmedPageAndGoneWhenHidden) {
    std::vector<PaletteEntry> entries(256, PaletteEntry{200, 100, 50, 0});
    SetDisplayPalette(entries);  // every entry the same colour: whichever the panel takes, the page keeps it
    FillSurface(PrimarySurfaceInUse(), 7);
    std::vector<uint8_t> before(640 * 480 * 3), rgb(640 * 480 * 3);
    ASSERT_EQ(CapturePage(before.data()), 1);
    auto pixel = [&](int x, int y) {
        const uint8_t* p = &rgb[(size_t(y) * 640 + x) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    const char* lines[] = {"Hanako: 雨はもう止んでいた。", "Taro: ¿Mañana volverás?", "«Sí», dijo ella.", "The last line"};
    OverlayPanel shown{"History", lines, 4, 1, "Page Down or Esc: back to the story"};
    ShowOverlayPanel(&shown);
    ASSERT_EQ(CapturePage(rgb.data()), 1);
    EXPECT_EQ(pixel(5, 5), (std::vector<int>{100, 50, 25})) << "the page around the panel at half its light";
    EXPECT_EQ(pixel(635, 475), (std::vector<int>{100, 50, 25}));
    EXPECT_EQ(pixel(34, 26), (std::vector<int>{16, 20, 40})) << "the panel's background";
    int white = 0, highlight = 0, accent = 0;
    for (int y = 24; y < 456; ++y)
        for (int x = 32; x < 608; ++x) {
            std::vector<int> c = pixel(x, y);
            white += c == std::vector<int>{255, 255, 255};
            highlight += c == std::vector<int>{52, 72, 130} && y >= 24 + 34 + 20 && y < 24 + 34 + 40;
            accent += c == std::vector<int>{250, 214, 120};
        }
    EXPECT_GT(white, 300) << "the lines' text";
    EXPECT_GT(highlight, 5000) << "the second line's band";
    EXPECT_GT(accent, 600) << "the title, the footer and the rules";
    if (const char* look = std::getenv("KIRAKE_PANEL_PNG")) WritePng(look, rgb.data(), 640, 480);

    // The same panel again draws the same; a longer list shows OVERLAY_PANEL_LINES lines; a null list, none.
    std::vector<uint8_t> again(640 * 480 * 3);
    ShowOverlayPanel(&shown);
    CapturePage(again.data());
    EXPECT_EQ(again, rgb);
    std::vector<const char*> many(100, "line");
    OverlayPanel crowded{nullptr, many.data(), 100, 99, nullptr};
    ShowOverlayPanel(&crowded);
    ASSERT_EQ(CapturePage(rgb.data()), 1);
    // A line wider than the panel goes on in the row below rather than losing its end.
    std::string wide;
    for (int i = 0; i < 12; ++i) wide += "Wide words ";
    const char* wideLines[] = {wide.c_str()};
    OverlayPanel wrapped{nullptr, wideLines, 1, -1, nullptr};
    ShowOverlayPanel(&wrapped);
    ASSERT_EQ(CapturePage(rgb.data()), 1);
    int secondRow = 0;
    for (int y = 24 + 34 + 20; y < 24 + 34 + 40; ++y)
        for (int x = 32; x < 608; ++x) secondRow += pixel(x, y) == std::vector<int>{255, 255, 255};
    EXPECT_GT(secondRow, 50) << "the wide line's end, wrapped";
    OverlayPanel empty{nullptr, nullptr, 5, 2, nullptr};
    ShowOverlayPanel(&empty);
    ASSERT_EQ(CapturePage(rgb.data()), 1);

    ShowOverlayPanel(nullptr);
    ASSERT_EQ(CapturePage(rgb.data()), 1);
    EXPECT_EQ(rgb, before) << "hidden: the page as the game made it";
}

// The music's and the effects' levels: a gain per group, exactly nothing at 100 %.
TEST(SoundGroups, EachGroupAtItsOwnLevel) {
    SoundBackendStop();
    ASSERT_EQ(MixerOpen(44100), 1);
    auto constant = [](int16_t value, uint32_t rate) {
        SoundFormat f = {1, 1, rate, rate * 2, 2, 16, 0};
        std::vector<int16_t> samples(20000, value);
        SoundBuffer* b = SoundCreateBuffer(&f, uint32_t(samples.size() * 2));
        void *r1, *r2;
        uint32_t l1, l2;
        EXPECT_EQ(SoundLock(b, 0, uint32_t(samples.size() * 2), &r1, &l1, &r2, &l2), 1);
        std::memcpy(r1, samples.data(), l1);
        SoundUnlock(b, r1, l1, r2, l2);
        return b;
    };
    auto left = [] {
        std::vector<int16_t> out(2 * 256);
        MixerRender(out.data(), 256);
        return out;
    };
    SoundBuffer* effect = constant(1000, 44100);
    SoundBuffer* music = constant(2000, 44100);
    ASSERT_EQ(SoundSetGroup(music, SOUND_GROUP_MUSIC), 1);
    SoundPlay(effect, 1);
    SoundPlay(music, 1);
    EXPECT_EQ(left()[100], 3000);
    EXPECT_EQ(SoundSetGroupLevel(SOUND_GROUP_MUSIC, 50), 1);
    EXPECT_EQ(left()[100], 2000) << "the music at half";
    EXPECT_EQ(SoundSetGroupLevel(SOUND_GROUP_EFFECTS, 0), 1);
    EXPECT_EQ(left()[100], 1000) << "the effects silent";
    EXPECT_EQ(SoundSetGroupLevel(SOUND_GROUP_EFFECTS, 101), 0);
    EXPECT_EQ(SoundSetGroupLevel(SoundGroup(2), 50), 0);
    EXPECT_EQ(SoundSetGroup(nullptr, SOUND_GROUP_MUSIC), 0);
    SoundSetGroupLevel(SOUND_GROUP_EFFECTS, 100);
    SoundSetGroupLevel(SOUND_GROUP_MUSIC, 100);
    EXPECT_EQ(left()[100], 3000);
    SoundRelease(effect);
    SoundRelease(music);

    // Through the resampler (another rate), a voice of the music at 100 % sounds as it did ungrouped.
    std::vector<int16_t> sounded[2];
    for (int grouped = 0; grouped < 2; ++grouped) {
        MixerClose();
        SoundBackendStop();
        MixerOpen(44100);
        SoundBuffer* voice = constant(-1234, 22050);
        if (grouped) SoundSetGroup(voice, SOUND_GROUP_MUSIC);
        SoundPlay(voice, 0);
        sounded[grouped] = left();
        SoundRelease(voice);
    }
    EXPECT_EQ(sounded[0], sounded[1]);
    SoundBackendStop();
}
