// Kept files on Windows: the settings in %APPDATA%\kirake, the state in %LOCALAPPDATA%\kirake. A file is
// written whole as NAME.tmp-PID, flushed and moved over the old one, so that a failed write leaves the old
// file as it was.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <algorithm>
#include <string>
#include "platform/win32/win32.h"

namespace {
std::string Reason(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = text ? Win32Utf8(text) : std::string("error ") + std::to_string(error);
    if (text) LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
    return reason;
}

// The kirake folder of the roaming (settings) or local (state) application data; "" when there is none.
std::wstring KeptFolder(int local) {
    PWSTR base = nullptr;
    if (FAILED(SHGetKnownFolderPath(local ? FOLDERID_LocalAppData : FOLDERID_RoamingAppData, 0, nullptr, &base)))
        return L"";
    std::wstring folder = std::wstring(base) + L"\\kirake";
    CoTaskMemFree(base);
    return folder;
}
}  // namespace

std::string Win32KeptPlace(int local, const std::string& name) {
    std::wstring folder = KeptFolder(local);
    return folder.empty() ? name : Win32Utf8((folder + L"\\" + Win32Wide(name)).c_str());
}

int Win32KeptRead(int local, const std::string& name, size_t maxBytes, std::string* bytes, std::string* why) {
    std::wstring folder = KeptFolder(local);
    if (folder.empty()) return 0;
    std::wstring path = folder + L"\\" + Win32Wide(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) *why = Win32KeptPlace(local, name) + ": " + Reason(error);
        return 0;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        *why = Win32KeptPlace(local, name) + ": not a regular file";
        CloseHandle(file);
        return 0;
    }
    char buffer[16384];
    while (bytes->size() <= maxBytes) {
        DWORD want = DWORD(std::min<size_t>(sizeof buffer, maxBytes + 1 - bytes->size())), got = 0;
        if (!ReadFile(file, buffer, want, &got, nullptr)) {
            *why = Win32KeptPlace(local, name) + ": " + Reason(GetLastError());
            CloseHandle(file);
            bytes->clear();
            return 0;
        }
        if (got == 0) break;
        bytes->append(buffer, got);
    }
    CloseHandle(file);
    if (bytes->size() > maxBytes) {
        *why = Win32KeptPlace(local, name) + ": larger than " + std::to_string(maxBytes) + " bytes";
        bytes->clear();
        return 0;
    }
    return 1;
}

int Win32KeptWrite(int local, const std::string& name, const std::string& bytes, int failHalfway, std::string* why) {
    std::wstring folder = KeptFolder(local);
    if (folder.empty()) {
        *why = "Windows names no application data folder to keep " + name + " in";
        return 0;
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *why = std::string("cannot make the folder ") + Win32Utf8(folder.c_str()) + ": " + Reason(GetLastError());
        return 0;
    }
    std::wstring path = folder + L"\\" + Win32Wide(name), temporary = path + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = Win32Utf8(temporary.c_str()) + ": " + Reason(GetLastError());
        return 0;
    }
    size_t done = 0, limit = failHalfway ? bytes.size() / 2 : bytes.size();
    DWORD error = 0;
    while (done < limit) {
        DWORD put = 0, want = DWORD(std::min<size_t>(limit - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, want, &put, nullptr) || put == 0) {
            error = GetLastError();
            break;
        }
        done += put;
    }
    bool written = done == bytes.size() && FlushFileBuffers(file);
    if (!written && !error) error = failHalfway ? ERROR_DISK_FULL : GetLastError();
    CloseHandle(file);
    if (written && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        written = false;
    }
    if (!written) {
        *why = Win32Utf8(temporary.c_str()) + ": " + Reason(error);
        DeleteFileW(temporary.c_str());
    }
    return written ? 1 : 0;
}

int Win32KeptAside(int local, const std::string& name) {
    std::wstring folder = KeptFolder(local);
    if (folder.empty()) return 0;
    std::wstring path = folder + L"\\" + Win32Wide(name);
    return MoveFileExW(path.c_str(), (path + L".bad").c_str(), MOVEFILE_REPLACE_EXISTING) ? 1 : 0;
}
