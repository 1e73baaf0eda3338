// The fireworks' particles, rockets and relaunch rules, without OpenGL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "scenes/scene_fireworks/scene_fireworks.h"
#include "util/util/random.h"

namespace {

const float kOrange[3] = {1.0f, 0.6f, 0.2f};

// Replays the C library's generator independently (the engine's must give the same
// values): each next() is rand() / 32767.
class Draws {
public:
    explicit Draws(unsigned seed) { srand(seed); }
    float next() { return static_cast<float>(rand() / (RAND_MAX / 32768 + 1)) / 32767.0f; }
    Vec4 sphere() {
        float u = 2.0f * next() - 1.0f;
        float s = std::sqrt(1.0f - u * u);
        float angle = next() * 6.2831855f - 3.1415927f;
        return {std::cos(angle) * s, std::sin(angle) * s, u, 1.0f};
    }
};

void expectVec(const Vec4& expected, const Vec4& actual, const std::string& what) {
    EXPECT_NEAR(expected.x, actual.x, 1e-5f) << what << " x";
    EXPECT_NEAR(expected.y, actual.y, 1e-5f) << what << " y";
    EXPECT_NEAR(expected.z, actual.z, 1e-5f) << what << " z";
}

TEST(FireworksParticle, LivesWhileAgeIsAtMostItsLifetime) {
    struct Case {
        float t;
        bool alive;
        float alpha;  // after the update
        float x;      // after the update
    } steps[] = {
        {10.0f, true, 1.0f, 0.0f},   // launch beat: age 0
        {11.0f, true, 0.5f, 2.0f},   // half way: moved speed x 1 beat
        {12.0f, true, 0.0f, 4.0f},   // age == lifetime: still alive, alpha 0
        {12.5f, false, 0.0f, 4.0f},  // past it: dead, nothing changes
        {20.0f, false, 0.0f, 4.0f},
    };
    FireworksParticle p;
    EXPECT_EQ(0.0f, p.position.x);
    EXPECT_EQ(1.0f, p.position.w);
    EXPECT_EQ(1.0f, p.direction.w);
    p.launch({0, 0, 0, 1}, {1, 0, 0, 1}, 2.0f, kOrange, 10.0f, 2.0f);
    EXPECT_TRUE(p.flying);
    EXPECT_EQ(1.0f, p.alpha);
    EXPECT_EQ(0.0f, p.age);
    for (const Case& s : steps) {
        EXPECT_EQ(s.alive, p.update(s.t)) << "beat " << s.t;
        EXPECT_NEAR(s.alpha, p.alpha, 1e-6f) << "beat " << s.t;
        EXPECT_NEAR(s.x, p.position.x, 1e-5f) << "beat " << s.t;
        EXPECT_EQ(s.t - 10.0f, p.age) << "age is stored in every case, beat " << s.t;
        EXPECT_TRUE(p.flying) << "only a rocket clears flying";
    }
}

TEST(FireworksParticle, LaunchCopiesThreeComponentsAndKeepsW) {
    FireworksParticle p;
    p.position.w = 7.0f;
    float colour[3] = {0.1f, 0.2f, 0.3f};
    p.launch({1, 2, 3, 99}, {0, 0, 1, 99}, 4.0f, colour, 5.0f, 6.0f);
    colour[0] = 9.0f;  // copied, not referenced
    EXPECT_EQ(1.0f, p.position.x);
    EXPECT_EQ(3.0f, p.position.z);
    EXPECT_EQ(7.0f, p.position.w);
    EXPECT_EQ(1.0f, p.direction.w);
    EXPECT_EQ(0.1f, p.colour[0]);
    EXPECT_EQ(5.0f, p.start);
    EXPECT_EQ(6.0f, p.lifetime);
}

TEST(RocketLaunchDirection, TurnsUpAboutTheZAxis) {
    struct Case {
        float angle, x, y;
    } cases[] = {{0.0f, 0.0f, 1.0f},   {90.0f, -1.0f, 0.0f},  {30.0f, -0.5f, 0.8660254f},
                 {-30.0f, 0.5f, 0.8660254f}, {-90.0f, 1.0f, 0.0f}};
    for (const Case& c : cases) {
        Vec4 d = rocketLaunchDirection(c.angle);
        EXPECT_NEAR(c.x, d.x, 1e-6f) << c.angle;
        EXPECT_NEAR(c.y, d.y, 1e-6f) << c.angle;
        EXPECT_EQ(0.0f, d.z) << c.angle;
        EXPECT_EQ(1.0f, d.w) << c.angle;
    }
    Vec4 straight = rocketLaunchDirection(0.0f);
    EXPECT_EQ(0.0f, straight.x) << "exactly up, no rounding";
    EXPECT_EQ(1.0f, straight.y);
}

TEST(FireworksRocket, LaunchRelaunchesEverySparkAtAQuarterOfItsSpeed) {
    FireworksRocket rocket(5, 0.15f);
    seedRandom(321);
    rocket.launch({1, 2, 3, 1}, {0, 1, 0, 1}, 4.0f, kOrange, 7.0f, 2.0f);

    Draws r(321);
    for (size_t i = 0; i < rocket.sparks.size(); ++i) {
        const FireworksParticle* spark = rocket.sparks[i];
        std::string what = "spark " + std::to_string(i);
        expectVec(r.sphere(), spark->direction, what + " direction");
        EXPECT_NEAR(r.next() * 0.9f + 0.1f, spark->lifetime, 1e-6f) << what;
        expectVec({1, 2, 3, 1}, spark->position, what + " position");
        EXPECT_EQ(1.0f, spark->speed) << what;
        EXPECT_EQ(7.0f, spark->start) << what;
        EXPECT_EQ(0.6f, spark->colour[1]) << what;
    }
    EXPECT_TRUE(rocket.children.empty());
}

TEST(FireworksRocket, KeepsItsTrailWhileFlyingAndBurstsOncePastItsLifetime) {
    FireworksRocket rocket(3, 0.15f);
    rocket.addChildren(4, 0);
    ASSERT_EQ(4u, rocket.children.size());
    EXPECT_EQ(3u, rocket.children[0]->sparks.size()) << "children get the parent's spark count";
    EXPECT_EQ(0.15f, rocket.children[0]->size);

    seedRandom(1);
    rocket.launch({0, 0, 0, 1}, {0, 1, 0, 1}, 2.0f, kOrange, 0.0f, 2.0f);
    // Trail sparks 0 and 2 outlive the test; spark 1 dies early.
    for (FireworksParticle* spark : rocket.sparks) spark->lifetime = 10.0f;
    rocket.sparks[1]->lifetime = 0.05f;

    // Beat 1: the rocket flies; spark 1 is dead and relaunched from the rocket's position.
    seedRandom(55);
    EXPECT_TRUE(rocket.update(1.0f));
    EXPECT_TRUE(rocket.flying);
    EXPECT_NEAR(2.0f, rocket.position.y, 1e-5f);
    {
        Draws r(55);
        FireworksParticle* spark = rocket.sparks[1];
        expectVec(r.sphere(), spark->direction, "relaunched spark");
        EXPECT_NEAR(r.next() * 1.5f + 0.3f, spark->lifetime, 1e-6f);
        EXPECT_EQ(1.0f, spark->start) << "relaunched at the update's beat";
        EXPECT_EQ(0.5f, spark->speed);
        expectVec({0, 2, 0, 1}, spark->position, "relaunched spark position");
    }
    for (const FireworksRocket* child : rocket.children) {
        EXPECT_FALSE(child->flying) << "children wait for the burst";
    }

    // Beat 2: age == lifetime, still flying.
    rocket.sparks[1]->lifetime = 5.0f;
    EXPECT_TRUE(rocket.update(2.0f));
    EXPECT_TRUE(rocket.flying);

    // Beat 2.5: past the lifetime: moves, then bursts there.
    seedRandom(77);
    rocket.update(2.5f);
    EXPECT_FALSE(rocket.flying);
    EXPECT_NEAR(5.0f, rocket.position.y, 1e-5f);
    Draws r(77);
    float colour[3] = {r.next() * 0.8f + 0.2f, r.next() * 0.8f + 0.2f, r.next() * 0.8f + 0.2f};
    float speed = r.next() * 2.8f + 0.2f;
    float lifetime = r.next() * 10.0f + 2.0f;
    for (size_t i = 0; i < rocket.children.size(); ++i) {
        const FireworksRocket* child = rocket.children[i];
        std::string what = "child " + std::to_string(i);
        expectVec(r.sphere(), child->direction, what);
        for (size_t k = 0; k < child->sparks.size(); ++k) {
            r.sphere();
            r.next();
        }
        EXPECT_TRUE(child->flying) << what;
        EXPECT_EQ(2.5f, child->start) << what;
        EXPECT_NEAR(speed, child->speed, 1e-6f) << what;
        EXPECT_NEAR(lifetime, child->lifetime, 1e-5f) << what;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(colour[c], child->colour[c], 1e-6f) << what;
        expectVec({0, 5, 0, 1}, child->position, what + " starts where the rocket burst");
        EXPECT_EQ(0.0f, child->age) << what << " was not updated in the burst's update";
        expectVec({0, 5, 0, 1}, child->sparks[0]->position, what + " spark");
    }

    // After the burst dead trail sparks are left dead.
    rocket.sparks[1]->lifetime = 0.01f;
    float startBefore = rocket.sparks[1]->start;
    rocket.update(2.6f);
    EXPECT_EQ(startBefore, rocket.sparks[1]->start);
    EXPECT_EQ(0.01f, rocket.sparks[1]->lifetime);
    EXPECT_GT(rocket.children[0]->age, 0.0f) << "children update after the burst";
}

TEST(FireworksRocket, BurstsIntoNothingWithoutChildrenAndDiesWithItsFamily) {
    FireworksRocket rocket(2, 0.15f);
    seedRandom(3);
    rocket.launch({0, 0, 0, 1}, {0, 1, 0, 1}, 1.0f, kOrange, 0.0f, 1.0f);
    // Far past every lifetime: burst, sparks dead, no children: the family is dead.
    EXPECT_FALSE(rocket.update(50.0f));
    EXPECT_FALSE(rocket.flying);
    EXPECT_NEAR(50.0f, rocket.position.y, 1e-4f) << "moved by speed x age in one step";
}

TEST(FireworksRocket, AddChildrenGoesDownOneLevelPerDepth) {
    FireworksRocket rocket(2, 0.5f);
    rocket.addChildren(3, 0);
    rocket.addChildren(2, 1);
    ASSERT_EQ(3u, rocket.children.size());
    for (const FireworksRocket* child : rocket.children) {
        EXPECT_EQ(2u, child->children.size());
        EXPECT_EQ(0.5f, child->size);
    }
    EXPECT_EQ(2 + 3 * 2 + 6 * 2, rocket.sparkCount());
}

using FireworksRocketDeathTest = testing::Test;

TEST_F(FireworksRocketDeathTest, AddingBelowAChildlessRocketIsFatal) {
    FireworksRocket rocket(1, 0.15f);
    EXPECT_EXIT(rocket.addChildren(5, 1), testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/scenes/scene_fireworks/scene_fireworks.cpp:[0-9]+ \\| "
                "Error in file src/scenes/scene_fireworks/scene_fireworks.cpp:[0-9]+\\\\n\\\\n"
                "Failed assert children.size\\(\\) > 0");
}

TEST(FireworksRocket, DrawTreeDrawsChildrenAfterTheBurstThenItsOwnTrail) {
    FireworksRocket rocket(2, 0.15f);
    rocket.addChildren(2, 0);
    seedRandom(8);
    rocket.launch({0, 0, 0, 1}, {0, 1, 0, 1}, 1.0f, kOrange, 0.0f, 1.0f);
    for (FireworksParticle* s : rocket.sparks) s->alpha = 0.8f;

    BillboardBatch batch(100);
    rocket.drawTree(&batch);
    ASSERT_EQ(2, batch.count()) << "a flying rocket shows only its trail";
    EXPECT_FLOAT_EQ(0.8f, batch.vertices()[3].a) << "top-level trail at fade 1";

    rocket.flying = false;
    rocket.children[0]->alpha = 0.5f;
    rocket.children[1]->alpha = 0.25f;
    for (FireworksRocket* child : rocket.children) {
        for (FireworksParticle* s : child->sparks) s->alpha = 0.6f;
    }
    batch.clear();
    rocket.drawTree(&batch);
    ASSERT_EQ(6, batch.count());
    const float expectedAlpha[6] = {0.3f, 0.3f, 0.15f, 0.15f, 0.8f, 0.8f};
    for (int i = 0; i < 6; ++i) {
        for (int v = 0; v < 4; ++v) {
            EXPECT_FLOAT_EQ(expectedAlpha[i], batch.vertices()[4 * i + v].a) << "billboard " << i;
        }
    }
    // Four vertices per billboard at one position with the fixed corner coordinates.
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const BillboardVertex* trail = batch.vertices() + 4 * 4;  // the rocket's own first spark
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(corners[v][0], trail[v].s);
        EXPECT_EQ(corners[v][1], trail[v].t);
        EXPECT_EQ(rocket.sparks[0]->position.x, trail[v].x);
        EXPECT_EQ(rocket.sparks[0]->position.y, trail[v].y);
        EXPECT_EQ(1.0f, trail[v].r);
        EXPECT_EQ(0.6f, trail[v].g);
        EXPECT_EQ(0.2f, trail[v].b);
    }
}

