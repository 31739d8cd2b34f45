// Translations: the names a language tries, the file chosen in a folder and the line when --lang finds
// none, the system's language as the environment names it, and the default story's Spanish text.
#include <algorithm>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "run_program.h"
#include "test_support.h"
#include "text/text.h"

namespace {

using Names = std::vector<std::string>;

TEST(Language, ATagTriesItselfThenItsShorterTagsAndABadOneNothing) {
    EXPECT_EQ(LanguageTextNames("pt-BR"), (Names{"data.pt-BR.txt", "data.pt.txt"}));
    EXPECT_EQ(LanguageTextNames("pt_br.UTF-8@euro"), (Names{"data.pt-BR.txt", "data.pt.txt"}));
    EXPECT_EQ(LanguageTextNames("ZH-hant-tw"), (Names{"data.zh-Hant-TW.txt", "data.zh-Hant.txt", "data.zh.txt"}));
    EXPECT_EQ(LanguageTextNames("es"), (Names{"data.es.txt"}));
    for (const char* none : {"", "C", "POSIX", "C.UTF-8", "../es", "es/x", "es-", "-es", "es--ES", "es ES",
                             "abcdefghi", "a-b-c-d-e-f-g-h-i", "es\xc3\xb1"})
        EXPECT_TRUE(LanguageTextNames(none).empty()) << none;
    EXPECT_FALSE(SetScriptLanguage("../es"));
    EXPECT_EQ(language.asked, "");
}

class LanguageFolder : public ::testing::Test {
protected:
    void SetUp() override {
        before = std::filesystem::current_path().string();
        language = {};
        ASSERT_TRUE(ChangeFolder(MakeTempDir("language")));
        for (const char* name : {"data.txt", "data.pt-BR.txt", "DATA.PT.TXT"}) std::ofstream(name) << name;
    }
    void TearDown() override {
        language = {};
        ChangeFolder(before);
    }
    std::string before;
};

TEST_F(LanguageFolder, PtBrFallsBackToPtThenToTheStorysOwnTextSayingOnceWhatWasTried) {
    EXPECT_EQ(ScriptTextName(), "data.txt") << "no --lang, and the headless backend names no language";
    ASSERT_TRUE(SetScriptLanguage("pt_BR"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(ScriptTextName(), "data.pt-BR.txt");
    std::remove("data.pt-BR.txt");
    std::string pt = ScriptTextName();  // a file system that ignores case may give either spelling
    EXPECT_TRUE(SameNameIgnoringCase(pt.c_str(), "data.pt.txt")) << pt;
    std::remove("DATA.PT.TXT");
    EXPECT_EQ(ScriptTextName(), "data.txt");
    EXPECT_EQ(ScriptTextName(), "data.txt");
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "kirake: --lang pt_BR: the data folder " + DataFolder() +
                        " has no data.pt-BR.txt or data.pt.txt; playing its data.txt\n");
}

#ifndef _WIN32
// The environment as gettext reads it; the headless backend reads none of it.
TEST(Language, TheEnvironmentNamesTheLanguageAsGettextReadsItAndHeadlessRunsIgnoreIt) {
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> saved;
    for (const char* name : names)
        if (const char* value = std::getenv(name)) saved[name] = value;
    auto set = [&](const char* language, const char* all, const char* messages, const char* lang) {
        const char* values[] = {language, all, messages, lang};
        for (int i = 0; i < 4; ++i) values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
        return EnvironmentLanguage();
    };
    EXPECT_EQ(set(nullptr, nullptr, nullptr, nullptr), "");
    EXPECT_EQ(set(nullptr, nullptr, nullptr, "es_ES.UTF-8"), "es_ES.UTF-8");
    EXPECT_EQ(set(nullptr, nullptr, "fr_FR", "es_ES.UTF-8"), "fr_FR");
    EXPECT_EQ(set(nullptr, "de_DE", "fr_FR", "es_ES.UTF-8"), "de_DE");
    EXPECT_EQ(set(":pt_BR:es", "", "", "es_ES.UTF-8"), "pt_BR") << "an empty LC_ALL is no setting";
    EXPECT_EQ(set("pt_BR", "C.UTF-8", nullptr, "es_ES.UTF-8"), "") << "LANGUAGE counts only beside a locale";
    EXPECT_EQ(set(nullptr, nullptr, nullptr, "POSIX"), "");
    set("es", nullptr, nullptr, "es_ES.UTF-8");
    EXPECT_EQ(SystemLanguage(), "") << "the headless backend, before any start";
    for (const char* name : names) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
}
#endif

// Message markers of a story text, each with the shake and effect codes of its message in order.
std::map<std::string, std::string> MessageCodes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::map<std::string, std::string> messages;
    const std::regex marker("^(?:\xEF\xBB\xBF)?tx(\\{[^}]*\\}|.)(.*)$"), code("<q|<wv[0-9]");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, marker)) continue;
        std::string codes, body = m[2];
        for (std::sregex_iterator c(body.begin(), body.end(), code), end; c != end; ++c)
            codes += c->str();
        messages[m[1]] = codes;
    }
    return messages;
}

