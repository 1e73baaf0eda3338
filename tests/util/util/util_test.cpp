#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/system.h"
#include "support/paths.h"
#include "util/data/data.h"
#include "util/util/util.h"

namespace {

// Counter readings served in order; once used up it keeps advancing by one tick, so a
// wrong spin can never hang the test.
class ScriptedClock : public platform::ClockSource {
public:
    std::vector<int64_t> readings;
    size_t next = 0;
    int64_t last = 0;
    int reads = 0;
    int64_t frequency() override { return 1000; }
    int64_t counter() override {
        ++reads;
        last = next < readings.size() ? readings[next++] : last + 1;
        return last;
    }
    uint32_t ticks() override { return 0; }
};

class FrameTimer : public testing::Test {
protected:
    void SetUp() override {
        platform::setClockSource(&clock);
        resetFrameTimer();
    }
    void TearDown() override {
        platform::setClockSource(nullptr);
        resetFrameTimer();
    }
    ScriptedClock clock;
};

TEST_F(FrameTimer, SmoothsOverFiveFramesCapsAtAQuarterSecondAndSpins) {
    // Milliseconds ticks from a start count of 500. Each step: the counter readings of one
    // update, the reads it must take, and frameTime afterwards (seconds).
    struct Step {
        std::vector<int64_t> readings;
        int reads;
        float expected;
        const char* what;
    } steps[] = {
        {{516}, 1, (4 * 0.0001f + 0.016f) * 0.2f, "first frame of 16 ms, four start slots left"},
        {{526}, 1, (3 * 0.0001f + 0.016f + 0.010f) * 0.2f, "10 ms"},
        {{526, 526, 526, 530}, 4, (2 * 0.0001f + 0.016f + 0.010f + 0.004f) * 0.2f,
         "same time read three times: spins until it advances"},
        {{1530}, 1, (0.0001f + 0.016f + 0.010f + 0.004f + 0.25f) * 0.2f, "a whole second is cut at 0.25 s"},
        {{1550}, 1, (0.016f + 0.010f + 0.004f + 0.25f + 0.020f) * 0.2f, "ring full: last start slot replaced"},
        {{1552}, 1, (0.002f + 0.010f + 0.004f + 0.25f + 0.020f) * 0.2f, "oldest frame (16 ms) replaced"},
    };
    setFrameTimerConstants(0.001f, 500);
    EXPECT_FLOAT_EQ(0.0001f, frameTime) << "before the first update";
    for (const Step& s : steps) {
        clock.readings.insert(clock.readings.end(), s.readings.begin(), s.readings.end());
        clock.reads = 0;
        updateFrameTime();
        EXPECT_EQ(s.reads, clock.reads) << s.what;
        EXPECT_NEAR(s.expected, frameTime, 1e-6) << s.what;
    }
}

TEST_F(FrameTimer, FirstFrameMeasuresFromTimeZeroAndResetRestoresTheStart) {
    setFrameTimerConstants(0.5f, 1000);  // two ticks per second
    clock.readings = {1000, 1000, 1001};  // time 0 equals the start: spin to 0.5 s
    updateFrameTime();
    EXPECT_EQ(3, clock.reads);
    EXPECT_NEAR((4 * 0.0001f + 0.25f) * 0.2f, frameTime, 1e-6);
    resetFrameTimer();
    EXPECT_FLOAT_EQ(0.0001f, frameTime);
}

TEST(FrameTimerWithoutConstants, DoesNotSpinForever) {
    resetFrameTimer();
    setFrameTimerConstants(0.0f, 0);
    updateFrameTime();
    EXPECT_NEAR(4 * 0.0001f * 0.2f, frameTime, 1e-7);
    resetFrameTimer();
}

std::string utilBox(const std::string& message) {
    return "\\[box\\] Error in file src/util/util/util\\.cpp:[0-9]+ \\| Error in file "
           "src/util/util/util\\.cpp:[0-9]+\\\\n\\\\n" +
           message + "\n";
}

TEST(LoadFontDeathTest, MissingEmptyAndDamagedFontFilesAreFatal) {
    std::string dir = testpaths::freshScratchDir("load_font");
    testpaths::writeFile(dir + "/empty.ttf", "");
    testpaths::writeFile(dir + "/garbage.ttf", "not a font at all");
    // FTGL crashes on a font FreeType could not open: these must end with the box.
    std::string font = testpaths::readFile(testpaths::source("data/common/fonts/courier_new.ttf"));
    ASSERT_GT(font.size(), 1000u);
    testpaths::writeFile(dir + "/cut.ttf", font.substr(0, 1000));
    struct Case {
        DataMode mode;
        std::string path;
        std::string message;
    } cases[] = {
        {Disk, dir + "/missing.ttf", "fp is NULL"},
        {Archive, "data/common/fonts/none.ttf", "fp is NULL"},
        {Disk, dir + "/empty.ttf", "Tried to read 0 bytes from .*/empty\\.ttf, got 0"},
        {Disk, dir + "/garbage.ttf", "Failed to load font .*/garbage\\.ttf: FreeType error 0x[0-9a-f]+ .*"},
        {Disk, dir + "/cut.ttf", "Failed to load font .*/cut\\.ttf: FreeType error 0x[0-9a-f]+ .*"},
    };
    for (const Case& c : cases) {
        setDataMode(c.mode);
        EXPECT_EXIT(loadFont(c.path.c_str()), testing::ExitedWithCode(1), utilBox(c.message)) << c.path;
    }
    setDataMode(Disk);
}

}  // namespace
