#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/offline.h"
#include "platform/audio/output.h"
#include "platform/audio/sine_fixture.h"
#include "platform/system.h"
#include "support/paths.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int64_t kStreamFrames = 22050;

class VirtualClock : public platform::ClockSource {
public:
    double seconds = 100.0;
    int64_t frequency() override { return 1000000000; }
    int64_t counter() override { return int64_t(std::llround(seconds * 1e9)); }
    uint32_t ticks() override { return uint32_t(seconds * 1000.0); }
};

// A device of the test's making: it asks for `period` frames whenever the frames before
// them still queued in it have shrunk to `queued`, and plays at exactly 44100 Hz.
class ExternalOutput : public testing::Test {
protected:
    void SetUp() override {
        platform::setClockSource(&clock);
        audio::useOfflineClock(false);
        std::string dir = testpaths::freshScratchDir(sinefixture::perProcess("output_fixture"));
        bytes = sinefixture::write(dir + "/short.ogg", sinefixture::Kind::Ogg, 44100, 2, 0.5);
        ASSERT_FALSE(bytes.empty());
    }
    void TearDown() override {
        audio::useExternalOutput(false);
        platform::setClockSource(nullptr);
    }
    VirtualClock clock;
    std::string bytes;
};

struct Figures {
    double worstMs = 0;       // |position - frames really heard| while playing
    double stopLateMs = NAN;  // the stop seen after the last frame was heard
    bool backwards = false;
};

// Plays the 0.5 s stream once on the device; `startCallback` callbacks of silence come
// first and the stream is started `startDelay` seconds after the last of them. The
// program asks for position and state at 60 frames per second, at `phase` into a frame.
Figures play(const std::string& bytes, VirtualClock& clock, int period, int queued,
             int startCallbacks, double startDelay, double phase) {
    // A fresh output: its frame count starts at 0 with the test's.
    audio::useExternalOutput(false);
    audio::useExternalOutput(true);
    EXPECT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_STREQ("external", audio::outputDriver());
    HSTREAM h = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), 0);
    EXPECT_NE(0u, h);
    std::vector<int16_t> buffer(size_t(period) * 2);
    const double t0 = clock.seconds, callbackSeconds = period / kRate;
    // Callback k runs at t0 + k * callbackSeconds: frames before it (k * period), less
    // the queued ones, have left the device.
    auto leaving = [&](double t) { return (t - t0) * kRate - queued; };
    int64_t rendered = 0, streamStart = -1, previous = 0;
    int k = 0;
    auto callback = [&]() {
        clock.seconds = t0 + k * callbackSeconds;
        if (streamStart < 0 && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING) streamStart = rendered;
        audio::renderOutput(buffer.data(), period);
        audio::observeOutput(0.0, rendered - queued);
        rendered += period;
        ++k;
    };
    while (k < startCallbacks) callback();
    const double played = t0 + (k - 1) * callbackSeconds + startDelay;
    clock.seconds = played;
    EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
    Figures f;
    for (int frame = 0; frame < 600; ++frame) {
        double t = played + (frame + phase) / 60.0;
        while (t0 + k * callbackSeconds <= t) callback();
        clock.seconds = t;
        DWORD state = BASS_ChannelIsActive(h);
        int64_t position = int64_t(BASS_ChannelGetPosition(h, BASS_POS_BYTE) / 4);
        double heard = streamStart < 0 ? 0.0 : leaving(t) - double(streamStart);
        heard = std::min(std::max(heard, 0.0), double(kStreamFrames));
        if (position < previous) f.backwards = true;
        previous = position;
        if (state != BASS_ACTIVE_PLAYING) {
            double lastHeard = t0 + double(streamStart + kStreamFrames + queued) / kRate;
            f.stopLateMs = (t - lastHeard) * 1000.0;
            break;
        }
        f.worstMs = std::max(f.worstMs, std::fabs(double(position) - heard) / kRate * 1000.0);
    }
    BASS_StreamFree(h);
    return f;
}

TEST_F(ExternalOutput, PositionIsWhatLeavesTheDeviceAndTheStopIsSeenOnceTheLastFrameIsHeard) {
    struct Case {
        const char* what;
        int period, queued, startCallbacks;
        double startDelay, phase;
    } cases[] = {
        {"silent driver: nothing queued", 1024, 0, 3, 0.005, 0.3},
        {"sound card: one buffer queued", 1024, 1024, 3, 0.011, 0.7},
        {"sound server: 4096 frames queued", 1024, 4096, 8, 0.002, 0.1},
        {"server, large requests", 2048, 6144, 2, 0.030, 0.5},
        {"started before any callback", 441, 1764, 0, 0.0, 0.9},
    };
    printf("case                               | worst ms | stop seen ms after the last frame\n");
    for (const Case& c : cases) {
        Figures f = play(bytes, clock, c.period, c.queued, c.startCallbacks, c.startDelay, c.phase);
        printf("%-34s | %8.3f | %6.2f\n", c.what, f.worstMs, f.stopLateMs);
        EXPECT_LT(f.worstMs, 1.0) << c.what;
        EXPECT_FALSE(f.backwards) << c.what;
        // Seen at the first frame of the loop after it was heard, never before.
        EXPECT_GE(f.stopLateMs, -0.05) << c.what;
        EXPECT_LT(f.stopLateMs, 1000.0 / 60.0 + 0.05) << c.what;
    }
}

}  // namespace
