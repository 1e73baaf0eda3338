// Where the fast particle path sends a spark: the point, the billboard fallback, or
// nowhere, from its clip-space position. Which path the automatic choice takes, and the
// software path's stamps.
#include "scenes/scene/sprites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "scenes/scene/splats.h"

namespace {

struct FateCase {
    const char* what;
    float clip[4];
    float halfX, halfY;
    SpriteFate fate;
};

// A viewport of 720 pixels (360 per clip unit at w = 1) and points of 2 to 64 pixels.
constexpr float kPixelsPerClipY = 360.0f;
constexpr float kMinPoint = 2.0f;
constexpr float kMaxPoint = 64.0f;

TEST(SpriteFate, FollowsTheSquaresPlaceAgainstTheClipVolumeAndTheLargestPoint) {
    // Half edges of 0.25 and 0.5 clip units: every sum below is exact in floats.
    const FateCase cases[] = {
        {"centre of the view", {0.0f, 0.0f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Point},
        {"inside, touching the right edge", {9.75f, 0.0f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Point},
        {"crossing the right edge", {9.875f, 0.0f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Quad},
        {"crossing the bottom edge", {0.0f, -9.75f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Quad},
        {"centre outside, a corner inside", {10.125f, 0.0f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Quad},
        {"wholly left of the view", {-10.5f, 0.0f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Culled},
        {"wholly above the view", {0.0f, 10.75f, 0.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Culled},
        {"before the near plane", {0.0f, 0.0f, -0.25f, 0.125f}, 0.25f, 0.5f, SpriteFate::Culled},
        {"past the far plane", {0.0f, 0.0f, 10.5f, 10.0f}, 0.25f, 0.5f, SpriteFate::Culled},
        {"behind the eye", {0.0f, 0.0f, 0.5f, -10.0f}, 0.25f, 0.5f, SpriteFate::Culled},
        // Edge 2 * 0.5 * 360 / w pixels: exactly 64 at w = 5.625.
        {"exactly the largest point", {0.0f, 0.0f, 0.5f, 5.625f}, 0.25f, 0.5f, SpriteFate::Point},
        {"wider than the largest point", {0.0f, 0.0f, 0.5f, 5.5f}, 0.25f, 0.5f, SpriteFate::Quad},
        {"exactly the smallest point", {0.0f, 0.0f, 0.5f, 180.0f}, 0.25f, 0.5f, SpriteFate::Point},
        {"narrower than the smallest point", {0.0f, 0.0f, 0.5f, 200.0f}, 0.25f, 0.5f, SpriteFate::Quad},
    };
    for (const FateCase& c : cases)
        EXPECT_EQ(c.fate, classifySprite(c.clip, c.halfX, c.halfY, kPixelsPerClipY, kMinPoint, kMaxPoint)) << c.what;
}

TEST(SpriteColour, ClampsAndRoundsToBytes) {
    const struct {
        float value;
        uint8_t byte;
    } cases[] = {{-0.5f, 0}, {0.0f, 0}, {0.001f, 0}, {0.5f / 255.0f + 1e-6f, 1}, {0.6f, 153},
                 {1.0f, 255}, {1.2f, 255}};
    for (const auto& c : cases) EXPECT_EQ(c.byte, colourByte(c.value)) << c.value;
}

TEST(ParticlePathOption, NamesTheTwoPathsOnly) {
    ParticlePath path = ParticlePath::Fast;
    EXPECT_TRUE(parseParticlePath("reference", &path));
    EXPECT_EQ(ParticlePath::Reference, path);
    EXPECT_TRUE(parseParticlePath("fast", &path));
    EXPECT_EQ(ParticlePath::Fast, path);
    for (const char* bad : {"", "Fast", "quads", "fast "}) EXPECT_FALSE(parseParticlePath(bad, &path)) << bad;
}

}  // namespace

namespace {

TEST(ParticlePathOption, NamesEveryPathAndAuto) {
    const struct {
        const char* name;
        ParticlePath path;
    } cases[] = {{"cpu", ParticlePath::Cpu}, {"auto", ParticlePath::Auto}};
    for (const auto& c : cases) {
        ParticlePath path = ParticlePath::Reference;
        EXPECT_TRUE(parseParticlePath(c.name, &path)) << c.name;
        EXPECT_EQ(c.path, path) << c.name;
        EXPECT_STREQ(c.name, particlePathName(c.path));
    }
}

TEST(ParticlePathChoice, SplatsOnSoftwareRenderersFromTheMinimumHeightElsePointSpritesWhereOffered) {
    const struct {
        const char* renderer;
        bool fast, cpu;
        int height;
        ParticlePath expected;
        bool software;
    } cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, true, 720, ParticlePath::Cpu, true},
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, true, kCpuParticlesMinHeight, ParticlePath::Cpu, true},
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, true, kCpuParticlesMinHeight - 1, ParticlePath::Fast, true},
        {"llvmpipe (LLVM 15.0.6, 256 bits)", true, false, 1080, ParticlePath::Fast, true},
        {"Mesa X11 Software Rasterizer", false, true, 720, ParticlePath::Cpu, true},
        {"Mesa X11 Software Rasterizer", false, true, 180, ParticlePath::Reference, true},
        {"softpipe", true, false, 720, ParticlePath::Fast, true},
        {"NVIDIA GeForce RTX 3060/PCIe/SSE2", true, true, 1080, ParticlePath::Fast, false},
        {"Mesa Intel(R) UHD Graphics 620", false, true, 1080, ParticlePath::Reference, false},  // no point sprites
        {nullptr, true, true, 720, ParticlePath::Fast, false},
    };
    for (const auto& c : cases) {
        const char* name = c.renderer ? c.renderer : "null";
        EXPECT_EQ(c.expected, automaticParticlePath(c.renderer, c.fast, c.cpu, c.height)) << name << " " << c.height;
        EXPECT_EQ(c.software, softwareRenderer(c.renderer)) << name;
    }
}

// A white texture: every stamp carries the light of the pixels (or samples) its square
// covers, whatever its phase, so nothing is lost or counted twice at the edges.
TEST(SplatStamps, CarryTheSquaresAreaAtEveryPhaseAndSampleCount) {
    const int side = 16;
    std::vector<uint8_t> white(size_t(side) * side * 4, 255);
    SplatStamps stamps(white.data(), side, GL_CLAMP_TO_EDGE);
    for (int edgeQuarters : {4 * 3, 4 * 10, 4 * 10 + 2})
        for (bool four : {false, true})
            for (int px = 0; px < kSplatPhases; px += 3)
                for (int py = 0; py < kSplatPhases; py += 2) {
                    const SplatStamp* s = stamps.stamp(edgeQuarters, px, py, four);
                    // At 4 samples a pixel's P and Q are the whole fragment's, and P's low
                    // bits count the samples covered less one.
                    double light = 0.0;
                    for (int j = 0; j < s->height; ++j)
                        for (int k = 0; k < s->width; ++k) {
                            const int p = s->p(j, k), q = s->q(j, k);
                            if (!four || !(p | q)) {
                                light += (p + q) / 65535.0;
                                continue;
                            }
                            light += ((p & ~kSplatCountMask) + q) / 65535.0 * ((p & kSplatCountMask) + 1) / 4.0;
                        }
                    const double edge = edgeQuarters / 4.0;
                    // A fractional edge covers whole pixel centres: between (edge-1)^2 and (edge+1)^2.
                    const double tolerance = (edgeQuarters % 4 == 0 ? 0.01 : 2.0 * edge + 1.0);
                    EXPECT_NEAR(edge * edge, light, tolerance)
                        << "edge " << edge << " phase " << px << "," << py << (four ? " 4 samples" : "");
                    EXPECT_EQ(s, stamps.stamp(edgeQuarters, px, py, four)) << "cached";
                }
}

// A batch's sparks point into the stamps: a cache past its budget must keep them until
// trim() (between batches). A trim past the budget drops the stamps unused since the
// trim before, so the stamps in use stay and the others go.
TEST(SplatStamps, OutgrowingTheBudgetKeepsTheBatchsStampsUntilTrimThenTheUsedOnes) {
    const int side = 16;
    std::vector<uint8_t> white(size_t(side) * side * 4, 255);
    SplatStamps stamps(white.data(), side, GL_CLAMP_TO_EDGE, 4096);
    const SplatStamp* first = stamps.stamp(4 * 10, 1, 2, false);
    const auto firstP = first->pq, otherP = stamps.stamp(4 * 11, 0, 0, true)->pq;
    for (int edge = 4 * 12; stamps.cachedBytes() <= 4096 * 2; edge += 4) stamps.stamp(edge, 0, 0, true);
    EXPECT_EQ(first, stamps.stamp(4 * 10, 1, 2, false)) << "evicted before trim";
    EXPECT_EQ(firstP, first->pq);
    const size_t grown = stamps.cachedBytes();
    stamps.trim();
    EXPECT_EQ(grown, stamps.cachedBytes()) << "every stamp was used since the last trim";
    EXPECT_EQ(first, stamps.stamp(4 * 10, 1, 2, false));
    stamps.trim();
    EXPECT_EQ(first, stamps.stamp(4 * 10, 1, 2, false)) << "used since the last trim";
    SplatStamps alone(white.data(), side, GL_CLAMP_TO_EDGE, 4096);
    alone.stamp(4 * 10, 1, 2, false);
    EXPECT_EQ(alone.cachedBytes(), stamps.cachedBytes()) << "the others dropped";
    EXPECT_EQ(otherP, stamps.stamp(4 * 11, 0, 0, true)->pq) << "rebuilt after trim";
}

// The splat's shortcuts must not change a pixel: the fade as one rounding multiply
// equals the 8-bit fade at every level, and a spark's extent (its rows, and each row's
// columns) leaves out only pixels whose every channel rounds to nothing (a radial glow,
// the sparks' kind of texture).
TEST(SplatShortcuts, FadeFactorAndExtentAddWhatTheLongFormAdds) {
    int withoutFactor = 0;
    for (int alpha = 1; alpha < 255; ++alpha) {
        const int f = splatFadeFactor(alpha);
        if (!f) {
            ++withoutFactor;
            continue;
        }
        for (int v = 0; v < 256; ++v)
            ASSERT_EQ(splatFadeLevel(v, alpha), (v * f + 16384) >> 15) << "alpha " << alpha << " level " << v;
    }
    EXPECT_LE(withoutFactor, 8) << "most alphas should fade in one multiply";

    const int side = 64;
    std::vector<uint8_t> glow(size_t(side) * side * 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const float d = std::hypot(x + 0.5f - side / 2.0f, y + 0.5f - side / 2.0f) / (side / 2.0f);
            const uint8_t v = uint8_t(d >= 1.0f ? 0 : std::lround(255.0 * (1.0 - d) * (1.0 - d)));
            for (int c = 0; c < 4; ++c) glow[(size_t(y) * side + x) * 4 + c] = v;
        }
    SplatStamps stamps(glow.data(), side, GL_CLAMP_TO_EDGE);
    const SplatStamp* st = stamps.stamp(4 * 20 + 1, 3, 5, false);
    struct Terms {
        uint16_t k[3], m[3];
        int alpha;
    };
    const Terms cases[] = {{{40000, 20000, 0}, {40000, 40000, 40000}, 255}, {{9000, 0, 0}, {9000, 3000, 0}, 9},
                           {{30000, 30000, 30000}, {30000, 30000, 30000}, 3}, {{500, 0, 0}, {800, 0, 0}, 60},
                           {{20000, 10000, 5000}, {20000, 20000, 20000}, 128}};
    for (const Terms& t : cases) {
        const int e = splatExtent(t.k, t.m, t.alpha);
        ASSERT_GE(e, 0);
        int left = 0;
        for (int j = 0; j < st->height; ++j)
            for (int i = 0; i < st->width; ++i) {
                const size_t row = size_t(e) * st->height + j;
                if (i == 0 && st->rowEnd[row] > st->rowFirst[row]) {
                    EXPECT_GE(j, st->extentRows[e][0]) << "a row with pixels before the extent's rows";
                    EXPECT_LT(j, st->extentRows[e][1]) << "a row with pixels after the extent's rows";
                }
                if (i >= st->rowFirst[row] && i < st->rowEnd[row]) continue;
                ++left;
                for (int c = 0; c < 3; ++c) {
                    const int x = std::min((st->p(j, i) * t.k[c] >> 16) + (st->q(j, i) * t.m[c] >> 16), 255 * 128);
                    EXPECT_EQ(0, splatFadeLevel((x + 64) >> 7, t.alpha))
                        << "alpha " << t.alpha << " extent " << e << " pixel " << i << "," << j;
                }
            }
        if (t.alpha < 16) {
            EXPECT_GT(left, st->width * st->height / 4) << "a faint spark should leave out its rim";
        }
    }
    const uint16_t none[3] = {0, 0, 0};
    EXPECT_EQ(-1, splatExtent(none, none, 255));
}

// Stamps made ahead stay through trim, which drops the others.
TEST(SplatStamps, WarmedStampsOutliveTrim) {
    const int side = 16;
    std::vector<uint8_t> white(size_t(side) * side * 4, 255);
    SplatStamps stamps(white.data(), side, GL_CLAMP_TO_EDGE, 4096);
    stamps.warm(4 * 2, false);
    const size_t warmedBytes = stamps.cachedBytes();
    const SplatStamp* warmed = stamps.stamp(4 * 2, 7, 7, false);
    for (int edge = 4 * 3; edge < 4 * 8; edge += 4) stamps.stamp(edge, 0, 0, true);
    stamps.trim();  // all used since the last: kept
    stamps.trim();
    EXPECT_EQ(warmed, stamps.stamp(4 * 2, 7, 7, false));
    EXPECT_EQ(warmedBytes, stamps.cachedBytes()) << "the stamps not warmed should be dropped";
}

}  // namespace
