#include "scenes/scene/splats.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <ctime>
#include <cstdio>

#include "main/log.h"
#include "util/shaderprogram/shaderprogram.h"

namespace {
constexpr int kMaxEdgeQuarters = int(kMaxSplatPixels * 4.0f);
// Rows of the layer go to the threads in bands of kBandRows rows, in turn.
constexpr int kBandRows = 16;
// The GL's standard 4-sample positions within a pixel.
constexpr float kSamples4[4][2] = {{0.375f, 0.125f}, {0.875f, 0.375f}, {0.125f, 0.625f}, {0.625f, 0.875f}};

int threadCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n < 1 ? 1 : n > 8 ? 8 : int(n);
}

// Runs work(thread, threads) on every thread, this one included, and waits for them.
template <class Work>
void onEveryCore(Work work) {
    const int threads = threadCount();
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(threads - 1));
    for (int t = 1; t < threads; ++t) helpers.emplace_back(work, t, threads);
    work(0, threads);
    for (std::thread& helper : helpers) helper.join();
}

// One stamp row into the layer's three planes, 8 pixels a step (n a multiple of 8):
// v = (P K + Q M) / 2^16 in 1/128 levels, rounded to levels, at most 255, added with
// saturation.
void splatSpanSse2(uint16_t* r, uint16_t* g, uint16_t* b, const uint16_t* p, const uint16_t* q, int n,
                   const SplatSpark& s) {
    const __m128i k0 = _mm_set1_epi16(short(s.k[0])), k1 = _mm_set1_epi16(short(s.k[1])),
                  k2 = _mm_set1_epi16(short(s.k[2]));
    const __m128i m0 = _mm_set1_epi16(short(s.m[0])), m1 = _mm_set1_epi16(short(s.m[1])),
                  m2 = _mm_set1_epi16(short(s.m[2]));
    const __m128i half = _mm_set1_epi16(64), top = _mm_set1_epi16(255);
    for (int i = 0; i < n; i += 8) {
        const __m128i pv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i qv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
        auto channel = [&](uint16_t* plane, __m128i k, __m128i m) {
            __m128i v = _mm_adds_epu16(_mm_mulhi_epu16(pv, k), _mm_mulhi_epu16(qv, m));
            v = _mm_min_epi16(_mm_srli_epi16(_mm_adds_epu16(v, half), 7), top);
            __m128i* at = reinterpret_cast<__m128i*>(plane + i);
            _mm_storeu_si128(at, _mm_adds_epu16(_mm_loadu_si128(at), v));
        };
        channel(r, k0, m0);
        channel(g, k1, m1);
        channel(b, k2, m2);
    }
}

// The same, 16 pixels a step (n a multiple of 16).
__attribute__((target("avx2"))) void splatSpanAvx2(uint16_t* r, uint16_t* g, uint16_t* b, const uint16_t* p,
                                                   const uint16_t* q, int n, const SplatSpark& s) {
    const __m256i k0 = _mm256_set1_epi16(short(s.k[0])), k1 = _mm256_set1_epi16(short(s.k[1])),
                  k2 = _mm256_set1_epi16(short(s.k[2]));
    const __m256i m0 = _mm256_set1_epi16(short(s.m[0])), m1 = _mm256_set1_epi16(short(s.m[1])),
                  m2 = _mm256_set1_epi16(short(s.m[2]));
    const __m256i half = _mm256_set1_epi16(64), top = _mm256_set1_epi16(255);
    for (int i = 0; i < n; i += 16) {
        const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const __m256i qv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + i));
        __m256i v0 = _mm256_adds_epu16(_mm256_mulhi_epu16(pv, k0), _mm256_mulhi_epu16(qv, m0));
        __m256i v1 = _mm256_adds_epu16(_mm256_mulhi_epu16(pv, k1), _mm256_mulhi_epu16(qv, m1));
        __m256i v2 = _mm256_adds_epu16(_mm256_mulhi_epu16(pv, k2), _mm256_mulhi_epu16(qv, m2));
        v0 = _mm256_min_epi16(_mm256_srli_epi16(_mm256_adds_epu16(v0, half), 7), top);
        v1 = _mm256_min_epi16(_mm256_srli_epi16(_mm256_adds_epu16(v1, half), 7), top);
        v2 = _mm256_min_epi16(_mm256_srli_epi16(_mm256_adds_epu16(v2, half), 7), top);
        __m256i* ar = reinterpret_cast<__m256i*>(r + i);
        __m256i* ag = reinterpret_cast<__m256i*>(g + i);
        __m256i* ab = reinterpret_cast<__m256i*>(b + i);
        _mm256_storeu_si256(ar, _mm256_adds_epu16(_mm256_loadu_si256(ar), v0));
        _mm256_storeu_si256(ag, _mm256_adds_epu16(_mm256_loadu_si256(ag), v1));
        _mm256_storeu_si256(ab, _mm256_adds_epu16(_mm256_loadu_si256(ab), v2));
    }
}

