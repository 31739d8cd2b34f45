// The Windows backend's window: a "kirake" window with the executable's icon, in a window or as a
// borderless window over its whole monitor (Alt+Enter and F11 switch), the 8-bit page drawn through its
// colour table with StretchDIBits, scaled with its shape kept and sharp pixels on black; 60 game frames
// a second by a high-resolution waitable timer; the keys from window messages; XInput pads.
#include <windows.h>
#include <mmsystem.h>
#include <xinput.h>
#include <algorithm>
#include <cstdio>
#include <vector>
#include "platform/core/pacing_stats.h"
#include "platform/win32/win32.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480;
constexpr wchar_t CLASS_NAME[] = L"kirake";
constexpr int STICK_THRESHOLD = 16000;  // of 32767: past it the left stick counts as a cursor key

struct PageInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

struct Pacing {
    HANDLE timer;
    bool highResolution;
    LARGE_INTEGER frequency;
    int64_t base, count;  // timer: when game frame `count` of this run of frames was due (counter ticks)
    int64_t lastPresent;
    int64_t waitCpu;      // 100 ns units of CPU spent waiting
    std::vector<int32_t> intervals;  // microseconds between game frames, pauses left out
    bool resumed;
};

using XInputGetStateFunction = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

struct WindowRecord {
    HWND window;
    Win32WindowOptions options;
    Win32Events events;
    bool fullscreen;
    RECT windowedRect;  // the window's frame out of full screen
    bool cursorHidden;
    bool active;
    bool hasPage;
    bool periodSet;
    PageInfo info;
    std::vector<uint8_t> page;  // the last page shown, bottom-up rows of 640
    RECT drawnClient;           // the client area the page was last drawn into
    Pacing pacing;
    HMODULE xinput;
    XInputGetStateFunction getState;
    unsigned padsHeld;
    int64_t startCounter;
};
WindowRecord w32;

