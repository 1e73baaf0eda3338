// The particle scenes' software path, for renderers that shade on the CPU (llvmpipe):
// the sparks are splatted by the CPU, on every core, into an accumulation layer the size
// of the viewport, and the layer is added to the frame: onto the clear colour where the
// frame holds nothing else yet, or onto the frame's pixels read back in a single-sampled
// one, copied by a blit; else by one textured quad. Their blending is additive and
// saturating (no depth test), so the sum does not depend on the order, and scenes drawn
// one after another that only splat can share one layer: the frame pays for one upload
// and one copy or quad, which cost llvmpipe about as much as the sparks of a busy frame
// (the scene manager composites the layer before any scene that does not open with
// splats, and after the last scene).
//
// What a spark adds is billboard.vert's square and billboard.frag's colour, computed as
// the GL computes them for a quad: the square is screen-aligned, so its texture
// coordinate is affine in the pixel, and the GL itself samples the particle texture under
// it through the texture's own filter (splat_texels.h; where it cannot, a model of its
// trilinear filter from a copy of the mip levels stands in). Each spark's texture
// footprint comes from a stamp of the filtered texture, cached by edge (1/4 pixel) and
// sub-pixel phase (1/8 pixel, nearest to its centre), and every pixel is rounded to 8
// bits and scaled by the spark's alpha (rounded to 8 bits, as the blender takes it), so
// many faint sparks add up much as they do in the frame buffer. With 4 samples a pixel
// counts the samples the square covers (the GL's standard 4-sample positions), each of
// which takes the fragment's rounded colour, and the layer averages them.
//
// Sparks wider than kMaxSplatPixels go through the GL as billboard quads (rare; their
// stamps would be large), so do those whose projected square is not square; they face
// the screen too, and are sampled as the point sprites are (bindParticleSampler).
// The colour code mirrors billboard.frag: an edit of that shader or of sprite.vert is
// not followed (see particlePath's development-mode switch in sprites.h).
#pragma once

#include <GL/glew.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "scenes/scene/billboards.h"

class ShaderProgram;
struct SplatStamp;
class SplatStamps;
struct StampSquare;

// Particle textures whose stamps are made ahead: a scene notes its texture at load, and
// when the software path is chosen the stamps of every spark up to kWarmSplatPixels wide
// in a frame kWarmSplatHeight pixels high (wider in proportion in a taller one; the
// cache's budget grows with the square of it) are made at once under the frame's sample
// count, so that the show does not build them while the sparks grow (at 1280x720 the
// finale's busiest frames built 85-90 stamps each, 4-5 ms, with sparks up to 32 px
// warmed; with 40 px, 25-33 stamps, 1.3-2.2 ms, for 21 MiB more). Their texels are the
// GL's (0.23 s at 1280x720, 0.58 s at 1920x1080, against 0.07 and 0.21 s modelled).
// Textures of equal texels and filtering share one set of stamps.
constexpr int kWarmSplatPixels = 40;
constexpr int kWarmSplatHeight = 720;
void noteSplatTexture(GLuint texture);
bool splatTexturesNoted();
// Makes what is missing for the viewport's height and the frame's sample count; cheap
// once made (each batch's start calls it: a taller window or another sample count warms
// again).
void warmNotedSplatTextures();

// Adds the sparks splatted since the last call to the frame, under the viewport they were
// splatted under, then draws the quads held back (see noteSplatFrameCleared), and
// leaves the GL state as it found it. Nothing when there are none.
void compositeSplatLayer();
// The frame has just been cleared (its colour buffer, by glClear), and from then on
// something other than splats was drawn into it: until then the layer is added onto the
// clear colour without reading the frame back, into every sample of a multisampled one.
// Meanwhile the batches hold their wide sparks' quads back until the layer has reached
// the frame (the blend adds, so the order does not change the pixels).
void noteSplatFrameCleared();
void noteSplatFrameDrawn();
// How the last composite with sparks reached the frame.
enum class SplatComposite { None, Quad, AddedOntoReadBack, CopiedOverClear };
SplatComposite lastSplatComposite();

constexpr float kMaxSplatPixels = 64.0f;
// A stamp's sub-pixel phases per pixel along each axis (a quarter left errors of up to
// a dozen levels on the sharp cores of 15-pixel sparks).
constexpr int kSplatPhaseShift = 3;
constexpr int kSplatPhases = 1 << kSplatPhaseShift;