// Sums of one row (three planes `plane` apart) to BGRA8 pixels [x0, x1), alpha 0: the
// GL's own order on little-endian machines, uploaded without a swizzle.
void resolveRow(const uint16_t* sums, size_t plane, uint8_t* out, int x0, int x1) {
    const __m128i zero = _mm_setzero_si128();
    int x = x0;
    for (; x + 8 <= x1; x += 8) {
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + x));
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + plane + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 * plane + x));
        auto bytes = [&](__m128i v) {
            // Unsigned saturation of 16-bit values to 255 before the signed pack.
            return _mm_packus_epi16(_mm_subs_epu16(v, _mm_subs_epu16(v, _mm_set1_epi16(255))), zero);
        };
        const __m128i bg = _mm_unpacklo_epi8(bytes(b), bytes(g));  // B G pairs
        const __m128i ra = _mm_unpacklo_epi8(bytes(r), zero);      // R 0 pairs
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(x) * 4), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(x) * 4 + 16), _mm_unpackhi_epi16(bg, ra));
    }
    for (; x < x1; ++x) {
        const unsigned v[3] = {sums[x], sums[plane + x], sums[2 * plane + x]};
        out[size_t(x) * 4] = uint8_t(v[2] > 255u ? 255u : v[2]);
        out[size_t(x) * 4 + 1] = uint8_t(v[1] > 255u ? 255u : v[1]);
        out[size_t(x) * 4 + 2] = uint8_t(v[0] > 255u ? 255u : v[0]);
        out[size_t(x) * 4 + 3] = 0;
    }
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
}  // namespace

SplatStamps::SplatStamps(GLuint texture) : texture_(texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint wrap = GL_REPEAT, width = 0, height = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width != height || width <= 0 || (width & (width - 1)))
        FATAL("The particle texture is %ix%i; the software particle path needs a square of a power of two",
              int(width), int(height));
    wrap_ = GLenum(wrap);
    side_ = width;
    GLint pack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int level = 0, s = side_; s >= 1; ++level, s >>= 1) {
        levels_.emplace_back(size_t(s) * s * 4);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, levels_.back().data());
    }
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    double r = 0, g = 0, b = 0;
    for (size_t i = 0; i < levels_[0].size(); i += 4) {
        r += levels_[0][i];
        g += levels_[0][i + 1];
        b += levels_[0][i + 2];
    }
    green_ = r > 0 ? float(g / r) : 1.0f;
    blue_ = r > 0 ? float(b / r) : 1.0f;
    CHECK_GL();
}

SplatStamps::SplatStamps(const uint8_t* rgba, int side, GLenum wrap, size_t cacheBytes)
    : wrap_(wrap), side_(side), cacheBudget_(cacheBytes) {
    levels_.emplace_back(rgba, rgba + size_t(side) * side * 4);
    for (int s = side / 2; s >= 1; s /= 2) {
        const std::vector<uint8_t>& up = levels_.back();
        std::vector<uint8_t> down(size_t(s) * s * 4);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x)
                for (int c = 0; c < 4; ++c) {
                    auto at = [&](int dx, int dy) { return up[(size_t(2 * y + dy) * 2 * s + 2 * x + dx) * 4 + c]; };
                    down[(size_t(y) * s + x) * 4 + c] = uint8_t((at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) / 4);
                }
        levels_.push_back(std::move(down));
    }
    double r = 0, g = 0, b = 0;
    for (size_t i = 0; i < levels_[0].size(); i += 4) {
        r += levels_[0][i];
        g += levels_[0][i + 1];
        b += levels_[0][i + 2];
    }
    green_ = r > 0 ? float(g / r) : 1.0f;
    blue_ = r > 0 ? float(b / r) : 1.0f;
}

SplatStamps::~SplatStamps() {
    for (SplatStamp* s : cache_) delete s;
}

