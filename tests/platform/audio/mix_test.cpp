#include "platform/audio/mix.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputMix, VolumeScalesEachStreamAndTheSumIsClipped) {
    struct Case {
        const char* what;
        float volumeA, volumeB;
        int16_t a, b;
        int16_t expected;
    } cases[] = {
        {"full volume passes through", 1.0f, 0.0f, 12345, 999, 12345},
        {"silence", 0.0f, 0.0f, 32767, -32768, 0},
        {"half volume rounds to nearest", 0.5f, 0.0f, 1001, 0, 500},
        {"half volume, negative", 0.5f, 0.0f, -1001, 0, -500},
        {"two streams add", 1.0f, 1.0f, 1000, -250, 750},
        {"sum clipped high", 1.0f, 1.0f, 30000, 30000, 32767},
        {"sum clipped low", 1.0f, 1.0f, -30000, -30000, -32768},
        {"a quarter of both", 0.25f, 0.25f, 4000, 8000, 3000},
    };
    for (const Case& c : cases) {
        int32_t sum[2] = {0, 0};
        int16_t a[2] = {c.a, c.a}, b[2] = {c.b, c.b};
        audio::mixAdd(sum, a, 2, c.volumeA);
        audio::mixAdd(sum, b, 2, c.volumeB);
        int16_t out[2] = {1, 1};
        audio::mixStore(out, sum, 2);
        EXPECT_EQ(c.expected, out[0]) << c.what;
        EXPECT_EQ(c.expected, out[1]) << c.what;
    }
}

}  // namespace
