// The main window and its message queue. Backends turn what arrives from outside into queued messages;
// the window procedure sees them one by one between frames.
#include <cstdio>
#include <deque>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/window.h"

namespace {
struct WindowRecord {
    std::string className;
    std::string iconName;
    WindowProcedure procedure = nullptr;
    Window window = 0;
    std::deque<Message> queue;
    std::string failure;  // the English line of a failure ending
};
WindowRecord wm;
}  // namespace

Window MainWindow() { return wm.window; }
int QueueIsEmpty() { return wm.queue.empty() ? 1 : 0; }

void QueueMessage(int id, uintptr_t wParam, intptr_t lParam) {
    if (wm.window) wm.queue.push_back({wm.window, id, wParam, lParam});
}

int RegisterWindowClass(const char* className, WindowProcedure procedure, const char* iconName) {
    wm = WindowRecord{};
    if (!className || !procedure) return 0;
    wm.className = className;
    wm.iconName = iconName ? iconName : "";
    wm.procedure = procedure;
    return 1;
}

Window CreateMainWindow(const char* className, const char* caption) {
    if (!wm.procedure || !className || wm.className != className || wm.window) return 0;
    if (!CurrentBackend()->openWindow(caption, wm.iconName.c_str())) return 0;
    wm.window = 1;
    return wm.window;
}

void ShowMainWindow(Window window) {
    if (window && window == wm.window) wm.procedure(window, MSG_ACTIVATEAPP, 1, 0);
}

void HideMouseCursor() { CurrentBackend()->hideCursor(); }

int PeekWindowMessage(Message* message) {
    if (wm.queue.empty()) CurrentBackend()->pumpEvents();
    if (wm.queue.empty()) return 0;
    *message = wm.queue.front();
    return 1;
}

int GetWindowMessage(Message* message) {
    while (wm.queue.empty()) {
        CurrentBackend()->pumpEvents();
        if (wm.queue.empty()) CurrentBackend()->waitEvents();
    }
    *message = wm.queue.front();
    wm.queue.pop_front();
    return message->id == MSG_QUIT ? 0 : 1;
}

intptr_t DispatchWindowMessage(const Message* message) {
    if (!message->window || message->window != wm.window || !wm.procedure) return 0;
    return wm.procedure(message->window, message->id, message->wParam, message->lParam);
}

void WaitWindowMessage() {
    if (wm.queue.empty()) CurrentBackend()->pumpEvents();
    if (wm.queue.empty()) CurrentBackend()->waitEvents();
}

int PostWindowMessage(Window window, int id, uintptr_t wParam, intptr_t lParam) {
    if (!window || window != wm.window) return 0;
    wm.queue.push_back({window, id, wParam, lParam});
    return 1;
}

void PostQuit(int exitCode) { wm.queue.push_back({0, MSG_QUIT, uintptr_t(exitCode), 0}); }

intptr_t DefaultWindowProcedure(Window window, int id, uintptr_t, intptr_t) {
    if (id == MSG_CLOSE) DestroyMainWindow(window);
    return 0;
}

void DestroyMainWindow(Window window) {
    if (!window || window != wm.window) return;
    // Messages still queued for the window die with it; MSG_DESTROY is the last it receives.
    std::deque<Message> kept;
    for (const Message& m : wm.queue)
        if (m.window != window) kept.push_back(m);
    wm.queue.swap(kept);
    wm.procedure(window, MSG_DESTROY, 0, 0);
    wm.window = 0;
    CurrentBackend()->closeWindow();
}

void ShowMessageBox(Window, const char* text, const char* caption) { CurrentBackend()->messageBox(text, caption); }

void ReportFailure(const char* cause) {
    if (!cause || !*cause) cause = "an unknown failure";
    wm.failure = cause;
    std::fprintf(stderr, "kirake: %s\n", cause);
}

int FailureReported() { return wm.failure.empty() ? 0 : 1; }

const std::string& PendingFailure() { return wm.failure; }
