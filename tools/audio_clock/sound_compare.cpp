#include "sound_compare.h"

#include <cstdlib>

namespace pulsecheck {
namespace {

constexpr int64_t kWindow = 1024;         // frames that must agree to be in step
constexpr int kLoud = 256;                // a sample that is sound, not silence
constexpr int64_t kLongest = 5 * 44100;   // the longest gap or repeat followed, frames

struct Sound {
    const int16_t* samples;
    int64_t frames;
};

bool frameAgrees(const Sound& a, int64_t i, const Sound& b, int64_t j, int tolerance) {
    if (i < 0 || j < 0 || i >= a.frames || j >= b.frames) return false;
    return std::abs(a.samples[i * 2] - b.samples[j * 2]) <= tolerance &&
           std::abs(a.samples[i * 2 + 1] - b.samples[j * 2 + 1]) <= tolerance;
}

// Whether the window of `a` from i agrees with `b` from j (as far as both go, at least
// one frame).
bool windowAgrees(const Sound& a, int64_t i, const Sound& b, int64_t j, int tolerance) {
    for (int64_t k = 0; k < kWindow && i + k < a.frames; ++k)
        if (!frameAgrees(a, i + k, b, j + k, tolerance)) return false;
    return true;
}

bool loud(const Sound& s, int64_t i) { return std::abs(s.samples[i * 2]) > kLoud || std::abs(s.samples[i * 2 + 1]) > kLoud; }

// The first frame from i on whose window holds sound: only sound tells where it is.
int64_t nextLoud(const Sound& s, int64_t i) {
    while (i < s.frames && !loud(s, i)) ++i;
    return i;
}

}  // namespace

SoundComparison compareSound(const int16_t* soundtrack, int64_t soundFrames, const int16_t* recording,
                             int64_t recordFrames, int tolerance) {
    const Sound track{soundtrack, soundFrames}, heard{recording, recordFrames};
    SoundComparison out;
    const int64_t first = nextLoud(track, 0);
    if (first >= track.frames) return out;
    for (int64_t j = 0; j + (track.frames - first < kWindow ? track.frames - first : kWindow) <= heard.frames; ++j) {
        if (windowAgrees(track, first, heard, j, tolerance)) {
            out.found = true;
            out.delay = j - first;
            break;
        }
    }
    if (!out.found) return out;
    int64_t i = first;
    int64_t delay = out.delay;
    while (i < track.frames && i + delay < heard.frames) {
        if (frameAgrees(track, i, heard, i + delay, tolerance)) {
            ++i;
            continue;
        }
        // Out of step at i: find where the next sound is, and the smallest step that
        // brings it back. Frames lost in the recording leave no match for a window over
        // them: the windows after it are tried, a few, before this counts as a stretch
        // that differs.
        ++out.dropouts;
        int64_t at = nextLoud(track, i + 1);
        bool back = false;
        for (int tries = 0; tries < 8 && at < track.frames && !back; ++tries) {
            for (int64_t step = 0; step <= kLongest && !back; ++step) {
                for (int sign = 1; sign >= (step == 0 ? 1 : -1) && !back; sign -= 2) {
                    const int64_t s = sign * step;
                    if (at + delay + s + 1 > heard.frames) continue;
                    if (windowAgrees(track, at, heard, at + delay + s, tolerance)) {
                        if (s == 0) ++out.clicks;
                        delay += s;
                        if (std::llabs(s) > out.longestGap) out.longestGap = std::llabs(s);
                        back = true;
                    }
                }
            }
            if (!back) at = nextLoud(track, at + kWindow);
        }
        i = at;
    }
    out.compared = i - first;
    return out;
}

}  // namespace pulsecheck
