#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "platform/audio/position_estimator.h"

namespace {

constexpr double kRate = 44100.0;

// A sound card that plays at `drift`-adjusted 44100 frames per second from tStart and
// asks for buffer k+2 when buffer k starts playing (one buffer of slack), each request
// early or late by up to `jitter` seconds, with an occasional `spike` late.
struct FakeDevice {
    double periodSeconds;
    double jitter;
    double spike;
    double drift;  // the card's clock against ours, e.g. 1e-4 = 100 ppm fast
    double tStart = 0.25;

    int64_t bufferFrames() const { return int64_t(std::lround(periodSeconds * kRate)); }
    double deviceRate() const { return kRate * (1.0 + drift); }
    double trueFrames(double t) const { return t < tStart ? 0.0 : (t - tStart) * deviceRate(); }
};

struct Figures {
    double maxAbsMs = 0;      // |estimate - truth| after settling
    double settleAbsMs = 0;   // the same during the first callbacks
    double maxStepMs = 0;     // |estimated advance - true advance| between two frames
    bool backwards = false;
    bool aheadOfHanded = false;
};

// Runs a video loop at `fps` (each frame up to 1 ms late) for `seconds` against the
// device, feeding the estimator each callback as the audio layer does.
Figures simulate(const FakeDevice& device, double fps, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    audio::PositionEstimator estimator(kRate);
    const int64_t buffer = device.bufferFrames();
    const int settleCallbacks = 5;

    int64_t k = 0;
    auto callbackTime = [&](int64_t index) {
        double late = chance(random) < 0.02 ? device.spike : 0.0;
        return device.tStart + double(index * buffer) / device.deviceRate() +
               device.jitter * unit(random) + late;
    };
    double nextCallback = callbackTime(0);
    Figures f;
    int64_t previousEstimate = 0;
    double previousTruth = 0;
    bool first = true;
    for (int64_t frame = 0;; ++frame) {
        double t = double(frame) / fps + 0.0005 * (unit(random) + 1.0);
        if (t > seconds) break;
        while (nextCallback <= t) {
            estimator.onCallback(nextCallback, k * buffer, (k + 2) * buffer);
            ++k;
            nextCallback = std::max(callbackTime(k), nextCallback + 1e-4);
        }
        int64_t estimate = estimator.position(t);
        double truth = device.trueFrames(t);
        double absMs = std::fabs(double(estimate) - truth) / kRate * 1000.0;
        if (k < settleCallbacks)
            f.settleAbsMs = std::max(f.settleAbsMs, absMs);
        else
            f.maxAbsMs = std::max(f.maxAbsMs, absMs);
        if (!first) {
            double step = double(estimate - previousEstimate) - (truth - previousTruth);
            f.maxStepMs = std::max(f.maxStepMs, std::fabs(step) / kRate * 1000.0);
            if (estimate < previousEstimate) f.backwards = true;
        }
        if (estimate > estimator.handed()) f.aheadOfHanded = true;
        previousEstimate = estimate;
        previousTruth = truth;
        first = false;
    }
    return f;
}

TEST(PositionEstimator, FollowsTheAudioClockWithinTwoMillisecondsAtEachFrame) {
    struct Case {
        double periodMs, jitterMs, spikeMs, driftPpm, fps;
    } cases[] = {
        {10, 2, 6, 0, 60},    {10, 2, 6, 0, 144},   {23, 2, 6, 0, 60},
        {23, 2, 6, 0, 144},   {100, 2, 6, 0, 60},   {100, 2, 6, 0, 144},
        {10, 3, 0, 100, 144}, {23, 3, 0, -100, 60}, {100, 3, 0, 100, 144},
    };
    printf("period  jitter  spike  drift   fps | settle abs  abs max  step max (ms)\n");
    for (const Case& c : cases) {
        FakeDevice device{c.periodMs / 1000.0, c.jitterMs / 1000.0, c.spikeMs / 1000.0,
                          c.driftPpm * 1e-6};
        Figures f = simulate(device, c.fps, 20.0, 7u);
        printf("%4.0fms  %4.1fms  %3.0fms %4.0fppm %5.0f | %9.3f  %7.3f  %8.3f\n", c.periodMs,
               c.jitterMs, c.spikeMs, c.driftPpm, c.fps, f.settleAbsMs, f.maxAbsMs, f.maxStepMs);
        std::string name = "period " + std::to_string(int(c.periodMs)) + " ms, " +
                           std::to_string(int(c.fps)) + " fps, drift " +
                           std::to_string(int(c.driftPpm)) + " ppm";
        EXPECT_LT(f.maxAbsMs, 2.0) << name;
        EXPECT_LT(f.maxStepMs, 2.0) << name;
        EXPECT_FALSE(f.backwards) << name;
        EXPECT_FALSE(f.aheadOfHanded) << name;
    }
}

TEST(PositionEstimator, AnswersZeroBeforeTheFirstCallbackAndAfterReset) {
    audio::PositionEstimator estimator(kRate);
    EXPECT_EQ(0, estimator.position(5.0));
    estimator.onCallback(1.0, 0, 1024);
    EXPECT_EQ(441, estimator.position(1.01));
    estimator.reset();
    EXPECT_EQ(0, estimator.position(1.02));
    EXPECT_EQ(0, estimator.handed());
}

TEST(PositionEstimator, NeverPassesTheFramesHandedToTheDevice) {
    // The last buffer went out at t = 1.0: the position climbs to the handed count and
    // stays there, however long the program keeps asking.
    audio::PositionEstimator estimator(kRate);
    estimator.onCallback(1.0, 10000, 11024);
    struct Case {
        double t;
        int64_t expected;
    } cases[] = {{1.0, 10000}, {1.01, 10441}, {1.02, 10882}, {1.03, 11024}, {9.0, 11024}};
    for (const Case& c : cases) {
        int64_t got = estimator.position(c.t);
        EXPECT_EQ(c.expected, got) << "t = " << c.t;
    }
    EXPECT_TRUE(estimator.drained(9.0));
}

TEST(PositionEstimator, HoldsStillInsteadOfGoingBackAfterAStall) {
    // The device stops calling for 300 ms (the card stalled, nothing was heard): the
    // estimate runs up to the handed frames, holds, and re-anchors when calls resume.
    audio::PositionEstimator estimator(kRate);
    const int64_t b = 441;
    int64_t k = 0, previous = 0;
    double t = 0.0;
    for (; k < 50; ++k) estimator.onCallback(0.01 * double(k), k * b, (k + 2) * b);
    for (int frame = 0; frame < 200; ++frame) {
        t = 0.49 + frame * 0.005;
        // Calls resume at 0.80 s with the position where it stopped.
        while (t >= 0.80 + 0.01 * double(k - 50) && k < 150) {
            estimator.onCallback(0.80 + 0.01 * double(k - 50), k * b, (k + 2) * b);
            ++k;
        }
        int64_t now = estimator.position(t);
        ASSERT_GE(now, previous) << "t = " << t;
        ASSERT_LE(now, estimator.handed()) << "t = " << t;
        previous = now;
    }
    // After re-anchoring the estimate follows the resumed clock again.
    double resumedTruth = double(50 * b) + (t - 0.80) * kRate;
    EXPECT_NEAR(resumedTruth, double(estimator.position(t)), 0.002 * kRate);
}

TEST(PositionEstimator, OneBadlyLateCallbackMovesTheEstimateLittle) {
    audio::PositionEstimator estimator(kRate);
    const int64_t b = 1024;
    const double period = b / kRate;
    for (int k = 0; k < 40; ++k) estimator.onCallback(k * period, k * b, (k + 2) * b);
    double t = 39.5 * period;
    int64_t before = estimator.position(t);
    estimator.onCallback(40 * period + 0.020, 40 * b, 42 * b);  // 20 ms late
    int64_t after = estimator.position(40.5 * period);
    double moved = double(after - before) - period * kRate;
    EXPECT_LT(std::fabs(moved) / kRate, 0.0005) << "moved by " << moved << " frames";
}

}  // namespace
