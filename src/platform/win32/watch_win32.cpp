// The Windows backend's folder watching: one directory change handle per folder (the data folder and
// each picture folder; Windows does not report a subfolder's changes reliably through its parent), read
// without waiting at each frame boundary.
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "platform/win32/win32.h"

namespace {
constexpr DWORD BUFFER_BYTES = 16 * 1024;

struct Folder {
    std::string prefix;  // "" or "bmp/"
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) unsigned char buffer[BUFFER_BYTES];
};

struct WatchRecord {
    std::vector<Folder*> folders;
};
WatchRecord watch;

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? size_t(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    out.resize(wcslen(out.c_str()));
    return out;
}

bool Ask(Folder* folder) {
    ResetEvent(folder->overlapped.hEvent);
    return ReadDirectoryChangesW(folder->handle, folder->buffer, BUFFER_BYTES, FALSE,
                                 FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME |
                                     FILE_NOTIFY_CHANGE_SIZE,
                                 nullptr, &folder->overlapped, nullptr);
}

void Close(Folder* folder) {
    if (folder->handle != INVALID_HANDLE_VALUE) {
        CancelIo(folder->handle);
        DWORD ignored;
        GetOverlappedResult(folder->handle, &folder->overlapped, &ignored, TRUE);
        CloseHandle(folder->handle);
    }
    if (folder->overlapped.hEvent) CloseHandle(folder->overlapped.hEvent);
    delete folder;
}
}  // namespace

int Win32WatchStart(const std::string& base, const std::vector<std::string>& subfolders) {
    Win32WatchStop();
    std::vector<std::string> prefixes{""};
    for (const std::string& sub : subfolders) prefixes.push_back(sub + "/");
    for (const std::string& prefix : prefixes) {
        std::string path = base + (prefix.empty() ? "" : "\\" + prefix.substr(0, prefix.size() - 1));
        auto* folder = new Folder;
        folder->prefix = prefix;
        folder->handle = CreateFileW(Wide(path).c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        folder->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder->handle == INVALID_HANDLE_VALUE || !folder->overlapped.hEvent || !Ask(folder)) {
            Close(folder);
            if (prefix.empty()) {  // the data folder itself cannot be watched: poll instead
                Win32WatchStop();
                return 0;
            }
            continue;  // a picture folder that is not there
        }
        watch.folders.push_back(folder);
    }
    return 1;
}

void Win32WatchTake(std::vector<std::string>* names) {
    for (Folder* folder : watch.folders) {
        DWORD got = 0;
        if (!GetOverlappedResult(folder->handle, &folder->overlapped, &got, FALSE)) continue;  // still waiting
        for (DWORD at = 0; got > 0 && at + sizeof(FILE_NOTIFY_INFORMATION) <= got;) {
            auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(folder->buffer + at);
            if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_MODIFIED ||
                info->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                std::string name = folder->prefix + Win32Utf8(info->FileName, int(info->FileNameLength / sizeof(WCHAR)));
                std::replace(name.begin(), name.end(), '\\', '/');
                if (std::find(names->begin(), names->end(), name) == names->end()) names->push_back(name);
            }
            if (!info->NextEntryOffset) break;
            at += info->NextEntryOffset;
        }
        Ask(folder);
    }
}

void Win32WatchStop() {
    for (Folder* folder : watch.folders) Close(folder);
    watch.folders.clear();
}

std::string Win32CurrentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(n, L'\0');
    n = GetCurrentDirectoryW(n, folder.data());
    return n ? Win32Utf8(folder.c_str(), int(n)) : std::string();
}

void Win32ListFiles(const std::string& folder, std::vector<Win32FileStamp>* files) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        Win32FileStamp stamp;
        stamp.name = Win32Utf8(found.cFileName, int(wcslen(found.cFileName)));
        stamp.time = int64_t(found.ftLastWriteTime.dwHighDateTime) << 32 | found.ftLastWriteTime.dwLowDateTime;
        stamp.size = int64_t(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        files->push_back(stamp);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int Win32FileClosed(const std::string& path, int64_t* time, int64_t* size) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION ? 0 : -1;
    }
    FILETIME written;
    LARGE_INTEGER bytes;
    bool ok = GetFileTime(file, nullptr, nullptr, &written) && GetFileSizeEx(file, &bytes);
    CloseHandle(file);
    if (!ok) return -1;
    *time = int64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    *size = bytes.QuadPart;
    return 1;
}