// One spark ready to splat: its stamp, where the stamp's first pixel lands in the layer,
// and its colour terms. A pixel's colour is (k[c] P + m[c] Q) / 2^16 in 1/128 levels (P
// and Q in 1/65535, see SplatStamp), clamped to 255 levels and rounded to levels as the
// GL writes a fragment's colour; then the blender's fade by alpha (8 bits, 255 for
// none): colour * alpha / 255, rounded, in 8-bit arithmetic as a software GL does it, so
// many faint sparks round as they do in the frame buffer; at 4 samples, that times the
// samples covered, in quarter levels.
//
// What the splat computes is fixed by those rules; the rest only saves work that adds 0:
// `extent` picks the stamp's row extents whose pixels can round to a level for this
// spark (a faint spark leaves out the glow's faint rim), and `fadeFactor` is the alpha's
// fade in one rounding multiply, f with (v f + 2^14) >> 15 equal to the 8-bit fade for
// every level v (0 for the few alphas without one). width and height are the stamp's,
// known before the stamp is.
struct SplatSpark {
    const SplatStamp* stamp;
    int x0, y0;
    uint16_t k[3], m[3];
    uint16_t alpha;
    int16_t fadeFactor;
    int16_t width, height;
    uint8_t extent;
};

// In a stamp for 4 samples, the low bits of P that hold the count of samples covered
// less one (P keeps the rest).
constexpr uint16_t kSplatCountMask = 3;

// Row extents a stamp keeps: those of the pixels whose P + Q reaches each threshold.
constexpr int kSplatExtents = 8;
constexpr uint16_t kSplatExtentThresholds[kSplatExtents] = {1, 128, 256, 512, 1024, 2048, 4096, 8192};

class SplatBatch {
public:
    explicit SplatBatch(int capacity);  // in particles
    ~SplatBatch();
    SplatBatch(const SplatBatch&) = delete;
    SplatBatch& operator=(const SplatBatch&) = delete;

    static constexpr bool kSkipsInvisible = true;

    // Starts the frame's particles: `texture` is the particle texture (its mip levels
    // are read once), srcAlpha whether the blend is (SRC_ALPHA, ONE) or (ONE, ONE).
    void start(GLuint texture, bool srcAlpha);
    // Particles of glow radius `size` (world units) under the current matrices and viewport.
    void begin(float size);
    // Only recorded: draw projects, colours and stamps them on every core.
    void add(float x, float y, float z, float r, float g, float b, float a);
    // Splats the particles added since start into the frame's layer and draws the wide
    // ones as quads through `billboard` (bound by bindBillboardProgram before start), or
    // holds those until the layer reaches the frame at compositeSplatLayer().
    void draw(ShaderProgram* billboard);

    int splats() const { return splats_; }
    int quads() const { return quads_.count(); }

private:
    // A particle as added, and the begin() it came under.
    struct Input {
        float x, y, z, r, g, b, a;
        int run;
    };
    struct Run {
        float mvp[16], modelview[16];
        float halfX, halfY;  // the square's half edge in pixels at w = 1
    };
    // What one thread's share of the inputs becomes, in order: sparks (those whose stamp
    // was not cached yet by index and key, found once every missing stamp is built, and
    // the box they lie in) and the inputs drawn as quads. The rest lie outside the view.
    struct Prepared {
        std::vector<SplatSpark> sparks;
        std::vector<std::pair<int, int>> unstamped;
        std::vector<int> quads;
        int box[4];
    };

    struct Projected;
    Projected project(const Input& in) const;
    void projectEight(const Input* first, Projected out[8]) const;  // eight of one run
    void place(const Projected& p, int input, Prepared* out) const;
    int stampKey(const Projected& p) const;  // the key of a projected spark's stamp
    void prepare(int thread, int threads);
    void resolveStamps();

    BillboardBatch quads_;
    std::vector<float> quadSizes_;  // the size of each run of quads: (first, size)
    std::vector<int> quadRuns_;
    int capacity_;
    SplatStamps* stamps_ = nullptr;
    std::vector<Input> inputs_;
    std::vector<Run> runs_;
    std::vector<Prepared> prepared_;  // one per thread
    int splats_ = 0;
    bool srcAlpha_ = false;
    float ratio_[3] = {1.0f, 1.0f, 1.0f};  // the texture's green and blue to red, for the colour terms
    int samples_ = 0;
    int viewport_[4] = {0, 0, 0, 0};
};

