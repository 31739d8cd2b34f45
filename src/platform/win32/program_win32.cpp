// The program's arguments on Windows. The command line comes from the system's
// UTF-16 text (the C library's argv is in the ANSI code page). A window program has no console of its
// own: started from one, it writes its help and its messages there.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <string>
#include <vector>
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {
// Standard output and error go where they were sent (a file, a pipe, Wine's terminal); where they go
// nowhere, to the console the program was started from, if any.
void UseParentConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    bool none = (!out || out == INVALID_HANDLE_VALUE) && (!err || err == INVALID_HANDLE_VALUE);
    if (!none || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}
}  // namespace

std::vector<std::string> Win32ProgramArguments(int argc, char** argv) {
    UseParentConsole();
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Win32Utf8(words[i]));
    LocalFree(words);
    return arguments;
}

// The executable's own path, however it was started (by name through PATH, from another folder, by a
// shortcut): argv[0] is only what the starter typed.
std::string Win32ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return "";
        if (length < path.size()) return Win32Utf8(path.c_str(), int(length));
        if (path.size() >= 32768) return "";
        path.resize(path.size() * 2);
    }
}

// Drives and shares are roots here, where they exist.
int Win32HasRoot(const std::string& root) {
    return GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}
