// The Windows backend's file watch: directory change notifications, one handle per folder the core asks
// for (Windows does not report a subfolder's changes reliably through its parent), read without waiting
// at each frame boundary. Windows tells of one save in steps (emptied, written, closed): a noticed file
// is passed on once its writer has closed it; the core then lets only a file that differs from what it
// last passed on through.
#include <windows.h>
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/win32/win32.h"

namespace {
constexpr DWORD BUFFER_BYTES = 16 * 1024;
constexpr size_t MAX_SETTLING = 1024;

struct Folder {
    std::string prefix;  // "" or "bmp/"
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) unsigned char buffer[BUFFER_BYTES];
};

struct WatchRecord {
    std::vector<Folder*> folders;
    std::vector<std::string> settling;  // noticed while still open for writing
};
WatchRecord watch;

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

void Stop() {
    for (Folder* folder : watch.folders) Close(folder);
    watch = WatchRecord{};
}

// The folders are paths inside the data folder, the working folder ("" for itself). 0 when the data
// folder itself cannot be watched; a subfolder that is not there is left out.
int Start(const char* const folders[], int count) {
    Stop();
    for (int i = 0; i < count; ++i) {
        std::string prefix = folders[i];
        std::string path = prefix.empty() ? "." : prefix.substr(0, prefix.size() - 1);
        auto* folder = new Folder;
        folder->prefix = prefix;
        folder->handle = CreateFileW(Win32Wide(path).c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        folder->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder->handle == INVALID_HANDLE_VALUE || !folder->overlapped.hEvent || !Ask(folder)) {
            Close(folder);
            if (prefix.empty()) {
                Stop();
                return 0;
            }
            continue;
        }
        watch.folders.push_back(folder);
    }
    return watch.folders.empty() ? 0 : 1;
}

// 1 when no one has the file open for writing, 0 while someone has, -1 when it is not a file that is there.
int Closed(const std::string& name) {
    HANDLE file = CreateFileW(Win32Wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION ? 0 : -1;
    CloseHandle(file);
    return 1;
}

// The names told since the last call, as paths inside the data folder with "/" separators.
void Noticed(std::vector<std::string>* names) {
    for (Folder* folder : watch.folders) {
        DWORD got = 0;
        if (!GetOverlappedResult(folder->handle, &folder->overlapped, &got, FALSE)) continue;  // still waiting
        for (DWORD at = 0; got > 0 && at + sizeof(FILE_NOTIFY_INFORMATION) <= got;) {
            auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(folder->buffer + at);
            if (at + offsetof(FILE_NOTIFY_INFORMATION, FileName) + info->FileNameLength > got) break;
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

// The files noticed now and those still settling: each passed on once its writer has closed it.
void Take() {
    std::vector<std::string> names;
    names.swap(watch.settling);
    Noticed(&names);
    for (const std::string& name : names) {
        int closed = Closed(name);
        if (closed > 0)
            NoteSavedFile(name);
        else if (closed == 0 && watch.settling.size() < MAX_SETTLING &&
                 std::find(watch.settling.begin(), watch.settling.end(), name) == watch.settling.end())
            watch.settling.push_back(name);
    }
}
}  // namespace

extern const FileWatch win32Watch;  // backend_win32.cpp
const FileWatch win32Watch = {.method = "directory change notifications", .start = Start, .stop = Stop, .take = Take};