int64_t Counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t ThreadCpu() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](FILETIME t) { return int64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

std::wstring Wide(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(n > 0 ? size_t(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    out.resize(wcslen(out.c_str()));
    return out;
}

// Where the page goes in a client area: as large as it fits with its shape kept (or the largest whole
// multiple with --scale integer), centred.
RECT PageRect(int clientWidth, int clientHeight) {
    int shownWidth, shownHeight;
    int whole = std::min(clientWidth / WIDTH, clientHeight / HEIGHT);
    if (w32.options.integerScale && whole >= 1) {
        shownWidth = WIDTH * whole;
        shownHeight = HEIGHT * whole;
    } else if (clientWidth * HEIGHT > clientHeight * WIDTH) {
        shownHeight = clientHeight;
        shownWidth = clientHeight * WIDTH / HEIGHT;
    } else {
        shownWidth = clientWidth;
        shownHeight = clientWidth * HEIGHT / WIDTH;
    }
    RECT r;
    r.left = (clientWidth - shownWidth) / 2;
    r.top = (clientHeight - shownHeight) / 2;
    r.right = r.left + shownWidth;
    r.bottom = r.top + shownHeight;
    return r;
}

void Draw(HDC dc) {
    RECT client;
    GetClientRect(w32.window, &client);
    w32.drawnClient = client;
    RECT shown = PageRect(client.right, client.bottom);
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT bars[4] = {{0, 0, client.right, shown.top},
                    {0, shown.bottom, client.right, client.bottom},
                    {0, shown.top, shown.left, shown.bottom},
                    {shown.right, shown.top, client.right, shown.bottom}};
    for (const RECT& bar : bars)
        if (bar.right > bar.left && bar.bottom > bar.top) FillRect(dc, &bar, black);
    if (!w32.hasPage) {
        FillRect(dc, &shown, black);
        return;
    }
    SetStretchBltMode(dc, COLORONCOLOR);  // nearest neighbour
    StretchDIBits(dc, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top, 0, 0, WIDTH,
                  HEIGHT, w32.page.data(), reinterpret_cast<const BITMAPINFO*>(&w32.info), DIB_RGB_COLORS, SRCCOPY);
}

void Repaint() {
    if (!w32.window) return;
    HDC dc = GetDC(w32.window);
    Draw(dc);
    ReleaseDC(w32.window, dc);
}

HMONITOR WindowMonitor(MONITORINFO* info) {
    HMONITOR monitor = MonitorFromWindow(w32.window, MONITOR_DEFAULTTONEAREST);
    info->cbSize = sizeof *info;
    GetMonitorInfoW(monitor, info);
    return monitor;
}

constexpr DWORD WINDOWED_STYLE = WS_OVERLAPPEDWINDOW;

// The windowed frame: the page at twice its size where the work area has room, else at its size,
// centred on the window's monitor.
RECT DefaultWindowedRect() {
    MONITORINFO monitor;
    WindowMonitor(&monitor);
    const RECT& work = monitor.rcWork;
    int scale = (work.right - work.left >= WIDTH * 2 + 64 && work.bottom - work.top >= HEIGHT * 2 + 64) ? 2 : 1;
    RECT r{0, 0, WIDTH * scale, HEIGHT * scale};
    AdjustWindowRectEx(&r, WINDOWED_STYLE, FALSE, 0);
    int width = r.right - r.left, height = r.bottom - r.top;
    int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    return RECT{x, y, x + width, y + height};
}

void EnterFullscreen() {
    MONITORINFO monitor;
    WindowMonitor(&monitor);
    const RECT& r = monitor.rcMonitor;
    SetWindowLongPtrW(w32.window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    SetWindowPos(w32.window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    w32.fullscreen = true;
}

void LeaveFullscreen() {
    SetWindowLongPtrW(w32.window, GWL_STYLE, WINDOWED_STYLE | WS_VISIBLE);
    const RECT& r = w32.windowedRect;
    SetWindowPos(w32.window, HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    w32.fullscreen = false;
}

void SetActive(bool active) {
    if (active == w32.active) return;
    w32.active = active;
    w32.pacing.resumed = true;  // the time away is not a frame interval
    w32.pacing.base = 0;
    if (w32.events.activate) w32.events.activate(active ? 1 : 0);
}

// The right Ctrl as VK_RCONTROL (its messages carry VK_CONTROL with the extended-key flag).
int SidedKey(WPARAM wParam, LPARAM lParam) {
    if (wParam == VK_CONTROL && (lParam & (1 << 24))) return VK_RCONTROL;
    return int(wParam);
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATEAPP: SetActive(wParam != 0); return 0;
        case WM_CLOSE:
            if (w32.events.close) w32.events.close();
            return 0;  // the game destroys the window when it ends
        case WM_ERASEBKGND: return 1;
        case WM_SIZE:  // resized, maximized, restored: the page's place changed, even on a still page
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            Draw(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_SETCURSOR:
            if (w32.cursorHidden && LOWORD(lParam) == HTCLIENT) {
                SetCursor(nullptr);
                return TRUE;
            }
            break;
        case WM_DPICHANGED: {
            if (w32.fullscreen) {
                EnterFullscreen();
            } else {
                const RECT* r = reinterpret_cast<const RECT*>(lParam);
                SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return 0;
        }
        case WM_SYSKEYDOWN:
        case WM_KEYDOWN: {
            bool repeat = lParam & (1 << 30), alt = lParam & (1 << 29);
            if (repeat) return 0;
            if (wParam == VK_ESCAPE && w32.events.escape) w32.events.escape();
            if (wParam == VK_F11 || (alt && wParam == VK_RETURN)) {
                Win32ToggleFullscreen();
                return 0;
            }
            if (wParam == VK_F12 && w32.events.screenshot) {
                w32.events.screenshot();
                return 0;
            }
            if (wParam == VK_F4 && alt) break;  // Alt+F4 closes, as everywhere
            if (w32.events.key) w32.events.key(SidedKey(wParam, lParam), 1);
            return 0;
        }
        case WM_SYSKEYUP:
        case WM_KEYUP:
            if (w32.events.key) w32.events.key(SidedKey(wParam, lParam), 0);
            return 0;
        case WM_MOUSEWHEEL:
            if (w32.events.wheel && GET_WHEEL_DELTA_WPARAM(wParam) != 0) w32.events.wheel(GET_WHEEL_DELTA_WPARAM(wParam) > 0);
            return 0;
        case WM_QUERYENDSESSION:  // the session is ending: keep what the player would lose now
            if (w32.events.suspend) w32.events.suspend();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam && w32.events.suspend) w32.events.suspend();
            return 0;
        case WM_SYSCHAR: return 0;  // no beep for Alt+Enter
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;  // Alt and F10 do not open a menu
            break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The first timer that can wait to the millisecond: a high-resolution one where Windows has them
// (10, version 1803 on), else an ordinary one with the system timer at 1 ms.
void StartTimer() {
    Pacing& p = w32.pacing;
    QueryPerformanceFrequency(&p.frequency);
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
    p.timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    p.highResolution = p.timer != nullptr;
    if (!p.timer) p.timer = CreateWaitableTimerW(nullptr, TRUE, nullptr);
    w32.periodSet = timeBeginPeriod(1) == TIMERR_NOERROR;
}

// Waits for the deadline of the next game frame: the timer to within half a millisecond, then a spin.
void WaitForDeadline() {
    Pacing& p = w32.pacing;
    const int64_t second = p.frequency.QuadPart, ticksPerMs = second / 1000;
    int64_t now = Counter();
    // The next tick of the grid of 60 a second. A frame that comes after its tick (a stall, a slow frame)
    // is not caught up: as a display shows a late page at its next refresh, it waits for the first tick
    // from now and the ticks it missed are dropped. After a pause the grid starts again from now.
    if (p.base == 0) {
        p.base = now;
        p.count = 0;
    }
    ++p.count;
    if (p.base + p.count * second / 60 < now) p.count = (now - p.base) * 60 / second + 1;
    int64_t deadline = p.base + p.count * second / 60;
    int64_t cpuBefore = ThreadCpu();
    int64_t early = p.highResolution ? ticksPerMs / 2 : ticksPerMs * 3 / 2;
    if (p.timer && deadline - now > early) {
        LARGE_INTEGER due;
        due.QuadPart = -((deadline - now - early) * 10000000 / p.frequency.QuadPart);  // relative, 100 ns
        if (SetWaitableTimer(p.timer, &due, 0, nullptr, nullptr, FALSE))
            WaitForSingleObject(p.timer, INFINITE);
    }
    while (Counter() < deadline) YieldProcessor();
    p.waitCpu += ThreadCpu() - cpuBefore;
}

void LoadXInput() {
    for (const wchar_t* name : {L"xinput1_4.dll", L"xinput9_1_0.dll", L"xinput1_3.dll"}) {
        w32.xinput = LoadLibraryW(name);
        if (!w32.xinput) continue;
        w32.getState = reinterpret_cast<XInputGetStateFunction>(
            reinterpret_cast<void*>(GetProcAddress(w32.xinput, "XInputGetState")));
        if (w32.getState) {
            if (w32.options.verbose) std::fprintf(stderr, "win32: game controllers through %ls\n", name);
            return;
        }
        FreeLibrary(w32.xinput);
        w32.xinput = nullptr;
    }
}
}  // namespace

int Win32OpenWindow(const char* caption, const Win32WindowOptions& options, const Win32Events& events,
                    std::string* error) {
    w32 = WindowRecord{};
    w32.options = options;
    w32.events = events;
    w32.startCounter = Counter();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // A window of another size shows the page at another size and place: all of it is drawn again.
    windowClass.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, L"icon");
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, L"icon", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = CLASS_NAME;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        *error = "cannot register the window class (error " + std::to_string(GetLastError()) + ")";
        return 0;
    }
    w32.window = CreateWindowExW(0, CLASS_NAME, Wide(caption).c_str(), WINDOWED_STYLE, CW_USEDEFAULT,
                                 CW_USEDEFAULT, WIDTH, HEIGHT, nullptr, nullptr, instance, nullptr);
    if (!w32.window) {
        *error = "cannot open the game window (error " + std::to_string(GetLastError()) + ")";
        return 0;
    }
    w32.info.header.biSize = sizeof w32.info.header;
    w32.info.header.biWidth = WIDTH;
    w32.info.header.biHeight = HEIGHT;  // bottom-up
    w32.info.header.biPlanes = 1;
    w32.info.header.biBitCount = 8;
    w32.info.header.biCompression = BI_RGB;
    w32.info.header.biClrUsed = 256;
    w32.page.assign(size_t(WIDTH) * HEIGHT, 0);
    w32.windowedRect = DefaultWindowedRect();
    if (options.windowed) {
        const RECT& r = w32.windowedRect;
        SetWindowPos(w32.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
    } else {
        EnterFullscreen();
    }
    StartTimer();
    LoadXInput();
    ShowWindow(w32.window, SW_SHOW);
    SetForegroundWindow(w32.window);
    UpdateWindow(w32.window);
    w32.active = true;
    if (options.verbose)
        std::fprintf(stderr, "win32: %s, paced by a %s waitable timer%s\n", w32.fullscreen ? "full screen" : "window",
                     w32.pacing.highResolution ? "high-resolution" : "1 ms", options.pacing == "vsync"
                         ? " (vsync is not offered on Windows: the timer is steadier under composition)" : "");
    return 1;
}

void Win32CloseWindow() {
    if (w32.window) DestroyWindow(w32.window);
    w32.window = nullptr;
    if (w32.pacing.timer) CloseHandle(w32.pacing.timer);
    w32.pacing.timer = nullptr;
    if (w32.periodSet) timeEndPeriod(1);
    w32.periodSet = false;
    // XInput stays loaded to the end: its own threads (Wine's reads HID devices) may still run.
    w32.getState = nullptr;
}

void Win32HideCursor() {
    w32.cursorHidden = true;
    POINT at;
    RECT client;
    if (w32.window && GetCursorPos(&at) && ScreenToClient(w32.window, &at) && GetClientRect(w32.window, &client) &&
        PtInRect(&client, at))
        SetCursor(nullptr);
}

void Win32ToggleFullscreen() {
    if (!w32.window) return;
    if (w32.fullscreen) {
        LeaveFullscreen();
    } else {
        GetWindowRect(w32.window, &w32.windowedRect);
        EnterFullscreen();
    }
    Repaint();
}

int Win32IsFullscreen() { return w32.fullscreen ? 1 : 0; }

void Win32PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32WaitMessages() {
    WaitMessage();
    Win32PumpMessages();
}

// A page and colour table the same as those shown last are not drawn again (a still text wait costs
// only the wait for the frame).
void Win32Present(const uint8_t* pixels, int pitch, const uint8_t (*colours)[3]) {
    if (!w32.window) return;
    bool same = w32.hasPage;
    for (int i = 0; i < 256; ++i) {
        RGBQUAD c{};
        c.rgbRed = colours ? colours[i][0] : 0;
        c.rgbGreen = colours ? colours[i][1] : 0;
        c.rgbBlue = colours ? colours[i][2] : 0;
        RGBQUAD& shown = w32.info.colours[i];
        same = same && shown.rgbRed == c.rgbRed && shown.rgbGreen == c.rgbGreen && shown.rgbBlue == c.rgbBlue;
        shown = c;
    }
    for (int y = 0; y < HEIGHT; ++y) {
        const uint8_t* from = pixels + size_t(y) * pitch;
        uint8_t* to = w32.page.data() + size_t(HEIGHT - 1 - y) * WIDTH;
        if (same && std::equal(from, from + WIDTH, to)) continue;
        same = false;
        std::copy(from, from + WIDTH, to);
    }
    w32.hasPage = true;
    // A still page is drawn again when the window changed size since it was drawn (a paint the system
    // has not delivered yet, under a window manager that resizes without one).
    RECT client;
    GetClientRect(w32.window, &client);
    if (!EqualRect(&client, &w32.drawnClient)) same = false;
    if (!same) Repaint();
    WaitForDeadline();
    Pacing& p = w32.pacing;
    int64_t now = Counter();
    if (p.lastPresent && !p.resumed)
        p.intervals.push_back(int32_t(std::min<int64_t>((now - p.lastPresent) * 1000000 / p.frequency.QuadPart, INT32_MAX)));
    p.resumed = false;
    p.lastPresent = now;
}

void Win32PrintStats(long shown) {
    const Pacing& p = w32.pacing;
    FILETIME created, exited, kernel, user;
    double cpu = 0;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        auto value = [](FILETIME t) { return double(int64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime); };
        cpu = (value(kernel) + value(user)) / 1e7;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double wall = double(Counter() - w32.startCounter) / double(frequency.QuadPart);
    PrintPacingStats(shown, p.intervals, p.highResolution ? "the high-resolution timer" : "the 1 ms timer", cpu, wall,
                     double(p.waitCpu) / 1e4);
}

void Win32MessageBox(const char* text, const char* caption) {
    if (w32.window && w32.fullscreen) LeaveFullscreen();
    if (!MessageBoxW(w32.window, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONERROR))
        std::fprintf(stderr, "MessageBox: %s: %s (no box could be shown: error %lu)\n", caption, text, GetLastError());
}

void Win32ReadPads(unsigned* held, unsigned* pressed) {
    unsigned now = 0;
    if (w32.getState) {
        struct Mapping {
            WORD button;
            unsigned bit;
        };
        static const Mapping mappings[] = {
            {XINPUT_GAMEPAD_DPAD_LEFT, PAD_LEFT}, {XINPUT_GAMEPAD_DPAD_RIGHT, PAD_RIGHT},
            {XINPUT_GAMEPAD_DPAD_UP, PAD_UP},     {XINPUT_GAMEPAD_DPAD_DOWN, PAD_DOWN},
            {XINPUT_GAMEPAD_A, PAD_A},            {XINPUT_GAMEPAD_B, PAD_B},
            {XINPUT_GAMEPAD_X, PAD_X},            {XINPUT_GAMEPAD_Y, PAD_Y},
            {XINPUT_GAMEPAD_START, PAD_START},
        };
        for (DWORD pad = 0; pad < XUSER_MAX_COUNT; ++pad) {
            XINPUT_STATE state{};
            if (w32.getState(pad, &state) != ERROR_SUCCESS) continue;
            for (const Mapping& m : mappings)
                if (state.Gamepad.wButtons & m.button) now |= m.bit;
            if (state.Gamepad.sThumbLX < -STICK_THRESHOLD) now |= PAD_LEFT;
            if (state.Gamepad.sThumbLX > STICK_THRESHOLD) now |= PAD_RIGHT;
            if (state.Gamepad.sThumbLY > STICK_THRESHOLD) now |= PAD_UP;  // XInput's y grows upwards
            if (state.Gamepad.sThumbLY < -STICK_THRESHOLD) now |= PAD_DOWN;
        }
    }
    *held = now;
    *pressed = now & ~w32.padsHeld;
    w32.padsHeld = now;
}