float SplatStamps::sample(int level, float s, float t, int channel) const {
    const int side = side_ >> level;
    const std::vector<uint8_t>& texels = levels_[size_t(level)];
    const float u = s * float(side) - 0.5f, v = t * float(side) - 0.5f;
    const float fu = floorf(u), fv = floorf(v);
    const float a = u - fu, b = v - fv;
    auto texel = [&](int x, int y) {
        if (wrap_ == GL_REPEAT) {
            x &= side - 1;
            y &= side - 1;
        } else {
            x = x < 0 ? 0 : x >= side ? side - 1 : x;
            y = y < 0 ? 0 : y >= side ? side - 1 : y;
        }
        return float(texels[(size_t(y) * side + x) * 4 + channel]);
    };
    const int x0 = int(fu), y0 = int(fv);
    const float bottom = texel(x0, y0) + (texel(x0 + 1, y0) - texel(x0, y0)) * a;
    const float topRow = texel(x0, y0 + 1) + (texel(x0 + 1, y0 + 1) - texel(x0, y0 + 1)) * a;
    return (bottom + (topRow - bottom) * b) * (1.0f / 255.0f);
}

void SplatStamps::build(SplatStamp* stamp, int edgeQuarters, int px, int py, bool fourSamples) const {
    const float edge = float(edgeQuarters) * 0.25f;
    const float fx = float(px) / float(kSplatPhases), fy = float(py) / float(kSplatPhases);
    stamp->width = std::max(1, int(ceilf(fx + edge)));
    stamp->height = std::max(1, int(ceilf(fy + edge)));
    // Zeros past the last column, at least 8: a row from any column on is read in whole
    // steps of 8 without reaching the next row.
    stamp->stride = ((stamp->width + 15) & ~15) + 16;
    const size_t count = size_t(stamp->stride) * stamp->height;
    stamp->p.assign(count, 0);
    stamp->q.assign(count, 0);
    stamp->rowFirst.assign(size_t(stamp->height), 0);
    stamp->rowEnd.assign(size_t(stamp->height), 0);
    // Texels per pixel along both axes: the level of detail of the GL's trilinear filter.
    const float lambda = edge > 0.0f ? log2f(float(side_) / edge) : 0.0f;
    const int maxLevel = int(levels_.size()) - 1;
    int level0 = 0, level1 = 0;
    float blend = 0.0f;
    if (lambda > 0.0f) {
        level0 = std::min(int(floorf(lambda)), maxLevel);
        level1 = std::min(level0 + 1, maxLevel);
        blend = level0 == maxLevel ? 0.0f : lambda - floorf(lambda);
    }
    auto trilinear = [&](float s, float t, int channel) {
        float a = sample(level0, s, t, channel);
        if (blend <= 0.0f) return a;
        return a + (sample(level1, s, t, channel) - a) * blend;
    };
    for (int j = 0; j < stamp->height; ++j)
        for (int k = 0; k < stamp->width; ++k) {
            int covered = 0;
            if (fourSamples) {
                for (const auto& at : kSamples4) {
                    float x = float(k) + at[0], y = float(j) + at[1];
                    covered += x >= fx && x < fx + edge && y >= fy && y < fy + edge;
                }
            } else {
                float x = float(k) + 0.5f, y = float(j) + 0.5f;
                covered = (x >= fx && x < fx + edge && y >= fy && y < fy + edge) ? 4 : 0;
            }
            if (!covered) continue;
            // Shaded at the pixel's centre, as the GL shades a multisampled pixel.
            const float s = (float(k) + 0.5f - fx) / edge, t = (float(j) + 0.5f - fy) / edge;
            const float red = trilinear(s, t, 0), alpha = trilinear(s, t, 3);
            const float core = alpha * alpha;
            const float w = 0.6f * core * core;
            const size_t i = size_t(j) * stamp->stride + k;
            // The share of the samples covered, as the resolve averages them.
            const float share = float(covered) * 0.25f * 65535.0f;
            stamp->p[i] = uint16_t(lrintf(red * (1.0f - w) * share));
            stamp->q[i] = uint16_t(lrintf(red * w * share));
        }
    // Each row from its first to its last pixel that adds anything (the glow is round).
    for (int j = 0; j < stamp->height; ++j) {
        int first = stamp->width, end = 0;
        for (int k = 0; k < stamp->width; ++k)
            if (stamp->p[size_t(j) * stamp->stride + k] || stamp->q[size_t(j) * stamp->stride + k]) {
                first = std::min(first, k);
                end = k + 1;
            }
        stamp->rowFirst[size_t(j)] = uint16_t(end > 0 ? first : 0);
        stamp->rowEnd[size_t(j)] = uint16_t(end);
    }
}

