// Where the fast particle path sends a spark: the point, the billboard fallback, or
// nowhere, from its clip-space position. Which path the automatic choice takes, and the
// software path's stamps.
#include "scenes/scene/sprites.h"

#include <gtest/gtest.h>

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
                    double light = 0.0;
                    for (size_t i = 0; i < s->p.size(); ++i) light += (double(s->p[i]) + s->q[i]) / 65535.0;
                    const double edge = edgeQuarters / 4.0;
                    // A fractional edge covers whole pixel centres: between (edge-1)^2 and (edge+1)^2.
                    const double tolerance = (edgeQuarters % 4 == 0 ? 0.01 : 2.0 * edge + 1.0);
                    EXPECT_NEAR(edge * edge, light, tolerance)
                        << "edge " << edge << " phase " << px << "," << py << (four ? " 4 samples" : "");
                    EXPECT_EQ(s, stamps.stamp(edgeQuarters, px, py, four)) << "cached";
                }
}

// A batch's sparks point into the stamps: a cache past its budget must keep them until
// trim() (between batches), and only then start afresh.
TEST(SplatStamps, OutgrowingTheBudgetKeepsTheBatchsStampsUntilTrim) {
    const int side = 16;
    std::vector<uint8_t> white(size_t(side) * side * 4, 255);
    SplatStamps stamps(white.data(), side, GL_CLAMP_TO_EDGE, 4096);
    const SplatStamp* first = stamps.stamp(4 * 10, 1, 2, false);
    const std::vector<uint16_t> firstP = first->p;
    for (int edge = 4 * 11; stamps.cachedBytes() <= 4096 * 2; edge += 4) stamps.stamp(edge, 0, 0, true);
    EXPECT_EQ(first, stamps.stamp(4 * 10, 1, 2, false)) << "evicted before trim";
    EXPECT_EQ(firstP, first->p);
    stamps.trim();
    EXPECT_EQ(0u, stamps.cachedBytes());
    EXPECT_EQ(firstP, stamps.stamp(4 * 10, 1, 2, false)->p) << "rebuilt after trim";
}

}  // namespace