// Where the first page of message 0 waits for a key, as the trace tells the script position.
long FirstWaitPosition(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
    std::string out = MakeTempDir("language-run");
    std::vector<std::string> command = {KIRAKE_BINARY, "--headless", "--data", KIRAKE_DATA_DIR, "--start",
                                        "opening", "--frames", "300", "--trace", out + "/trace.jsonl"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ProcessOptions options;
    options.environment = environment;
    if (RunProcess(command, options).status != 0) return -1;
    for (const std::string& line : ReadLines(out + "/trace.jsonl")) {
        size_t wait = line.find("\"wait\":1,\"pos\":");
        if (wait != std::string::npos) return std::atol(line.c_str() + wait + 15);
    }
    return -1;
}

long FirstPageEnd(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return long(text.find("<*", text.find("tx0")));
}

TEST(Language, TheDefaultStoryPlaysInSpanishWithLangEsAndHeadlessRunsIgnoreTheSystemsLanguage) {
    const std::string data = KIRAKE_DATA_DIR, english = data + "/data.txt", spanish = data + "/data.es.txt";
    if (!std::filesystem::exists(spanish)) GTEST_SKIP() << "no default data at " << KIRAKE_DATA_DIR;
    std::map<std::string, std::string> own = MessageCodes(english), translated = MessageCodes(spanish);
    EXPECT_EQ(own.size(), 33u);
    EXPECT_EQ(translated, own) << "the same messages, each with the same shakes and effects in the same order";

    EXPECT_EQ(FirstWaitPosition({"--lang", "es-ES"}), FirstPageEnd(spanish));
    EXPECT_EQ(FirstWaitPosition({}, {"LANGUAGE=es", "LC_ALL=es_ES.UTF-8", "LANG=es_ES.UTF-8"}), FirstPageEnd(english));
    std::string errors;
    EXPECT_EQ(RunKirake({"--headless", "--data", KIRAKE_DATA_DIR, "--frames", "2", "--lang", "pt-BR"}, &errors), 0);
    errors.erase(std::remove(errors.begin(), errors.end(), '\r'), errors.end());  // Windows: CR LF
    // The folder as the system writes paths (on Windows with its drive and backslashes).
    EXPECT_EQ(errors.rfind("kirake: --lang pt-BR: the data folder ", 0), 0u) << errors;
    const std::string tail = " has no data.pt-BR.txt or data.pt.txt; playing its data.txt\n";
    EXPECT_TRUE(errors.size() > tail.size() && errors.compare(errors.size() - tail.size(), tail.size(), tail) == 0)
        << errors;
    EXPECT_EQ(RunKirake({"--headless", "--frames", "2", "--lang", "../es"}, &errors), 2);
}

// Under --watch the text in play is taken when saved; data.txt is not, while a translation plays.
TEST(Language, UnderWatchASavedTranslationInPlayIsTakenAndTheOwnTextIsNot) {
    if (!std::filesystem::exists(std::string(KIRAKE_DATA_DIR) + "/data.es.txt")) GTEST_SKIP() << "no default data";
    std::string dir = MakeTempDir("language-watch");
    CopyFolder(KIRAKE_DATA_DIR, dir + "/data");
    std::ofstream(dir + "/keys.txt") << "10 save data.txt data/data.txt\n20 save data.es.txt data/data.es.txt\n";
    std::string errors;
    ASSERT_EQ(RunKirake({"--headless", "--data", dir + "/data", "--lang", "es", "--watch", "--keys", dir + "/keys.txt",
                         "--frames", "40"},
                        &errors),
              0);
    errors.erase(std::remove(errors.begin(), errors.end(), '\r'), errors.end());  // Windows: CR LF
    // The game's one line (a sanitizer's summary may follow it).
    EXPECT_EQ(errors.rfind("kirake: took the saved data.es.txt\n", 0), 0u) << errors;
    EXPECT_EQ(errors.find("kirake:", 1), std::string::npos) << errors;
}

}  // namespace
