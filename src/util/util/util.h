// Small shared helpers: fonts from the data layer, formatted text, the frame timer.
#pragma once

#include <cstddef>
#include <cstdint>

class FTFont;

// A new FTGL buffer font from a font file read wholly into memory (kept for the font's
// life). Face size and character map are the caller's.
FTFont* loadFont(const char* path);
// The font over bytes already in memory (kept, not copied, for the font's life); a font
// FreeType cannot open ends the process with a box naming `label`.
FTFont* fontFromMemory(const unsigned char* bytes, size_t size, const char* label);

// Development mode: the font at path loaded again into *slot when its file changes, at
// the size the old one had and with the Unicode character map (what every owner sets).
// Nothing outside development mode.
void watchFont(FTFont** slot, const char* path);

// Draws one line (at most 259 characters) at the origin of the current modelview.
void fontPrintf(FTFont* font, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The frame timer. Its constants are set by the scene manager at construction.
void setFrameTimerConstants(float secondsPerTick, int64_t startCount);
// Once per frame: keeps a 5-slot ring of frame deltas (each at most 0.25 s).
void updateFrameTime();
// The smoothed frame time in seconds (0.0001 before the first update).
extern float frameTime;
// Back to the start values (tests and the capture tool).
void resetFrameTimer();

// The frame timer's whole state, so that it can run on another clock for a while (the
// fast-forward of a seek) and come back.
struct FrameTimerState {
    float secondsPerTick;
    int64_t startCount;
    uint8_t slotIndex;
    float slots[5];
    double previousTime;
    float frameTime;
};
FrameTimerState frameTimerState();
void setFrameTimerState(const FrameTimerState& state);
// The next frame's delta counts from now: time spent between frames on something else
// (a seek) is not a frame.
void restartFrameDelta();
