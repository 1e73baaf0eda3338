// Between the audio layer's mixer (bass.cpp) and an output that plays its frames. The
// mixer counts every frame it renders for the output since the output opened (silence
// included): the output frame. An output renders on its own thread whenever it needs
// frames, and reports from its own clock which output frame is leaving the device.
#pragma once

#include <cstddef>
#include <cstdint>

namespace audio {

// Fills `frames` 16-bit stereo frames at `out` with every playing stream, silence where
// none plays; they follow the previously rendered frames without a gap.
void renderOutput(int16_t* out, int frames);

// The output frame `frame` was leaving the device `ageSeconds` ago (0: now). The frames
// of a stream heard so far follow from it; observations may come at any rate.
void observeOutput(double ageSeconds, int64_t frame);

// Takes effect at the next BASS_Init (not on the offline clock): no device opens, the
// output driver is "external", and the program itself renders and observes through the
// calls above (tests play a device of their own making). Switching closes an open output.
void useExternalOutput(bool external);

// The output on the PulseAudio client library (pulse_output.cpp): the server's own timing
// reports say which frame leaves its sink, whatever it buffers. Not compiled in without
// the library: then pulseOutputOpen always fails with why = "".
// Opens a playback stream on the server of the environment (never starts one) that
// renders through renderOutput and observes through observeOutput; false with the reason
// in `why` when no server answers.
bool pulseOutputOpen(char* why, size_t whySize);
// Main thread only, never while holding a lock that renderOutput takes.
void pulseOutputClose();
// How often, since the output opened, the server ran out of frames to play (each time a
// gap of silence in the sound). Any thread.
int pulseOutputUnderflows();

}  // namespace audio
