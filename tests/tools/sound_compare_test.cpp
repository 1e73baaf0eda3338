#include "sound_compare.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using pulsecheck::compareSound;
using pulsecheck::SoundComparison;

// 2 s of stereo noise after 0.1 s of silence: every window of it is unlike any other.
std::vector<int16_t> soundtrack() {
    std::vector<int16_t> s(88200 * 2, 0);
    uint32_t state = 12345;
    for (size_t i = 4410 * 2; i < s.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        s[i] = int16_t(int32_t(state >> 16) % 20000 - 10000);
    }
    return s;
}

// Frames [from, to) of the soundtrack, appended.
void append(std::vector<int16_t>* out, const std::vector<int16_t>& s, int64_t from, int64_t to) {
    out->insert(out->end(), s.begin() + from * 2, s.begin() + to * 2);
}

TEST(SoundCompare, EachDepartureFromTheSoundtrackIsFoundAndMeasured) {
    const std::vector<int16_t> track = soundtrack();
    const int64_t frames = int64_t(track.size() / 2);
    std::vector<int16_t> heard(500 * 2, 0);  // the server's delay
    append(&heard, track, 0, 20000);
    heard.resize(heard.size() + 441 * 2, 0);  // 10 ms of silence let in
    append(&heard, track, 20000, 40000);
    append(&heard, track, 39700, 40000);  // 300 frames heard twice
    append(&heard, track, 40000, 70000);
    heard[size_t(500 + 441 + 300 + 60000) * 2] += 5000;  // a click
    append(&heard, track, 70200, frames);  // 200 frames lost
    heard.resize(heard.size() + 1000 * 2, 0);

    SoundComparison c = compareSound(track.data(), frames, heard.data(), int64_t(heard.size() / 2));
    ASSERT_TRUE(c.found);
    EXPECT_EQ(500, c.delay);
    EXPECT_EQ(4, c.dropouts);
    EXPECT_EQ(1, c.clicks);
    EXPECT_EQ(441, c.longestGap);
    EXPECT_EQ(frames - 4410, c.compared);

    // The same recording whole, within the tolerance of a float conversion: nothing.
    std::vector<int16_t> clean(700 * 2, 0);
    append(&clean, track, 0, frames);
    for (size_t i = 0; i < clean.size(); i += 3) clean[i] = int16_t(clean[i] + (clean[i] > 0 ? -1 : 1));
    c = compareSound(track.data(), frames, clean.data(), int64_t(clean.size() / 2));
    EXPECT_TRUE(c.found);
    EXPECT_EQ(700, c.delay);
    EXPECT_EQ(0, c.dropouts);
    EXPECT_EQ(frames - 4410, c.compared);

    // Silence only: the soundtrack is not there.
    std::vector<int16_t> silence(size_t(frames) * 2, 0);
    EXPECT_FALSE(compareSound(track.data(), frames, silence.data(), frames).found);
}

}  // namespace
