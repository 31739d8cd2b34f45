// --help and --version for the tools. HELP is the tool's whole help text: "Usage:" lines (further forms
// as "  or:  ..."), one line saying what the tool does, then its options; the manual pages are made from it.
#pragma once
#include <cstdio>
#include <cstring>

#ifndef KIRAKE_VERSION
#define KIRAKE_VERSION "unknown"
#endif

// 1 when the first argument asks for the help or the version (then printed on standard output).
inline int AnswerHelpOrVersion(int argc, char** argv, const char* name, const char* help) {
    if (argc < 2) return 0;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(help, stdout);
        return 1;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", name, KIRAKE_VERSION);
        return 1;
    }
    return 0;
}

// The two options every tool answers, for the end of its help text.
#define KIRAKE_TOOL_HELP_OPTIONS                          \
    "  -h, --help     show this help and exit\n"          \
    "      --version  show the version and exit\n"
