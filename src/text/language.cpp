// The language of the story text: data.LANG.txt for the language asked for or the system's, else data.txt.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "text/text.h"

LanguageState language;

namespace {
constexpr size_t MAX_PARTS = 8, MAX_PART_LENGTH = 8;

bool IsLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// "es_es.UTF-8@euro" -> {"es", "ES"}: the codeset and modifier of a POSIX locale left out, the parts
// written as language tags write them (language lower case, region upper, script capitalised).
std::vector<std::string> TagParts(const std::string& tag) {
    std::string name = tag.substr(0, tag.find_first_of(".@"));
    if (name == "C" || name == "POSIX") return {};
    std::vector<std::string> parts(1);
    for (char c : name) {
        if (c == '-' || c == '_') {
            if (parts.back().empty() || parts.size() == MAX_PARTS) return {};
            parts.emplace_back();
        } else if (!IsLetterOrDigit(c) || parts.back().size() == MAX_PART_LENGTH) {
            return {};
        } else {
            parts.back() += c;
        }
    }
    if (parts.back().empty()) return {};
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string& part = parts[i];
        for (char& c : part) c = Lower(c);
        if (i > 0 && part.size() == 2) part[0] = Upper(part[0]), part[1] = Upper(part[1]);
        if (i > 0 && part.size() == 4) part[0] = Upper(part[0]);
    }
    return parts;
}
}  // namespace

std::vector<std::string> LanguageTextNames(const std::string& tag) {
    std::vector<std::string> parts = TagParts(tag), names;
    for (size_t count = parts.size(); count > 0; --count) {
        std::string name = "data.";
        for (size_t i = 0; i < count; ++i) name += (i ? "-" : "") + parts[i];
        names.push_back(name + ".txt");
    }
    return names;
}

int SetScriptLanguage(const std::string& tag) {
    if (LanguageTextNames(tag).empty()) return 0;
    language.asked = tag;
    return 1;
}

std::string ScriptTextName() {
    std::vector<std::string> names = LanguageTextNames(language.asked.empty() ? SystemLanguage() : language.asked);
    for (const std::string& name : names) {
        std::string found = FindDataFile(name.c_str());
        if (!found.empty()) return found;
    }
    if (!language.told && !language.asked.empty()) {
        std::string tried;
        for (size_t i = 0; i < names.size(); ++i)
            tried += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
        std::fprintf(stderr, "kirake: --lang %s: the data folder %s has no %s; playing its data.txt\n",
                     language.asked.c_str(), DataFolder().c_str(), tried.c_str());
        language.told = 1;
    }
    return "data.txt";
}
