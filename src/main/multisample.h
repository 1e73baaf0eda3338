// Anti-aliasing the display cannot give. The setup dialog offers 2x to 16x whatever the
// display has; a count it lacks either fails the video mode (SDL 1.2) or opens a window
// whose multisampled buffer could not be made, with an OpenGL error pending (sdl12-compat
// on Mesa). The window is then opened again with the largest count the display offers;
// the settings keep the viewer's choice.
#pragma once

// The sample counts the dialog offers, largest first; 0 is none.
constexpr int kSampleCounts[] = {16, 8, 4, 2, 0};

// The next count to try after `tried` (> 0) could not be had: the largest offered count
// below it that is at most `offered` (the implementation's GL_MAX_SAMPLES; negative when
// unknown, as when no window opened), or 0 (none). -1 when `tried` was 0 or less:
// nothing is left to fall back to.
int nextSampleCount(int tried, int offered);

// SDL's OpenGL attributes with `samples` multisamples (no multisample buffer for 0 or
// less; the count is passed on unchanged), then the video mode. True when the window
// opened and, for samples > 0, its multisampled buffer works; `offered` receives the
// implementation's GL_MAX_SAMPLES when a window opened (else it is left alone).
bool openVideoMode(int width, int height, int depth, unsigned flags, int samples, int vsync, int* offered);

// The window with `samples`, or else with the fallbacks of nextSampleCount, logging one
// line when it falls back. False when no count opens one (SDL_GetError says why).
bool openVideoModeWithFallback(int width, int height, int depth, unsigned flags, int samples, int vsync);
