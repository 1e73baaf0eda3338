// The two ways of sending sparks draw the same picture: frames of the starfield and
// fireworks section drawn both ways from one simulated state differ by at most one
// level per channel on average.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "lib/session.h"
#include "scenes/scene/sprites.h"
#include "util/data/data.h"

namespace {

std::vector<unsigned char> drawn(offline::Production& production, offline::CaptureTarget& target,
                                 ParticlePath path) {
    setParticlePath(path);
    production.redrawFrame(&target);
    target.queueRead(0);
    int w = 0, h = 0;
    const unsigned char* p = target.map(0, &w, &h);
    std::vector<unsigned char> pixels(p, p + size_t(w) * h * 4);
    target.unmap(0);
    return pixels;
}

TEST(ParticlePaths, FastFramesMatchTheReferenceWithinOneLevelPerChannel) {
    setDataMode(Disk);
    offline::ProductionOptions options;
    options.rate = offline::Rate{8, 1};
    options.seed = 7;
    testing::internal::CaptureStdout();
    auto production = std::make_unique<offline::Production>(options, 320, 180);
    testing::internal::GetCapturedStdout();
    offline::CaptureTarget target(320, 180, 4);
    // Beats 53 (trails only), 56 and 60 (bursts): at 120 bpm and 8 fps, 4 frames a beat.
    const int64_t frames[] = {4 * 53, 4 * 56, 4 * 60};
    int64_t n = 0;
    for (int64_t at : frames) {
        for (; n <= at; ++n) production->simulateFrame(n);
        std::vector<unsigned char> reference = drawn(*production, target, ParticlePath::Reference);
        std::vector<unsigned char> fast = drawn(*production, target, ParticlePath::Fast);
        ASSERT_EQ(reference.size(), fast.size());
        double difference[3] = {0, 0, 0}, lit = 0;
        for (size_t i = 0; i < reference.size(); i += 4)
            for (int c = 0; c < 3; ++c) {
                difference[c] += std::abs(int(reference[i + c]) - int(fast[i + c]));
                lit += reference[i + c];
            }
        const double pixels = double(reference.size() / 4);
        for (int c = 0; c < 3; ++c)
            EXPECT_LE(difference[c] / pixels, 1.0) << "channel " << c << " at frame " << at;
        EXPECT_GT(lit / pixels, 1.0) << "frame " << at << " shows sparks";
    }
    // Measured on the first fast draw into the 4-sample target: within a pixel.
    const float* shift = measuredPointShift(4);
    ASSERT_NE(nullptr, shift);
    EXPECT_LE(std::fabs(shift[0]), 1.0f);
    EXPECT_LE(std::fabs(shift[1]), 1.0f);
    setParticlePath(ParticlePath::Fast);
}

}  // namespace
