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