const SplatStamp* SplatStamps::stamp(int edgeQuarters, int px, int py, bool fourSamples) {
    constexpr size_t kPhasePairs = size_t(kSplatPhases) * kSplatPhases;
    if (cache_.empty()) cache_.assign(size_t(kMaxEdgeQuarters + 1) * kPhasePairs * 2, nullptr);
    const size_t index =
        (size_t(edgeQuarters) * kPhasePairs + size_t(py * kSplatPhases + px)) * 2 + (fourSamples ? 1 : 0);
    SplatStamp*& slot = cache_[index];
    if (!slot) {
        slot = new SplatStamp;
        build(slot, edgeQuarters, px, py, fourSamples);
        cachedBytes_ += slot->p.size() * 4 + sizeof(SplatStamp);
    }
    return slot;
}

void SplatStamps::trim() {
    if (cachedBytes_ <= cacheBudget_) return;
    for (SplatStamp*& s : cache_) {
        delete s;
        s = nullptr;
    }
    cachedBytes_ = 0;
}

namespace {
// One set of stamps per particle texture, kept for the process's life.
std::vector<SplatStamps*> g_stamps;

SplatStamps* stampsFor(GLuint texture) {
    for (SplatStamps* s : g_stamps)
        if (s->texture() == texture) return s;
    g_stamps.push_back(new SplatStamps(texture));
    return g_stamps.back();
}
}  // namespace

SplatBatch::SplatBatch(int capacity) : quads_(capacity), capacity_(capacity) {
    sparks_.reserve(size_t(capacity > 0 ? capacity : 1));
}

SplatBatch::~SplatBatch() {
    if (layerTexture_) glDeleteTextures(1, &layerTexture_);
}

void SplatBatch::start(GLuint texture, bool srcAlpha) {
    stamps_ = stampsFor(texture);
    // No batch holds stamps now: the last one's sparks were drawn (or dropped) already.
    stamps_->trim();
    glBindTexture(GL_TEXTURE_2D, texture);
    srcAlpha_ = srcAlpha;
    sparks_.clear();
    quads_.clear();
    quadRuns_.clear();
    quadSizes_.clear();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    samples_ = samples;
    glGetIntegerv(GL_VIEWPORT, viewport_);
    if (viewport_[2] != width_ || viewport_[3] != height_) {
        width_ = viewport_[2];
        height_ = viewport_[3];
        // Rows padded by 16 values: a stamp row's last step may reach past the layer's
        // last column (the stamp holds zeros there, so it adds nothing).
        pitch_ = width_ + 16;
        rgba_.assign(size_t(width_) * height_ * 4, 0);
    }
    boxX0_ = width_;
    boxY0_ = height_;
    boxX1_ = boxY1_ = 0;
}

void SplatBatch::begin(float size) {
    size_ = size;
    GLfloat projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview_);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * modelview_[c * 4 + k];
            mvp_[c * 4 + r] = sum;
        }
    // The square's half edge in pixels at w = 1: size along the camera's axes, through
    // the projection's scale, times half the viewport.
    halfX_ = projection[0] * size * float(viewport_[2]) * 0.5f;
    halfY_ = projection[5] * size * float(viewport_[3]) * 0.5f;
    quadRuns_.push_back(quads_.count());
    quadSizes_.push_back(size);
}

