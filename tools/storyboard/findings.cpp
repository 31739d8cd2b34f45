// The checker's report, read line by line and tied to what it concerns.
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <regex>
#include "storyboard.h"

namespace {
std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
}  // namespace

int ParseFinding(const std::string& text, Finding* finding) {
    // FILE: message, or FILE:LINE: message; a file name holds no ": ".
    static const std::regex report(R"(^([^:\s][^:]*?)(?::(\d+))?: (.+)$)");
    // "message '5'", or a named message "message 'first-1'".
    static const std::regex messageName(R"(message '([A-Za-z0-9_.:-]{2,40}|.)')");
    static const std::regex pageNumber(R"(\bpage (\d+))");
    static const std::regex lineNumber(R"(\bline (\d+) is )");
    std::smatch m;
    if (!std::regex_match(text, m, report)) return 0;
    *finding = Finding{};
    finding->file = m[1];
    finding->line = m[2].matched ? std::atoi(m[2].str().c_str()) : 0;
    finding->text = m[3];
    finding->note = finding->text.rfind("note: ", 0) == 0;
    if (std::regex_search(finding->text, m, messageName)) finding->message = m[1];
    if (std::regex_search(finding->text, m, pageNumber)) finding->checkerPage = std::atoi(m[1].str().c_str());
    if (std::regex_search(finding->text, m, lineNumber)) finding->checkerLine = std::atoi(m[1].str().c_str());
    return 1;
}

int RunChecker(const std::string& checker, const std::string& dataDir, std::vector<Finding>* findings) {
    std::string command = ShellQuote(checker) + " " + ShellQuote(dataDir) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return 0;
    std::string line;
    int c;
    while ((c = std::fgetc(pipe)) != EOF) {
        if (c != '\n') {
            if (line.size() < 4096) line += char(c);
            continue;
        }
        Finding f;  // its own closing line ("kirake-check: 3 problems in DIR") is no finding
        if (line.rfind("kirake-check:", 0) != 0 && ParseFinding(line, &f)) findings->push_back(f);
        line.clear();
    }
    int status = pclose(pipe);
    // 0: nothing found, 1: findings; anything else (127: not found) means the checker did not run.
    return status != -1 && WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
}
