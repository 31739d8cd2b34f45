// The program's arguments, its own folder and the working folder on Windows (paths in UTF-8). The command line comes from the system's
// UTF-16 text (the C library's argv is in the ANSI code page). A window program has no console of its
// own: started from one, it writes its help and its messages there.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <string>
#include <vector>
#include "platform/platform.h"

namespace {
std::string Utf8(const wchar_t* wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (n <= 1) return L"";
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    out.resize(size_t(n - 1));
    return out;
}

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

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    UseParentConsole();
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(words[i]));
    LocalFree(words);
    return arguments;
}

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return "";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return Utf8(path.substr(0, slash == std::wstring::npos ? 0 : slash).c_str());
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::wstring wide = Wide(path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return Utf8(full.c_str());
}

int EnterFolder(const std::string& path) { return SetCurrentDirectoryW(Wide(path).c_str()) ? 1 : 0; }

int FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