void SplatBatch::add(float x, float y, float z, float r, float g, float b, float a) {
    if (!(a > 0.0f) || int(sparks_.size()) + quads_.count() >= capacity_) return;
    float clip[4];
    for (int i = 0; i < 4; ++i) clip[i] = mvp_[i] * x + mvp_[4 + i] * y + mvp_[8 + i] * z + mvp_[12 + i];
    const float w = clip[3];
    if (!(clip[2] >= -w) || !(clip[2] <= w) || !(w > 0.0f)) return;
    const float hx = halfX_ / w, hy = halfY_ / w;
    const float cx = (clip[0] / w + 1.0f) * 0.5f * float(width_), cy = (clip[1] / w + 1.0f) * 0.5f * float(height_);
    if (cx + hx <= 0.0f || cx - hx >= float(width_) || cy + hy <= 0.0f || cy - hy >= float(height_)) return;
    const int edgeX = int(lrintf(hx * 8.0f)), edgeY = int(lrintf(hy * 8.0f));
    if (edgeY > kMaxEdgeQuarters || edgeX != edgeY) {
        quads_.add(x, y, z, r, g, b, a);
        return;
    }
    auto clamp01 = [](float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; };
    // billboard.frag's colour: saturation doubled about the brightest channel, whitened
    // towards it in the core, times the depth cue of billboard.vert.
    const float c[3] = {clamp01(r), clamp01(g), clamp01(b)};
    const float peak = std::max(c[0], std::max(c[1], c[2]));
    float eye[3];
    for (int i = 0; i < 3; ++i) eye[i] = modelview_[i] * x + modelview_[4 + i] * y + modelview_[8 + i] * z + modelview_[12 + i];
    const float distance = sqrtf(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    const float glow = std::min(1.25f, std::max(0.5f, 1.4f - distance / 110.0f));
    const float ratio[3] = {1.0f, stamps_->greenRatio(), stamps_->blueRatio()};
    SplatSpark spark;
    // Under (SRC_ALPHA, ONE) the alpha scales the light, here before its rounding.
    const float alpha = srcAlpha_ ? float(lrintf(clamp01(a) * 255.0f)) / 255.0f : 1.0f;
    for (int ch = 0; ch < 3; ++ch) {
        const float saturated = std::max(peak - (peak - c[ch]) * 2.0f, 0.0f);
        // 1/128 levels per unit of the stamp's 16-bit P and Q.
        spark.k[ch] = uint16_t(lrintf(128.0f * 255.0f * alpha * glow * ratio[ch] * saturated));
        spark.m[ch] = uint16_t(lrintf(128.0f * 255.0f * alpha * glow * ratio[ch] * peak));
    }
    // The square's lower-left corner on the grid of phases.
    const float phases = float(kSplatPhases);
    const int left = int(floorf((cx - hx) * phases + 0.5f)), bottom = int(floorf((cy - hy) * phases + 0.5f));
    spark.x0 = left >> kSplatPhaseShift;
    spark.y0 = bottom >> kSplatPhaseShift;
    spark.stamp = stamps_->stamp(edgeY, left & (kSplatPhases - 1), bottom & (kSplatPhases - 1), samples_ == 4);
    boxX0_ = std::min(boxX0_, std::max(0, spark.x0));
    boxY0_ = std::min(boxY0_, std::max(0, spark.y0));
    boxX1_ = std::max(boxX1_, std::min(width_, spark.x0 + spark.stamp->width));
    boxY1_ = std::max(boxY1_, std::min(height_, spark.y0 + spark.stamp->height));
    sparks_.push_back(spark);
}

void SplatBatch::bin() {
    // Each spark listed under every band of rows its stamp reaches (counting sort).
    const int bands = (height_ + kBandRows - 1) / kBandRows;
    bandStart_.assign(size_t(bands) + 1, 0);
    auto range = [&](const SplatSpark& s, int* first, int* last) {
        const int y0 = std::max(0, s.y0), y1 = std::min(height_, s.y0 + s.stamp->height);
        *first = y0 / kBandRows;
        *last = y1 > y0 ? (y1 - 1) / kBandRows : *first - 1;
    };
    for (const SplatSpark& s : sparks_) {
        int first, last;
        range(s, &first, &last);
        for (int b = first; b <= last; ++b) ++bandStart_[size_t(b) + 1];
    }
    for (int b = 0; b < bands; ++b) bandStart_[size_t(b) + 1] += bandStart_[size_t(b)];
    bandItems_.resize(size_t(bandStart_[size_t(bands)]));
    std::vector<int> next(bandStart_.begin(), bandStart_.end() - 1);
    for (size_t i = 0; i < sparks_.size(); ++i) {
        int first, last;
        range(sparks_[i], &first, &last);
        for (int b = first; b <= last; ++b) bandItems_[size_t(next[size_t(b)]++)] = int(i);
    }
}

void SplatBatch::splatBands(int thread, int threads) {
    // One band of rows at a time in a buffer of this thread's (three planes of 16-bit
    // sums), small enough to stay in the core's cache while its sparks land.
    const size_t plane = size_t(pitch_) * kBandRows;
    std::vector<uint16_t> sums(plane * 3);
    const bool wide = haveAvx2();
    const int step = wide ? 16 : 8;
    const int bands = int(bandStart_.size()) - 1;
    for (int band = thread; band < bands; band += threads) {
        const int top = band * kBandRows, bottom = std::min(height_, top + kBandRows);
        if (bottom <= boxY0_ || top >= boxY1_) continue;
        const int from = bandStart_[size_t(band)], to = bandStart_[size_t(band) + 1];
        for (int item = from; item < to; ++item) {
            const SplatSpark& s = sparks_[size_t(bandItems_[size_t(item)])];
            const SplatStamp& st = *s.stamp;
            const int left = std::max(0, -s.x0), right = std::min(st.width, width_ - s.x0);
            if (right <= left) continue;
            const int j0 = std::max(0, top - s.y0), j1 = std::min(st.height, bottom - s.y0);
            for (int j = j0; j < j1; ++j) {
                const int k0 = std::max(left, int(st.rowFirst[size_t(j)]));
                const int k1 = std::min(right, int(st.rowEnd[size_t(j)]));
                if (k1 <= k0) continue;
                const size_t at = size_t(s.y0 + j - top) * pitch_ + size_t(s.x0 + k0);
                const size_t in = size_t(j) * st.stride + size_t(k0);
                const int n = (k1 - k0 + step - 1) & ~(step - 1);
                uint16_t* red = sums.data() + at;
                if (wide)
                    splatSpanAvx2(red, red + plane, red + 2 * plane, st.p.data() + in, st.q.data() + in, n, s);
                else
                    splatSpanSse2(red, red + plane, red + 2 * plane, st.p.data() + in, st.q.data() + in, n, s);
            }
        }
        for (int y = std::max(top, boxY0_); y < std::min(bottom, boxY1_); ++y)
            resolveRow(sums.data() + size_t(y - top) * pitch_, plane, rgba_.data() + size_t(y) * width_ * 4, boxX0_,
                       boxX1_);
        std::fill(sums.begin(), sums.end(), uint16_t(0));
    }
}

void SplatBatch::draw(ShaderProgram* billboard) {
    GLint particleTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &particleTexture);
    if (!sparks_.empty() && boxX1_ > boxX0_ && boxY1_ > boxY0_) {
        bin();
        onEveryCore([this](int thread, int threads) { splatBands(thread, threads); });
        if (!layerTexture_ || textureWidth_ != width_ || textureHeight_ != height_) {
            if (!layerTexture_) glGenTextures(1, &layerTexture_);
            glBindTexture(GL_TEXTURE_2D, layerTexture_);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            textureWidth_ = width_;
            textureHeight_ = height_;
        }
        glBindTexture(GL_TEXTURE_2D, layerTexture_);
        GLint rowLength = 0, skipPixels = 0, skipRows = 0, alignment = 4, unpackBuffer = 0;
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &skipPixels);
        glGetIntegerv(GL_UNPACK_SKIP_ROWS, &skipRows);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, width_);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, boxX0_);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, boxY0_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, boxX0_, boxY0_, boxX1_ - boxX0_, boxY1_ - boxY0_, GL_BGRA,
                        GL_UNSIGNED_BYTE, rgba_.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, skipPixels);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, skipRows);
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, GLuint(unpackBuffer));

        // The layer added to the frame, pixel for pixel over the viewport; the frame's
        // alpha is kept.
        ShaderProgram::unbind();
        const GLboolean textured = glIsEnabled(GL_TEXTURE_2D);
        GLint envMode = GL_MODULATE;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBlendFuncSeparate(GL_ONE, GL_ONE, GL_ZERO, GL_ONE);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0.0, double(width_), 0.0, double(height_), -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        const float x0 = float(boxX0_), y0 = float(boxY0_), x1 = float(boxX1_), y1 = float(boxY1_);
        const float w = float(width_), h = float(height_);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glBegin(GL_QUADS);
        glTexCoord2f(x0 / w, y0 / h);
        glVertex2f(x0, y0);
        glTexCoord2f(x1 / w, y0 / h);
        glVertex2f(x1, y0);
        glTexCoord2f(x1 / w, y1 / h);
        glVertex2f(x1, y1);
        glTexCoord2f(x0 / w, y1 / h);
        glVertex2f(x0, y1);
        glEnd();
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
        if (!textured) glDisable(GL_TEXTURE_2D);
        if (srcAlpha_)
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        else
            glBlendFunc(GL_ONE, GL_ONE);
        glBindTexture(GL_TEXTURE_2D, GLuint(particleTexture));
    }
    billboard->bind();
    for (size_t run = 0; run < quadRuns_.size(); ++run) {
        const int first = quadRuns_[run];
        const int end = run + 1 < quadRuns_.size() ? quadRuns_[run + 1] : quads_.count();
        if (end <= first) continue;
        billboard->setUniform1f("size", quadSizes_[run]);
        quads_.draw(first, end - first);
    }
    CHECK_GL();
}