// The stamps of one particle texture: its mip levels (red and alpha channels) and the
// filtered footprints met so far.
class SplatStamps {
public:
    // Reads the mip levels of the bound 2D texture `texture`.
    explicit SplatStamps(GLuint texture);
    ~SplatStamps();
    // Levels from an image in memory (tests): level 0 of side x side RGBA8, halved down
    // to 1 x 1 by averaging as a box filter; wrap is GL_REPEAT or GL_CLAMP_TO_EDGE.
    SplatStamps(const uint8_t* rgba, int side, GLenum wrap, size_t cacheBytes = kStampCacheBytes);

    // The cache's budget in bytes, in a frame up to 720 pixels high; past it trim() drops
    // the stamps unused since the trim before.
    static constexpr size_t kStampCacheBytes = size_t(96) << 20;

    // The stamp of a square edgeQuarters / 4 pixels wide at phases (px, py) in
    // 1/kSplatPhases pixels, for 1 sample or 4 (the model's texels where it is made
    // here). It stays valid until the next trim().
    const SplatStamp* stamp(int edgeQuarters, int px, int py, bool fourSamples);
    // The same in two steps, for a batch: the stamp's key, the cached stamp of a key
    // (or null), and every stamp of `keys` (distinct, none cached) built on every core.
    static int key(int edgeQuarters, int px, int py, bool fourSamples);
    // The size in pixels of the stamps of that edge and phases.
    static void size(int edgeQuarters, int px, int py, int* width, int* height);
    const SplatStamp* cached(int key) const { return cache_.empty() ? nullptr : cache_[size_t(key)]; }
    // Fetches the cache's entry of a key ahead of cached().
    void prefetchCached(int key) const {
        if (!cache_.empty()) __builtin_prefetch(cache_.data() + key);
    }
    // With `sampledByTheGl` their texels come from the GL (glTexels), else from the model:
    // the GL's readback waits for what the frame has queued, so stamps met in the show
    // (sparks wider than those warmed) take the model's (the GL's cost 2.5 ms more at the
    // finale's p95 at 1280x720, paired; the look moved by under 0.02% of the pixels).
    void buildAll(const std::vector<int>& keys, bool sampledByTheGl);
    // When the cache has grown past its budget, drops the stamps that no spark has used
    // since the last such trim (warmed ones stay): the stamps of the sparks on screen now
    // stay, those of a burst gone are rebuilt if ever met again. Only between batches: the
    // sparks of a batch point into the stamps (compositeSplatLayer calls it).
    void trim();
    // Makes every stamp of edges up to maxEdgeQuarters at every phase, kept through trim(),
    // their texels sampled by the GL.
    void warm(int maxEdgeQuarters, bool fourSamples);
    bool sameTexels(const SplatStamps& other) const {
        return wrap_ == other.wrap_ && std::equal(filter_, filter_ + 3, other.filter_) && levels_ == other.levels_;
    }
    size_t cachedBytes() const { return cachedBytes_; }
    size_t budget() const { return cacheBudget_; }
    void setBudget(size_t bytes) { cacheBudget_ = bytes; }
    float greenRatio() const { return green_; }
    float blueRatio() const { return blue_; }

private:
    // A stamp from its texels (red and alpha of each pixel, as renderStampTexels gives
    // them), or from the model's where there are none.
    void build(SplatStamp* stamp, int edgeQuarters, int px, int py, bool fourSamples, const float* texels) const;
    // The GL's texels of the stamps of `keys`, in order; none where texture_ is 0 or the
    // GL cannot give them.
    void glTexels(const std::vector<int>& keys, std::vector<std::vector<float>>* texels) const;
    // The model of the GL's trilinear filter: the texels of a stamp's square, as glTexels
    // gives them.
    std::vector<float> modelTexels(const StampSquare& square) const;
    void keep(int key, SplatStamp* stamp);
    // One axis of a bilinear sample on a level: the two texels' indices (wrapped) and the
    // second one's weight, at texture coordinate s or t.
    struct Taps {
        int first, second;
        float weight;
    };
    Taps taps(int level, float coordinate) const;
    // The red and alpha channels of a bilinear sample, 0 to 1.
    void sample(int level, const Taps& across, const Taps& up, float* red, float* alpha) const;

