// Which of SDL's video drivers the demo may use. Without a display SDL would take one
// that draws into the terminal (SDL 1.2's aalib and caca), onto the console frame buffer
// or into memory that nobody sees (SDL 2's offscreen, under sdl12-compat): a run that
// cannot open a window must end with the video box and leave the terminal as it was.
#pragma once

#include <SDL.h>

// What SDL_VIDEODRIVER should be set to before SDL_Init, or null to leave it: the
// viewer's own choice (`current` set and not empty) stays; otherwise the window
// systems only: "x11", and "x11,wayland" where a Wayland display is named
// (`waylandDisplay`, WAYLAND_DISPLAY) and SDL 2 lies underneath (sdl12-compat, which
// reports 1.2.50 and later and takes a list; SDL 1.2 itself has no Wayland driver).
const char* videoDriversFor(const char* current, const char* waylandDisplay, const SDL_version& linked);

// Sets SDL_VIDEODRIVER as videoDriversFor says for the linked SDL.
void chooseVideoDrivers();

// sdl12-compat draws an OpenGL window's frames into a framebuffer of its own and copies
// it onto the screen at every swap, so that a fullscreen mode other than the desktop's is
// scaled instead of switched to. A window, or fullscreen at the desktop's own size, gains
// nothing from it and pays that copy on every frame (about 2 ms at 1280x720 and 6 ms at
// 1920x1080 on a software renderer: most of an empty frame's time without
// multisampling).
// What SDL12COMPAT_OPENGL_SCALING should be set to, or null to leave it: "0" under
// sdl12-compat for a window or for fullscreen at the desktop's size (`fullscreen`,
// `atDesktopSize`), unless the viewer set it (`current` not empty); fullscreen at another
// size keeps sdl12-compat's default.
const char* openGLScalingFor(const char* current, bool fullscreen, bool atDesktopSize, const SDL_version& linked);

// Sets SDL12COMPAT_OPENGL_SCALING as openGLScalingFor says. sdl12-compat reads it when
// its video starts: true when it was set, and SDL's video, if already started, must be
// started again for it to count.
bool chooseOpenGLScaling(bool fullscreen, bool atDesktopSize);
