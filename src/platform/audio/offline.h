// The audio layer's offline clock, for rendering and tests: with it switched on before
// BASS_Init, no device is opened, nothing plays, and a playing stream's position moves
// only when the program advances it, so the beat of a frame is exact and repeatable.
#pragma once

#include "platform/audio/bass.h"

namespace audio {

// Must be called before BASS_Init; false switches back to the device (tests).
void useOfflineClock(bool offline);
bool offlineClock();

// Moves the position of every playing stream forward by bytes (a multiple of 4),
// or to an absolute time in seconds. A stream reaching its end stops.
void offlineAdvanceBytes(QWORD bytes);
void offlineSetSeconds(double seconds);

}  // namespace audio
