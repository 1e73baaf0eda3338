// A recording of a soundtrack against the soundtrack itself: where the soundtrack starts
// in it (the delay), and every place where the recording leaves the soundtrack before it
// is in step again: a gap of silence the player let in, frames heard twice, a click.
// Pure: no server, no files.
#pragma once

#include <cstdint>

namespace pulsecheck {

struct SoundComparison {
    bool found = false;      // the soundtrack's first sound is in the recording
    int64_t delay = 0;       // recording frame of soundtrack frame 0, at the start
    int64_t compared = 0;    // soundtrack frames followed, from its first sound on
    int dropouts = 0;        // places where the recording left the soundtrack
    int64_t longestGap = 0;  // frames: the largest step (silence let in, or repeated) back into step
    int clicks = 0;          // of the dropouts, those back in step without a step
};

// Both interleaved 16-bit stereo; samples agree within `tolerance` (a server's float
// conversions). Gaps and repeats up to 5 s are followed.
SoundComparison compareSound(const int16_t* soundtrack, int64_t soundFrames, const int16_t* recording,
                             int64_t recordFrames, int tolerance = 2);

}  // namespace pulsecheck