    GLenum wrap_ = GL_REPEAT;
    // The texture the GL samples the stamps from (0: the model of its trilinear filter,
    // for levels given in memory), its minifying and magnifying filters and anisotropy
    // (in 1/16), and whether sampling through the GL failed once (then the model serves).
    GLuint texture_ = 0;
    GLint filter_[3] = {0, 0, 16};
    mutable bool glSamplingFailed_ = false;
    std::vector<std::vector<uint8_t>> levels_;  // RGBA8, side >> level
    int side_ = 0;
    float green_ = 1.0f, blue_ = 1.0f;
    std::vector<SplatStamp*> cache_;
    size_t cachedBytes_ = 0;
    size_t cacheBudget_ = kStampCacheBytes;
    int warmedEdges_[2] = {0, 0};  // edge quarters warmed, at 1 sample and at 4
};

// Memory on cache lines of 64 bytes, for the stamps' blocks.
template <class T>
struct CacheLineAllocator {
    using value_type = T;
    CacheLineAllocator() = default;
    template <class U>
    CacheLineAllocator(const CacheLineAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
    void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(64)); }
    bool operator==(const CacheLineAllocator&) const { return true; }
    bool operator!=(const CacheLineAllocator&) const { return false; }
};

// A stamp's header comes first, on one cache line with everything that a spark up to
// 16 pixels wide reads of it (its size, stride, largest values, extents' rows and P, Q);
// the row extents of wider stamps follow on the next.
struct alignas(64) SplatStamp {
    int width = 0, height = 0;  // pixels
    // P: texel.r * (1 - w) and Q: texel.r * w in 1/65535, w = 0.6 * texel.a^4, in a pixel
    // whose centre the square covers (at 1 sample), or any of whose samples it covers (at
    // 4: then P's low bits, kSplatCountMask, hold the count of samples covered less one,
    // and the layer sums quarter levels: each covered sample takes the fragment's rounded
    // colour, as the GL writes it, and the resolve averages them; 50 equal sparks at one
    // place in a finale frame, each rounding to a level or none, made differences of 13
    // levels when the share was rounded with the colour). A row holds its P values, then
    // its Q values, `stride` values in all and zeros past the last column: 16 of each in a
    // stamp up to 16 pixels wide (one block, one cache line), else the width rounded up to
    // 16, plus 16 zeros that a step of 16 from any column may reach.
    int stride = 0;
    uint16_t pMax = 0, qMax = 0;
    // Whether a spark has landed with it since the last trim() past the budget; set by
    // every thread that splats it (the same value, so a relaxed store), and only where it
    // is not set yet: a store on every spark would take the cache line from the other
    // cores, which read the header on every spark too.
    mutable bool used = false;
    void markUsed() const {
        if (!__atomic_load_n(&used, __ATOMIC_RELAXED)) __atomic_store_n(&used, true, __ATOMIC_RELAXED);
    }
    // Each extent's first row with a pixel and the row after its last (height, 0: none).
    uint16_t extentRows[kSplatExtents][2] = {};
    std::vector<uint16_t, CacheLineAllocator<uint16_t>> pq;
    bool oneBlock() const { return stride == 32; }
    size_t qOffset() const { return size_t(stride) / 2; }
    size_t at(int row, int column) const { return size_t(row) * size_t(stride) + size_t(column); }
    uint16_t p(int row, int column) const { return pq[at(row, column)]; }
    uint16_t q(int row, int column) const { return pq[at(row, column) + qOffset()]; }
    // Each row's first and end pixel with P + Q at least kSplatExtentThresholds[e], at
    // [e * height + row]; extent 0 holds every pixel that adds anything (the glow is round).
    std::vector<uint16_t> rowFirst, rowEnd;
};

// The blender's 8-bit fade of level v by alpha: v alpha / 255, rounded.
inline int splatFadeLevel(int v, int alpha) {
    const int x = v * alpha;
    return (x + (x >> 8) + 128) >> 8;
}
// The alpha's fade as one rounding multiply (see SplatSpark), or 0 where none is exact.
int16_t splatFadeFactor(int alpha);
// The stamp extent of fewest pixels that still holds every pixel able to add a level
// under colour terms k, m and alpha; -1 when none is (a spark too faint to show).
int splatExtent(const uint16_t k[3], const uint16_t m[3], int alpha);
