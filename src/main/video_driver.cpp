#include "main/video_driver.h"

#include <cstdlib>

namespace {

// sdl12-compat numbers its releases 1.2.50 and on; SDL 1.2 itself ended at 1.2.15.
constexpr int kFirstCompatPatch = 50;

bool sdl2Underneath(const SDL_version& linked) {
    return linked.major == 1 && linked.minor == 2 && linked.patch >= kFirstCompatPatch;
}

}  // namespace

const char* videoDriversFor(const char* current, const char* waylandDisplay, const SDL_version& linked) {
    if (current && current[0]) return nullptr;
    // Without a Wayland display named, SDL's attempt would only add a line of the
    // Wayland library's to the terminal.
    return sdl2Underneath(linked) && waylandDisplay && waylandDisplay[0] ? "x11,wayland" : "x11";
}

void chooseVideoDrivers() {
    const char* drivers =
        videoDriversFor(getenv("SDL_VIDEODRIVER"), getenv("WAYLAND_DISPLAY"), *SDL_Linked_Version());
    if (drivers) setenv("SDL_VIDEODRIVER", drivers, 1);
}

const char* openGLScalingFor(const char* current, bool fullscreen, bool atDesktopSize, const SDL_version& linked) {
    if ((current && current[0]) || (fullscreen && !atDesktopSize) || !sdl2Underneath(linked)) return nullptr;
    return "0";
}

bool chooseOpenGLScaling(bool fullscreen, bool atDesktopSize) {
    const char* scaling =
        openGLScalingFor(getenv("SDL12COMPAT_OPENGL_SCALING"), fullscreen, atDesktopSize, *SDL_Linked_Version());
    if (scaling) setenv("SDL12COMPAT_OPENGL_SCALING", scaling, 1);
    return scaling != nullptr;
}
