// The starfield's star simulation and its failure rule, without OpenGL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/system.h"
#include "scenes/scene_starfield/scene_starfield.h"
#include "util/util/random.h"
#include "util/util/util.h"

namespace {

// The next n values of the C library's generator (the engine's must match), each
// rand() / 32767 as a float.
std::vector<float> draws(unsigned seed, int n) {
    srand(seed);
    std::vector<float> values;
    for (int i = 0; i < n; ++i) values.push_back(static_cast<float>(rand() / (RAND_MAX / 32768 + 1)) / 32767.0f);
    return values;
}

TEST(RandomUnit, StaysWithinZeroAndOneWhateverTheGeneratorsRange) {
    seedRandom(4242);
    float lowest = 2.0f, highest = -1.0f;
    for (int i = 0; i < 200000; ++i) {
        float r = randomUnit();
        ASSERT_GE(r, 0.0f) << "draw " << i;
        ASSERT_LE(r, 1.0f) << "draw " << i;
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    // The whole range is used, not a sliver of it.
    EXPECT_LT(lowest, 0.001f);
    EXPECT_GT(highest, 0.999f);
}

TEST(StarReset, TakesSixDrawsInTheDocumentedOrder) {
    for (unsigned seed : {1u, 42u, 2026u, 77777u}) {
        std::vector<float> r = draws(seed, 7);
        float speed = r[0] * 14.5f + 0.5f;
        float z = r[1] * 0.19949996f + 0.8f;
        float s = std::sqrt(1.0f - z * z);
        float angle = r[2] * 6.2831855f - 3.1415927f;
        float expected[9] = {0, 0, 0, std::cos(angle) * s * speed, std::sin(angle) * s * speed,
                             z * speed,  r[3] + r[4] * 0.1f, r[3], r[3] + r[5] * 0.2f};

        seedRandom(seed);
        Star star;
        star.position[0] = star.position[1] = star.position[2] = 99.0f;
        resetStar(&star);
        float actual[9] = {star.position[0], star.position[1], star.position[2],
                           star.velocity[0], star.velocity[1], star.velocity[2],
                           star.colour[0],   star.colour[1],   star.colour[2]};
        const char* names[9] = {"px", "py", "pz", "vx", "vy", "vz", "red", "green", "blue"};
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(expected[i], actual[i], 1e-5f) << "seed " << seed << " " << names[i];
        }
        // Exactly six draws were used: the seventh is still the next one.
        EXPECT_EQ(r[6], static_cast<float>(nextRandom() / (kRandomMax / 32768 + 1)) / 32767.0f) << "seed " << seed;
    }
}

TEST(StarReset, StaysWithinItsBounds) {
    seedRandom(12345);
    for (int i = 0; i < 20000; ++i) {
        Star star;
        resetStar(&star);
        float speed = std::sqrt(star.velocity[0] * star.velocity[0] + star.velocity[1] * star.velocity[1] +
                                star.velocity[2] * star.velocity[2]);
        ASSERT_GE(speed, 0.5f - 1e-4f) << "star " << i;
        ASSERT_LE(speed, 15.0f + 1e-4f) << "star " << i;
        float coneZ = star.velocity[2] / speed;
        ASSERT_GE(coneZ, 0.8f - 1e-5f) << "star " << i;
        ASSERT_LE(coneZ, 0.99949996f + 1e-5f) << "star " << i;
        float h = star.colour[1];
        ASSERT_GE(h, 0.0f);
        ASSERT_LE(h, 1.0f);
        // Red and blue are never clamped: up to 1.1 and 1.2.
        ASSERT_GE(star.colour[0] - h, -1e-6f);
        ASSERT_LE(star.colour[0] - h, 0.1f + 1e-6f);
        ASSERT_GE(star.colour[2] - h, -1e-6f);
        ASSERT_LE(star.colour[2] - h, 0.2f + 1e-6f);
    }
}

TEST(StarUpdate, MovesFiveTimesTheVelocityPerSecondAndResetsOnlyPastZ150) {
    struct Case {
        const char* what;
        float z, vz, dt;
        bool reset;
        float expectedZ;  // when not reset
    } cases[] = {
        {"exactly 150 keeps flying", 150.0f, 0.0f, 0.1f, false, 150.0f},
        {"reaching exactly 150 keeps flying", 140.0f, 20.0f, 0.1f, false, 150.0f},
        {"just past 150 resets", 150.0f, 0.01f, 0.1f, true, 0.0f},
        {"crossing 150 resets in the same frame", 149.0f, 15.0f, 0.25f, true, 0.0f},
        {"slow star below the limit", 10.0f, 2.0f, 0.5f, false, 15.0f},
        {"no time, no motion", 149.9f, 15.0f, 0.0f, false, 149.9f},
    };
    for (const Case& c : cases) {
        Star stars[2] = {};
        stars[0].position[2] = c.z;
        stars[0].velocity[0] = 1.0f;
        stars[0].velocity[2] = c.vz;
        stars[0].colour[0] = -1.0f;  // a reset would overwrite this
        stars[1].position[2] = 5.0f;
        seedRandom(99);
        updateStars(stars, 2, c.dt);
        if (c.reset) {
            EXPECT_EQ(0.0f, stars[0].position[0]) << c.what;
            EXPECT_EQ(0.0f, stars[0].position[2]) << c.what;
            EXPECT_GE(stars[0].colour[0], 0.0f) << c.what;
        } else {
            EXPECT_NEAR(c.expectedZ, stars[0].position[2], 1e-4f) << c.what;
            EXPECT_NEAR(c.dt * 5.0f, stars[0].position[0], 1e-6f) << c.what;
            EXPECT_EQ(-1.0f, stars[0].colour[0]) << c.what;
        }
        EXPECT_EQ(5.0f, stars[1].position[2]) << c.what << ": a resting star stays";
    }
}

TEST(StarUpdate, ResetsInIndexOrderDrawingFromTheSharedGenerator) {
    Star stars[3] = {};
    for (Star& s : stars) {
        s.position[2] = 151.0f;
    }
    seedRandom(5);
    updateStars(stars, 3, 0.0f);
    // The same three resets done one after another from the same seed.
    seedRandom(5);
    Star expected[3];
    for (Star& s : expected) resetStar(&s);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i].velocity[2], stars[i].velocity[2]) << "star " << i;
        EXPECT_EQ(expected[i].colour[1], stars[i].colour[1]) << "star " << i;
    }
}