TEST(BillboardBatch, IgnoresParticlesBeyondItsCapacity) {
    BillboardBatch batch(2);
    for (int i = 0; i < 5; ++i) batch.add(static_cast<float>(i), 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(2, batch.count());
    EXPECT_EQ(1.0f, batch.vertices()[7].x);
}

TEST(FireworksScene, BuildsThreeRocketsOfFourHundredChildrenAtBeatZero) {
    Fireworks scene;
    seedRandom(2024);
    scene.createRockets();
    ASSERT_EQ(3u, scene.rockets.size());
    Draws r(2024);
    int total = 0;
    for (size_t i = 0; i < 3; ++i) {
        const FireworksRocket* rocket = scene.rockets[i];
        std::string what = "rocket " + std::to_string(i);
        float z = r.next() * 50.0f;
        float x = r.next() * 10.0f - 10.0f;
        float angle = r.next() * 60.0f - 30.0f;
        float speed = r.next() * 5.0f + 1.0f;
        float lifetime = r.next() * 2.0f + 1.0f;
        for (int k = 0; k < 100; ++k) {
            r.sphere();
            r.next();
        }
        expectVec({x, 0, z, 1}, rocket->position, what);
        expectVec(rocketLaunchDirection(angle), rocket->direction, what + " direction");
        EXPECT_NEAR(speed, rocket->speed, 1e-5f) << what;
        EXPECT_NEAR(lifetime, rocket->lifetime, 1e-6f) << what;
        EXPECT_EQ(0.0f, rocket->start) << what;
        EXPECT_EQ(0.15f, rocket->size) << what;
        EXPECT_EQ(100u, rocket->sparks.size()) << what;
        EXPECT_EQ(400u, rocket->children.size()) << what;
        EXPECT_EQ(100u, rocket->children[399]->sparks.size()) << what;
        EXPECT_GE(rocket->position.x, -10.0f);
        EXPECT_LE(rocket->position.x, 0.0f);
        total += rocket->sparkCount();
    }
    EXPECT_EQ(120300, total);
}

TEST(FireworksScene, FirstFrameBurstsTheStaleRocketsAndRelaunchesThemAtTheNewBeat) {
    Fireworks scene;
    seedRandom(9);
    scene.createRockets();
    std::vector<float> beats;
    float next = 52.0f;
    // Every read of the beat is a little later, as the stream plays on.
    auto beat = [&] {
        beats.push_back(next);
        float value = next;
        next += 0.001f;
        return value;
    };
    seedRandom(10);
    scene.updateRockets(beat);
    // Each rocket: one read for its update, one more as the start of its relaunch.
    ASSERT_EQ(6u, beats.size());
    for (size_t i = 0; i < 3; ++i) {
        const FireworksRocket* rocket = scene.rockets[i];
        std::string what = "rocket " + std::to_string(i);
        EXPECT_TRUE(rocket->flying) << what;
        EXPECT_EQ(beats[2 * i + 1], rocket->start) << what << " starts at the second read";
        EXPECT_EQ(0.0f, rocket->position.y) << what << " back on the ground";
        EXPECT_GE(rocket->position.x, -10.0f) << what;
        EXPECT_LE(rocket->position.x, 10.0f) << what;
        EXPECT_TRUE(rocket->children[0]->flying) << what << ": children launched by the burst";
        EXPECT_EQ(beats[2 * i], rocket->children[0]->start) << what;
        EXPECT_EQ(beats[2 * i + 1], rocket->sparks[0]->start) << what << ": trail relaunched";
    }
    // The next frame: everything lives, nothing is relaunched.
    beats.clear();
    scene.updateRockets(beat);
    EXPECT_EQ(3u, beats.size());
}

}  // namespace
