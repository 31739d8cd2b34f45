// Window and messages: the one main window, its message queue, message boxes.
// Used by the application shell (WinMain, WindowProc, PostClose, FatalError) and the script loader.
#pragma once
#include <cstdint>

using Window = int;  // the main window's handle; 0 = no window

enum MessageId {
    MSG_NONE = 0,
    MSG_ACTIVATEAPP,  // wParam 1 = the program became the active application, 0 = it lost activation
    MSG_KEYDOWN,      // wParam = virtual key (only Esc is delivered as a message)
    MSG_CLOSE,
    MSG_DESTROY,
    MSG_QUIT,         // wParam = exit code
};
constexpr uintptr_t VKEY_ESCAPE = 27;

struct Message {
    Window window;
    int id;
    uintptr_t wParam;
    intptr_t lParam;
};

using WindowProcedure = intptr_t (*)(Window, int, uintptr_t, intptr_t);

// WinMain: registers the window class (procedure and icon resource name). 1, or 0 when refused.
int RegisterWindowClass(const char* className, WindowProcedure procedure, const char* iconName);
// WinMain: creates the top-most pop-up window covering the desktop screen. The window, or 0 when refused.
Window CreateMainWindow(const char* className, const char* caption);
// WinMain: shows the window; the activation message is delivered to the procedure at once.
void ShowMainWindow(Window window);
// WinMain: hides the mouse cursor for the program's life.
void HideMouseCursor();
// Frame loop: 1 when a message waits (left in the queue), 0 when the queue is empty.
int PeekWindowMessage(Message* message);
// Frame loop: removes the next message (waits for one); 0 when it is MSG_QUIT, else 1.
int GetWindowMessage(Message* message);
// Frame loop: hands the message to the window procedure; returns its result.
intptr_t DispatchWindowMessage(const Message* message);
// Frame loop, while inactive: sleeps until a message arrives.
void WaitWindowMessage();
// Anyone: queues a message for the window. 1, or 0 when the window does not exist.
int PostWindowMessage(Window window, int id, uintptr_t wParam, intptr_t lParam);
// WindowProc on MSG_DESTROY: queues MSG_QUIT with the exit code.
void PostQuit(int exitCode);
// WindowProc for messages it does not handle: MSG_CLOSE destroys the window; others return 0.
intptr_t DefaultWindowProcedure(Window window, int id, uintptr_t wParam, intptr_t lParam);
// FatalError, InitInput: destroys the window; MSG_DESTROY reaches the procedure before this returns.
void DestroyMainWindow(Window window);
// Error paths: a modal box with one OK button (UTF-8 texts); returns when it is answered.
void ShowMessageBox(Window owner, const char* text, const char* caption);
// Failure endings (a refused display, a missing script, no keyboard): one English line naming the
// cause, printed on standard error at once and shown under the message box that follows.
void ReportFailure(const char* cause);
// 1 once a failure has been reported: the program then ends with exit status 1.
int FailureReported();