// A counter under the test's control, for the frame timer.
class SteppedClock : public platform::ClockSource {
public:
    int64_t frequency() override { return 1000; }
    int64_t counter() override { return now; }
    uint32_t ticks() override { return static_cast<uint32_t>(now); }
    int64_t now = 0;
};

TEST(StarUpdate, ALongFrameMovesTheFastestStarAtMost18point75Units) {
    SteppedClock clock;
    platform::setClockSource(&clock);
    resetFrameTimer();
    setFrameTimerConstants(0.001f, 0);
    for (int i = 0; i < 5; ++i) {
        clock.now += 10000;  // ten seconds per frame
        updateFrameTime();
    }
    platform::setClockSource(nullptr);
    EXPECT_NEAR(0.25f, frameTime, 1e-6f);

    Star star = {};
    star.velocity[2] = 15.0f;  // the fastest speed, straight ahead
    updateStars(&star, 1, frameTime);
    EXPECT_NEAR(18.75f, star.position[2], 1e-4f);
    resetFrameTimer();
}

TEST(StarfieldInit, WarnsAndSkipsDrawingWithoutPointParameterEntries) {
    struct Case {
        const char* what;
        Starfield::ProcLookup lookup;
    } cases[] = {
        {"both missing", [](const char*) -> void* { return nullptr; }},
        {"vector entry missing",
         [](const char* name) -> void* {
             return std::string(name) == "glPointParameterfARB" ? reinterpret_cast<void*>(&abort) : nullptr;
         }},
    };
    for (const Case& c : cases) {
        Starfield::ProcLookup saved = Starfield::procLookup;
        Starfield::procLookup = c.lookup;
        Starfield scene;
        testing::internal::CaptureStderr();
        bool result = scene.init();
        std::string boxes = testing::internal::GetCapturedStderr();
        Starfield::procLookup = saved;

        EXPECT_FALSE(result) << c.what;
        EXPECT_NE(std::string::npos,
                  boxes.find("[box] ERROR | One or more GL_ARB_point_parameters functions were not found"))
            << c.what << ": " << boxes;
        EXPECT_FALSE(scene.ready) << c.what;
        EXPECT_EQ(nullptr, scene.billboardProgram) << c.what;
        EXPECT_EQ(0u, scene.particleTexture.name) << c.what;
        // The scene's own flags were set before the lookup.
        EXPECT_TRUE(scene.blend) << c.what;
        EXPECT_FALSE(scene.depthTest) << c.what;
        bool allZero = true;
        for (int i = 0; i < kStarCount; ++i) {
            for (int k = 0; k < 3; ++k) allZero = allZero && scene.stars[i].velocity[k] == 0.0f;
        }
        EXPECT_TRUE(allZero) << c.what << ": stars stay zero-filled";
        // No music, no context: a draw that did anything would crash here.
        scene.draw();
    }
}

}  // namespace
