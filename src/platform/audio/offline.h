// The audio layer's offline clock, for rendering and tests: with it switched on before
// BASS_Init, no device is opened, nothing plays, and a playing stream's position moves
// only when the program advances it, so the beat of a frame is exact and repeatable.
#pragma once

#include "platform/audio/bass.h"

namespace audio {

// Takes effect at the next BASS_Init. Switching closes an open device and stops every
// stream (tests switch back and forth).
void useOfflineClock(bool offline);
bool offlineClock();

// Moves the position of every playing stream forward by bytes (a multiple of 4),
// or to an absolute time in seconds. A stream reaching its end stops.
void offlineAdvanceBytes(QWORD bytes);
void offlineSetSeconds(double seconds);

// What BASS_Init opened: "offline", "pulseaudio" (the server's own playback clock, on
// the PulseAudio client library, or SDL's driver of that name), the SDL audio driver's
// name ("dummy" is the silent output paced by the real clock), or "" before BASS_Init.
const char* outputDriver();

// Takes effect at the next BASS_Init: true opens SDL's PulseAudio driver where the
// PulseAudio client library would otherwise play (for comparing the two).
void preferSdlOutput(bool sdl);

}  // namespace audio
