// The Windows backend's small services: clocks, the screenshot folder, time stamps, the user's language.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <cstdio>
#include <ctime>
#include <string>
#include "platform/win32/win32.h"

std::string Win32Utf8(const wchar_t* wide, int length) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return "";
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
    if (length < 0) out.resize(size_t(n - 1));  // the terminating NUL
    return out;
}

std::wstring Win32Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (n <= 1) return L"";
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    out.resize(size_t(n - 1));
    return out;
}

uint32_t Win32Milliseconds() { return uint32_t(GetTickCount64()); }

int64_t Win32CalendarTime() { return int64_t(std::time(nullptr)); }

std::string Win32ScreenshotFolder() {
    PWSTR pictures = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_CREATE, nullptr, &pictures))) return "";
    std::wstring folder = std::wstring(pictures) + L"\\kirake";
    CoTaskMemFree(pictures);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return "";
    return Win32Utf8(folder.c_str());
}

std::string Win32TimeStamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return stamp;
}

int Win32FileExists(const std::string& utf8Path) {
    return GetFileAttributesW(Win32Wide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

std::string Win32Language() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    return GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? Win32Utf8(name) : std::string();
}
