#include <gtest/gtest.h>

#include <cmath>

#include "util/music/modulators/adsr.h"
#include "util/music/modulators/lfo.h"

namespace {

struct ValueCase {
    float now, off, on;
    float expected;
};

void expectValues(const Modulator& m, const char* what, const std::vector<ValueCase>& cases,
                  float tolerance = 1e-4f) {
    for (const ValueCase& c : cases) {
        float got = m.value(0, c.now, c.off, c.on);
        EXPECT_NEAR(c.expected, got, tolerance)
            << what << ": now " << c.now << " off " << c.off << " on " << c.on << ", expected "
            << c.expected << " got " << got;
    }
}

TEST(ADSRValue, LinearEnvelopeHeldAndReleased) {
    ADSR env(1.0f, ADSR::Linear, 1.0f, ADSR::Linear, 0.5f, 2.0f, ADSR::Linear);
    expectValues(env, "held since 0",
                 {{0.0f, -1.0f, 0.0f, 0.0f},
                  {0.5f, -1.0f, 0.0f, 0.5f},
                  {1.0f, -1.0f, 0.0f, 1.0f},
                  {1.5f, -1.0f, 0.0f, 0.75f},
                  {2.0f, -1.0f, 0.0f, 0.5f},
                  {7.0f, -1.0f, 0.0f, 0.5f}});
    expectValues(env, "released at 3",
                 {{3.0f, 3.0f, 0.0f, 0.5f},
                  {4.0f, 3.0f, 0.0f, 0.25f},
                  {5.0f, 3.0f, 0.0f, 0.0f},
                  {9.0f, 3.0f, 0.0f, 0.0f}});
    expectValues(env, "released during the attack at 0.5",
                 {{0.5f, 0.5f, 0.0f, 0.5f}, {1.5f, 0.5f, 0.0f, 0.25f}, {2.5f, 0.5f, 0.0f, 0.0f}});
    expectValues(env, "released during the decay at 1.5",
                 {{1.5f, 1.5f, 0.0f, 0.75f}, {2.5f, 1.5f, 0.0f, 0.375f}});
    expectValues(env, "never struck", {{0.0f, 0.0f, 0.0f, 0.0f}, {4.0f, 0.0f, 0.0f, 0.0f}});
}

TEST(ADSRValue, CurvesOfEachSlopeAtHalfTheAttack) {
    struct Case {
        int slope;
        float expected;
    } cases[] = {{ADSR::Linear, 0.5f}, {ADSR::Exp, 0.0595f}, {ADSR::ExpInv, 0.9405f}};
    for (const Case& c : cases) {
        ADSR env(2.0f, c.slope, 1.0f, ADSR::Linear, 0.5f, 1.0f, ADSR::Linear);
        float got = env.value(0, 11.0f, 0.0f, 10.0f);
        EXPECT_NEAR(c.expected, got, 1e-4f) << "attack slope " << c.slope;
    }
}

TEST(ADSRValue, FallingCurvesRunFromOneToZero) {
    ADSR env(1.0f, 0, 1.0f, 0, 0.5f, 1.0f, 0);
    struct Case {
        int slope;
        float x, expected;
    } cases[] = {
        {ADSR::Linear, 0.0f, 1.0f}, {ADSR::Linear, 0.25f, 0.75f}, {ADSR::Linear, 1.0f, 0.0f},
        {ADSR::Exp, 0.0f, 1.0f},    {ADSR::Exp, 0.5f, 0.0595f},   {ADSR::Exp, 1.0f, 0.0f},
        {ADSR::ExpInv, 0.0f, 1.0f}, {ADSR::ExpInv, 0.5f, 0.9405f}, {ADSR::ExpInv, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        float got = env.fall(c.slope, c.x);
        EXPECT_NEAR(c.expected, got, 1e-4f) << "slope " << c.slope << " at " << c.x;
    }
}

TEST(ADSRValue, ExpDecayAndExpInvReleaseFollowTheirCurves) {
    // Decay over 2 beats from 1 down to sustain 0.2; release over 4 beats.
    ADSR env(1.0f, ADSR::Linear, 2.0f, ADSR::Exp, 0.2f, 4.0f, ADSR::ExpInv);
    expectValues(env, "exp decay, held since 0", {{2.0f, -1.0f, 0.0f, 0.2f + 0.0595f * 0.8f}});
    expectValues(env, "exp_inv release from sustain at 10",
                 {{12.0f, 10.0f, 0.0f, 0.2f * 0.9405f}, {14.0f, 10.0f, 0.0f, 0.0f}});
}

TEST(ADSRValue, PhasesOfLengthZeroAreInstantaneous) {
    struct Case {
        const char* what;
        float a, d, s, r;
        std::vector<ValueCase> values;
    } cases[] = {
        {"attack 0 starts at the peak", 0.0f, 1.0f, 0.5f, 1.0f,
         {{0.0f, -1.0f, 0.0f, 1.0f}, {0.5f, -1.0f, 0.0f, 0.75f}, {1.5f, -1.0f, 0.0f, 0.5f}}},
        {"decay 0 drops to sustain", 1.0f, 0.0f, 0.5f, 1.0f,
         {{1.0f, -1.0f, 0.0f, 1.0f}, {1.001f, -1.0f, 0.0f, 0.5f}, {2.0f, 2.0f, 0.0f, 0.5f}}},
        {"release 0 is silent at once", 1.0f, 1.0f, 0.5f, 0.0f,
         {{3.0f, 3.0f, 0.0f, 0.0f}, {3.5f, 3.0f, 0.0f, 0.0f}}},
        {"all zero", 0.0f, 0.0f, 0.7f, 0.0f,
         {{0.0f, -1.0f, 0.0f, 1.0f}, {0.1f, -1.0f, 0.0f, 0.7f}, {0.0f, 0.0f, 0.0f, 0.0f},
          {5.0f, 4.0f, 0.0f, 0.0f}}},
    };
    for (const Case& c : cases) {
        for (int slope = 0; slope <= 2; ++slope) {
            ADSR env(c.a, slope, c.d, slope, c.s, c.r, slope);
            for (const ValueCase& v : c.values) {
                float got = env.value(0, v.now, v.off, v.on);
                EXPECT_FALSE(std::isnan(got)) << c.what << " slope " << slope;
                // Only the linear curves pass through the intermediate values above; the
                // ends of every curve are the same.
                if (slope == ADSR::Linear || v.expected == 0.0f || v.expected == 1.0f ||
                    v.expected == c.s) {
                    EXPECT_NEAR(v.expected, got, 1e-4f)
                        << c.what << " slope " << slope << " now " << v.now;
                }
            }
        }
    }
}

TEST(LFOValue, SineOverOnePeriod) {
    LFO lfo(LFO::Sine, 1, 1, 4, false);
    EXPECT_FLOAT_EQ(1.0f, lfo.period);
    expectValues(lfo, "sine held since 10",
                 {{10.0f, 0.0f, 10.0f, 0.0f},
                  {10.25f, 0.0f, 10.0f, 0.5f},
                  {10.5f, 0.0f, 10.0f, 1.0f},
                  {10.75f, 0.0f, 10.0f, 0.5f},
                  {11.0f, 0.0f, 10.0f, 0.0f}});
    expectValues(lfo, "released", {{10.5f, 10.4f, 10.0f, 0.0f}, {10.5f, 10.0f, 10.0f, 0.0f}});
}

TEST(LFOValue, SawClimbsToThePeriodAndRestarts) {
    LFO lfo(LFO::Saw, -1, 1, 8, false);
    EXPECT_FLOAT_EQ(0.5f, lfo.period);
    expectValues(lfo, "saw held since 2",
                 {{2.0f, 0.0f, 2.0f, 0.0f},
                  {2.25f, 0.0f, 2.0f, 0.25f},
                  {2.7f, 0.0f, 2.0f, 0.2f},
                  {3.45f, 0.0f, 2.0f, 0.45f}});
    expectValues(lfo, "never struck", {{0.0f, 0.0f, 0.0f, 0.0f}});
}

TEST(LFOPeriod, NoteLengthsInBeats) {
    struct Case {
        int numerator, denominator;
        bool triplet;
        float expected;
    } cases[] = {
        {1, 4, false, 1.0f},  {1, 8, false, 0.5f},        {3, 8, false, 1.5f},
        {1, 1, false, 4.0f},  {1, 8, true, 0.33333334f},  {1, 4, true, 0.6666667f},
        {1, 0, false, 0.0f},  {1, 0, true, 0.0f},         {-1, -1, false, 4.0f},
        {1, 16, false, 0.25f},
    };
    for (const Case& c : cases) {
        LFO lfo(LFO::Sine, -1, c.numerator, c.denominator, c.triplet);
        EXPECT_FLOAT_EQ(c.expected, lfo.period) << c.numerator << "/" << c.denominator
                                                << (c.triplet ? " triplet" : "");
        EXPECT_FLOAT_EQ(c.expected, noteLengthBeats(c.numerator, c.denominator, c.triplet));
    }
}

TEST(LFOValue, PeriodZeroGivesZeroNotNaN) {
    for (int wave : {LFO::Sine, LFO::Saw}) {
        LFO lfo(wave, -1, 1, 0, false);
        float got = lfo.value(0, 3.0f, 0.0f, 1.0f);
        EXPECT_EQ(0.0f, got) << "wave " << wave;
    }
}

TEST(ModulatorFields, ConstructionSetsKindCcAndDefaults) {
    ADSR env(1, 0, 1, 0, 0.5f, 1, 0);
    LFO lfo(LFO::Saw, 74, 1, 4, false);
    EXPECT_EQ(Modulator::Envelope, env.kind);
    EXPECT_EQ(-1, env.cc);
    EXPECT_EQ(250.0f, env.curveBase);
    EXPECT_EQ(Modulator::Oscillator, lfo.kind);
    EXPECT_EQ(74, lfo.cc);
    EXPECT_EQ(LFO::Saw, lfo.wave);
    for (const Modulator* m : {static_cast<const Modulator*>(&env), static_cast<const Modulator*>(&lfo)}) {
        EXPECT_EQ(1.0f, m->intensity);
        EXPECT_TRUE(m->rangeMin.empty() && m->rangeMax.empty() && m->rangePeriod.empty());
    }
}

TEST(ModulatorLog, ConstructionLinesCarryTheValues) {
    testing::internal::CaptureStdout();
    ADSR env(0.1f, 0, 0.4f, 1, 0.6f, 1.0f, 2);
    LFO lfo(LFO::Sine, 1, 1, 8, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos,
              out.find("  ..added ADSR envelope [0.10 (0)] [0.40 (1)] [0.60] [1.00 (2)]\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("  ..added new LFO: wave 0, cc 1, period 0.333\n")) << out;
}

using ModulatorDeathTest = testing::Test;

TEST_F(ModulatorDeathTest, UnknownWaveOrSlopeEndsTheProcess) {
    LFO lfo(7, -1, 1, 4, false);
    EXPECT_EXIT(lfo.value(0, 1.0f, 0.0f, 0.5f), testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/util/music/modulators/lfo.cpp:[0-9]+ \\| .*"
                "Unsupported wave type: 7");
    ADSR env(1.0f, 5, 1.0f, 0, 0.5f, 1.0f, 0);
    EXPECT_EXIT(env.value(0, 0.5f, 0.0f, 0.1f), testing::ExitedWithCode(1),
                "\\[box\\] Error in file src/util/music/modulators/adsr.cpp:[0-9]+ \\| .*"
                "Unsupported slope type: 5");
}

}  // namespace
