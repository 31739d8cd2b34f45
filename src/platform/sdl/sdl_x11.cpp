// The real backend's one X11-only piece: the window icon at several sizes. Kept out of sdl.cpp because
// Xlib's names (Window, Display, ...) clash with the platform's own.
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <vector>

void SetX11WindowIcons(SDL_Window* window, const std::vector<unsigned long>& icons) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (icons.empty() || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    // SDL has loaded Xlib itself: take its functions from there rather than link it a second time.
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!xlib) return;
    auto internAtom = reinterpret_cast<Atom (*)(Display*, const char*, Bool)>(dlsym(xlib, "XInternAtom"));
    auto changeProperty = reinterpret_cast<int (*)(Display*, Window, Atom, Atom, int, int, const unsigned char*, int)>(
        dlsym(xlib, "XChangeProperty"));
    if (internAtom && changeProperty) {
        Display* display = info.info.x11.display;
        changeProperty(display, info.info.x11.window, internAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                       PropModeReplace, reinterpret_cast<const unsigned char*>(icons.data()), int(icons.size()));
    }
    dlclose(xlib);
#else
    (void)window;
    (void)icons;
#endif
}
