// The file watch on Linux: inotify tells of every file written and closed, or moved in, in the folders.
#include <sys/inotify.h>
#include <unistd.h>
#include <map>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"

namespace {
struct InotifyRecord {
    int fd = -1;
    std::map<int, std::string> folders;  // watch descriptor -> folder prefix ("" or "bmp/")
};
InotifyRecord inotify;

void Stop() {
    if (inotify.fd >= 0) close(inotify.fd);
    inotify = InotifyRecord{};
}

int Start(const char* const folders[], int count) {
    Stop();
    inotify.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify.fd < 0) return 0;
    // Files written or moved in, and files gone (which the watch then forgets).
    constexpr uint32_t EVENTS = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;
    for (int i = 0; i < count; ++i) {
        int wd = inotify_add_watch(inotify.fd, *folders[i] ? folders[i] : ".", EVENTS);
        if (wd >= 0) inotify.folders[wd] = folders[i];
    }
    if (inotify.folders.empty()) {
        Stop();
        return 0;
    }
    return 1;
}

void Take() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        ssize_t got = read(inotify.fd, buffer, sizeof buffer);
        if (got <= 0) return;  // EAGAIN: nothing more
        for (char* p = buffer; p < buffer + got;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            auto folder = inotify.folders.find(event->wd);
            if (folder == inotify.folders.end() || event->len == 0 || (event->mask & IN_ISDIR)) continue;
            NoteSavedFile(folder->second + event->name);
        }
    }
}
}  // namespace

const FileWatch inotifyWatch = {.method = "inotify", .start = Start, .stop = Stop, .take = Take};
