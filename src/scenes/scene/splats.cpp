#include "scenes/scene/splats.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <memory>

#include "log.h"
#include "scenes/scene/splat_texels.h"
#include "util/shaderprogram/shaderprogram.h"
#include "util/util/workers.h"

namespace {
constexpr int kMaxEdgeQuarters = int(kMaxSplatPixels * 4.0f);
// Rows of the layer are splatted in bands of kBandRows rows, each thread taking the next
// band that none has taken (a burst fills a few bands: bands dealt in turn left one core
// with most of it). A band's rows have kBandMargin values before column 0 and after the
// last column: a step of 16 may reach past the layer's edges, and what lands there is
// dropped. 32 rows at 1280 pixels are 252 KiB of sums, within a core's second-level cache
// (16 rows were 6-12% slower, paired).
constexpr int kBandRows = 32;
constexpr int kBandMargin = 16;
// The GL's standard 4-sample positions within a pixel.
constexpr float kSamples4[4][2] = {{0.375f, 0.125f}, {0.875f, 0.375f}, {0.125f, 0.625f}, {0.625f, 0.875f}};

int threadCount() { return workers::count(); }

// Thread `thread`'s share [*from, *to) of `count` items taken in order by `threads`.
void threadShare(size_t count, int thread, int threads, size_t* from, size_t* to) {
    const size_t per = (count + size_t(threads) - 1) / size_t(threads);
    *from = std::min(count, per * size_t(thread));
    *to = std::min(count, *from + per);
}

// Runs work(thread, threads) on every thread, this one included, and waits for them.
template <class Work>
void onEveryCore(Work work) {
    workers::run(work);
}

// The part of a spark that lands in one band: its stamp's rows [j0, j1) and columns
// [left, right), into the band's sums (three planes `plane` apart, `pitch` values a
// row) whose first row is the layer's row `top`.
struct BandPart {
    const SplatSpark* spark;
    int j0, j1, left, right, top;
};

// The rows of a band part within the spark's extent, [j0, j1), and in row j its span:
// where its first column lands in the band's sums and lies in the stamp's P values, and
// its count of columns, within the extent and the layer (false for none). A stamp of one
// block (OneBlock) spans its whole block whatever the row holds.
class PartRows {
public:
    PartRows(const BandPart& part, uint16_t* sums, size_t pitch)
        : part_(part), st_(*part.spark->stamp), sums_(sums), pitch_(ptrdiff_t(pitch)) {
        const int extent = part.spark->extent;
        rowFirst_ = st_.rowFirst.data() + size_t(extent) * size_t(st_.height);
        rowEnd_ = st_.rowEnd.data() + size_t(extent) * size_t(st_.height);
        j0 = std::max(part.j0, int(st_.extentRows[extent][0]));
        j1 = std::min(part.j1, int(st_.extentRows[extent][1]));
    }
    template <bool OneBlock>
    bool span(int j, uint16_t** out, const uint16_t** p, int* columns) const {
        int k0 = 0, k1 = 16;
        if (!OneBlock) {
            k0 = std::max(part_.left, int(rowFirst_[j]));
            k1 = std::min(part_.right, int(rowEnd_[j]));
            if (k1 <= k0) return false;
        }
        const SplatSpark& s = *part_.spark;
        *out = sums_ + ptrdiff_t(s.y0 + j - part_.top) * pitch_ + ptrdiff_t(s.x0 + k0);
        *p = st_.pq.data() + st_.at(j, k0);
        *columns = k1 - k0;
        return true;
    }
    int j0, j1;

private:
    const BandPart& part_;
    const SplatStamp& st_;
    uint16_t* sums_;
    ptrdiff_t pitch_;
    const uint16_t *rowFirst_, *rowEnd_;
};

// A band part into the band's planes, 8 pixels a step: each pixel's colour
// v = (P K + Q M) / 2^16 in 1/128 levels, at most 255 levels, rounded to levels, faded by
// the alpha (x = v a: (x + x / 256 + 128) / 256 is x / 255 rounded), at 4 samples
// (Quarters) times the samples covered (P's low bits plus one, see SplatStamp), and
// added with saturation. A step may reach past a row's last pixel in the extent: the
// pixels outside the spark's extent add nothing (see SplatSpark), and past the stamp's
// last column lie zeros. A stamp of one block (OneBlock, see SplatStamp) takes its whole
// block in every row of the extent: its rows are one step of 16 whatever they hold, and
// the band's margins hold a block that reaches past the layer's edges.
template <bool OneBlock, bool Quarters>
void splatPartSse2(uint16_t* sums, size_t plane, size_t pitch, const BandPart& part) {
    const SplatSpark& s = *part.spark;
    const SplatStamp& st = *s.stamp;
    const __m128i k[3] = {_mm_set1_epi16(short(s.k[0])), _mm_set1_epi16(short(s.k[1])), _mm_set1_epi16(short(s.k[2]))};
    const __m128i m[3] = {_mm_set1_epi16(short(s.m[0])), _mm_set1_epi16(short(s.m[1])), _mm_set1_epi16(short(s.m[2]))};
    const __m128i half = _mm_set1_epi16(64), top = _mm_set1_epi16(255 * 128);
    const __m128i alpha = _mm_set1_epi16(short(s.alpha)), round255 = _mm_set1_epi16(128);
    const __m128i countBits = _mm_set1_epi16(kSplatCountMask), one = _mm_set1_epi16(1);
    const bool fades = s.alpha != 255;
    const size_t qOffset = st.qOffset();
    const PartRows rows(part, sums, pitch);
    for (int j = rows.j0; j < rows.j1; ++j) {
        uint16_t* out;
        const uint16_t* p;
        int columns;
        if (!rows.span<OneBlock>(j, &out, &p, &columns)) continue;
        const uint16_t* q = p + qOffset;
        for (int i = 0; i < columns; i += 8) {
            __m128i pv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i qv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
            __m128i count = one;
            if (Quarters) {
                count = _mm_add_epi16(_mm_and_si128(pv, countBits), one);
                pv = _mm_andnot_si128(countBits, pv);
            }
            for (int c = 0; c < 3; ++c) {
                __m128i v = _mm_adds_epu16(_mm_mulhi_epu16(pv, k[c]), _mm_mulhi_epu16(qv, m[c]));
                // Unsigned minimum through saturation: v - (v - top) is min(v, top).
                v = _mm_subs_epu16(v, _mm_subs_epu16(v, top));
                v = _mm_srli_epi16(_mm_adds_epu16(v, half), 7);
                if (fades) {
                    const __m128i x = _mm_mullo_epi16(v, alpha);
                    v = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), round255), 8);
                }
                if (Quarters) v = _mm_mullo_epi16(v, count);
                __m128i* at = reinterpret_cast<__m128i*>(out + size_t(c) * plane + i);
                _mm_storeu_si128(at, _mm_adds_epu16(_mm_loadu_si128(at), v));
            }
        }
    }
}

// A spark's terms for the AVX2 kernel, each in every 16-bit lane.
struct Avx2Terms {
    __m256i k[3], m[3], half, top, alpha, round255, factor, countBits, one;
};

template <bool Clamp, int Fade>
__attribute__((target("avx2"), always_inline)) inline __m256i avx2Level(__m256i pv, __m256i qv, __m256i k, __m256i m,
                                                                      const Avx2Terms& t) {
    __m256i v = _mm256_adds_epu16(_mm256_mulhi_epu16(pv, k), _mm256_mulhi_epu16(qv, m));
    if (Clamp) v = _mm256_min_epu16(v, t.top);
    v = _mm256_srli_epi16(_mm256_adds_epu16(v, t.half), 7);
    if (Fade == 1) {
        v = _mm256_mulhrs_epi16(v, t.factor);
    } else if (Fade == 2) {
        const __m256i x = _mm256_mullo_epi16(v, t.alpha);
        v = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), t.round255), 8);
    }
    return v;
}

// 16 pixels of one row: P at p, Q at q, into the three planes from out.
template <bool Clamp, int Fade, bool Quarters>
__attribute__((target("avx2"), always_inline)) inline void avx2Step(const uint16_t* p, const uint16_t* q, uint16_t* out,
                                                                  size_t plane, const Avx2Terms& t) {
    __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i qv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    __m256i count = t.one;
    if (Quarters) {
        count = _mm256_add_epi16(_mm256_and_si256(pv, t.countBits), t.one);
        pv = _mm256_andnot_si256(t.countBits, pv);
    }
    __m256i v0 = avx2Level<Clamp, Fade>(pv, qv, t.k[0], t.m[0], t);
    __m256i v1 = avx2Level<Clamp, Fade>(pv, qv, t.k[1], t.m[1], t);
    __m256i v2 = avx2Level<Clamp, Fade>(pv, qv, t.k[2], t.m[2], t);
    if (Quarters) {
        v0 = _mm256_mullo_epi16(v0, count);
        v1 = _mm256_mullo_epi16(v1, count);
        v2 = _mm256_mullo_epi16(v2, count);
    }
    __m256i* a0 = reinterpret_cast<__m256i*>(out);
    __m256i* a1 = reinterpret_cast<__m256i*>(out + plane);
    __m256i* a2 = reinterpret_cast<__m256i*>(out + 2 * plane);
    _mm256_storeu_si256(a0, _mm256_adds_epu16(_mm256_loadu_si256(a0), v0));
    _mm256_storeu_si256(a1, _mm256_adds_epu16(_mm256_loadu_si256(a1), v1));
    _mm256_storeu_si256(a2, _mm256_adds_epu16(_mm256_loadu_si256(a2), v2));
}

// The same as splatPartSse2, 16 pixels a step, for a spark whose pixels may pass 255
// levels (Clamp) and whose alpha fades it in one rounding multiply (Fade 1), in the 8-bit
// arithmetic of the SSE2 form (Fade 2) or not at all (Fade 0).
template <bool Clamp, int Fade, bool OneBlock, bool Quarters>
__attribute__((target("avx2"))) void splatPartAvx2(uint16_t* sums, size_t plane, size_t pitch,
                                                   const BandPart& part) {
    const SplatSpark& s = *part.spark;
    const SplatStamp& st = *s.stamp;
    Avx2Terms t;
    for (int c = 0; c < 3; ++c) {
        t.k[c] = _mm256_set1_epi16(short(s.k[c]));
        t.m[c] = _mm256_set1_epi16(short(s.m[c]));
    }
    t.half = _mm256_set1_epi16(64);
    t.top = _mm256_set1_epi16(255 * 128);
    t.alpha = _mm256_set1_epi16(short(s.alpha));
    t.round255 = _mm256_set1_epi16(128);
    t.factor = _mm256_set1_epi16(s.fadeFactor);
    t.countBits = _mm256_set1_epi16(kSplatCountMask);
    t.one = _mm256_set1_epi16(1);
    const size_t qOffset = st.qOffset();
    const PartRows rows(part, sums, pitch);
    if (OneBlock) {
        // Whole blocks, row after row: what span<true> gives, with the pointers held here
        // (the stores may alias anything, which would reload them from the stamp each row).
        if (rows.j1 <= rows.j0) return;
        uint16_t* out;
        const uint16_t* p;
        int columns;
        rows.span<true>(rows.j0, &out, &p, &columns);
        const size_t stride = size_t(st.stride);
        for (int j = rows.j0; j < rows.j1; ++j, p += stride, out += pitch)
            avx2Step<Clamp, Fade, Quarters>(p, p + qOffset, out, plane, t);
        return;
    }
    for (int j = rows.j0; j < rows.j1; ++j) {
        uint16_t* out;
        const uint16_t* p;
        int columns;
        if (!rows.span<false>(j, &out, &p, &columns)) continue;
        for (int i = 0; i < columns; i += 16) avx2Step<Clamp, Fade, Quarters>(p + i, p + qOffset + i, out + i, plane, t);
    }
}

using SplatPart = void (*)(uint16_t*, size_t, size_t, const BandPart&);

// Whether a pixel of the spark's stamp may pass 255 levels: the kernel's sum of the two
// products at the stamp's largest P and Q.
bool sparkClamps(const SplatSpark& spark) {
    int most = 0;
    for (int c = 0; c < 3; ++c)
        most = std::max(most, int((uint32_t(spark.stamp->pMax) * spark.k[c]) >> 16) +
                                  int((uint32_t(spark.stamp->qMax) * spark.m[c]) >> 16));
    return most > 255 * 128;
}

template <bool Quarters>
SplatPart avx2PartFor(const SplatSpark& s) {
    const int fade = s.alpha == 255 ? 0 : s.fadeFactor ? 1 : 2;
    static const SplatPart parts[2][2][3] = {
        {{splatPartAvx2<false, 0, false, Quarters>, splatPartAvx2<false, 1, false, Quarters>,
          splatPartAvx2<false, 2, false, Quarters>},
         {splatPartAvx2<true, 0, false, Quarters>, splatPartAvx2<true, 1, false, Quarters>,
          splatPartAvx2<true, 2, false, Quarters>}},
        {{splatPartAvx2<false, 0, true, Quarters>, splatPartAvx2<false, 1, true, Quarters>,
          splatPartAvx2<false, 2, true, Quarters>},
         {splatPartAvx2<true, 0, true, Quarters>, splatPartAvx2<true, 1, true, Quarters>,
          splatPartAvx2<true, 2, true, Quarters>}}};
    return parts[s.stamp->oneBlock() ? 1 : 0][sparkClamps(s) ? 1 : 0][fade];
}

// Sums of one row (three planes `plane` apart; in levels, or in quarter levels where
// Quarters) to BGRA8 pixels [x0, x1), alpha 0: the GL's own order on little-endian
// machines, uploaded without a swizzle. Onto (the frame's pixels read back into `out`):
// added to them with saturation, as the GL's (ONE, ONE) blend adds the layer, and their
// alpha kept.
template <bool Onto, bool Quarters>
void resolveRow(const uint16_t* sums, size_t plane, uint8_t* out, int x0, int x1) {
    const __m128i zero = _mm_setzero_si128();
    // Quarter levels, at most 4 * 255, to levels rounded (the resolve's average).
    auto levels = [](__m128i v) {
        if (!Quarters) return v;
        v = _mm_subs_epu16(v, _mm_subs_epu16(v, _mm_set1_epi16(4 * 255)));
        return _mm_srli_epi16(_mm_add_epi16(v, _mm_set1_epi16(2)), 2);
    };
    int x = x0;
    for (; x + 8 <= x1; x += 8) {
        const __m128i r = levels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + x)));
        const __m128i g = levels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + plane + x)));
        const __m128i b = levels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 * plane + x)));
        auto bytes = [&](__m128i v) {
            // Unsigned saturation of 16-bit values to 255 before the signed pack.
            return _mm_packus_epi16(_mm_subs_epu16(v, _mm_subs_epu16(v, _mm_set1_epi16(255))), zero);
        };
        const __m128i bg = _mm_unpacklo_epi8(bytes(b), bytes(g));  // B G pairs
        const __m128i ra = _mm_unpacklo_epi8(bytes(r), zero);      // R 0 pairs
        __m128i* at = reinterpret_cast<__m128i*>(out + size_t(x) * 4);
        __m128i low = _mm_unpacklo_epi16(bg, ra), high = _mm_unpackhi_epi16(bg, ra);
        if (Onto) {
            low = _mm_adds_epu8(low, _mm_loadu_si128(at));
            high = _mm_adds_epu8(high, _mm_loadu_si128(at + 1));
        }
        _mm_storeu_si128(at, low);
        _mm_storeu_si128(at + 1, high);
    }
    for (; x < x1; ++x) {
        auto level = [](unsigned v) { return Quarters ? (std::min(v, 4u * 255u) + 2) / 4 : v; };
        const unsigned v[3] = {level(sums[x]), level(sums[plane + x]), level(sums[2 * plane + x])};
        uint8_t* pixel = out + size_t(x) * 4;
        for (int c = 0; c < 3; ++c) {
            const unsigned sum = std::min(255u, v[2 - c]) + (Onto ? pixel[c] : 0u);
            pixel[c] = uint8_t(std::min(255u, sum));
        }
        if (!Onto) pixel[3] = 0;
    }
}

struct FadeTables {
    int16_t factor[256];
    int16_t firstLevel[256];  // the least level that fades to 1 or more; 256 where none does
};

const FadeTables& fadeTables() {
    static const FadeTables tables = [] {
        FadeTables t{};
        for (int a = 0; a < 256; ++a) {
            // Each level v bounds f to an interval: v f + 2^14 within [fade, fade + 1) 2^15.
            long low = 0, high = 32767;
            for (int v = 1; v < 256; ++v) {
                const long fade = splatFadeLevel(v, a);
                low = std::max(low, (fade * 32768 - 16384 + v - 1) / v);
                high = std::min(high, ((fade + 1) * 32768 - 16385) / v);
            }
            t.factor[a] = low <= high ? int16_t(low) : 0;
            t.firstLevel[a] = 256;
            for (int v = 255; v >= 1; --v)
                if (splatFadeLevel(v, a) >= 1) t.firstLevel[a] = int16_t(v);
        }
        return t;
    }();
    return tables;
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
}  // namespace

int16_t splatFadeFactor(int alpha) { return alpha >= 0 && alpha < 255 ? fadeTables().factor[alpha] : 0; }

int splatExtent(const uint16_t k[3], const uint16_t m[3], int alpha) {
    const int least = alpha >= 255 ? 1 : alpha <= 0 ? 256 : fadeTables().firstLevel[alpha];
    if (least > 255) return -1;
    // A level v needs (P k + Q m) / 2^16 >= 128 v - 64 in some channel, and P k + Q m is
    // at most (P + Q) max(k, m).
    uint32_t most = 0;
    for (int c = 0; c < 3; ++c) most = std::max(most, uint32_t(std::max(k[c], m[c])));
    if (most == 0) return -1;
    // The largest threshold T at most ceil(needed / most), that is with (T - 1) most < needed:
    // the thresholds rise, so that holds for the first ones, and counting them takes no
    // branch to mispredict.
    const uint64_t needed = (uint64_t(least) * 128 - 64) << 16;
    int extent = 0;
    for (int e = 1; e < kSplatExtents; ++e) extent += uint64_t(kSplatExtentThresholds[e] - 1) * most < needed;
    return extent;
}

SplatStamps::SplatStamps(GLuint texture) {
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
    texture_ = texture;
    // The GL samples the stamps through the texture's own filter (splat_texels.h): a
    // texture of equal texels filtered otherwise has stamps of its own.
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter_[0]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter_[1]);
    if (GLEW_EXT_texture_filter_anisotropic) {
        GLfloat anisotropy = 1.0f;
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        filter_[2] = GLint(anisotropy * 16.0f);
    }
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

SplatStamps::Taps SplatStamps::taps(int level, float coordinate) const {
    const int side = side_ >> level;
    const float u = coordinate * float(side) - 0.5f;
    const float fu = floorf(u);
    auto wrap = [&](int x) { return wrap_ == GL_REPEAT ? x & (side - 1) : x < 0 ? 0 : x >= side ? side - 1 : x; };
    const int x0 = int(fu);
    return {wrap(x0), wrap(x0 + 1), u - fu};
}

void SplatStamps::sample(int level, const Taps& across, const Taps& up, float* red, float* alpha) const {
    const size_t side = size_t(side_ >> level);
    const uint8_t* texels = levels_[size_t(level)].data();
    const uint8_t* t00 = texels + (size_t(up.first) * side + size_t(across.first)) * 4;
    const uint8_t* t10 = texels + (size_t(up.first) * side + size_t(across.second)) * 4;
    const uint8_t* t01 = texels + (size_t(up.second) * side + size_t(across.first)) * 4;
    const uint8_t* t11 = texels + (size_t(up.second) * side + size_t(across.second)) * 4;
    const float a = across.weight, b = up.weight;
    auto channel = [&](int c) {
        const float bottom = float(t00[c]) + (float(t10[c]) - float(t00[c])) * a;
        const float topRow = float(t01[c]) + (float(t11[c]) - float(t01[c])) * a;
        return (bottom + (topRow - bottom) * b) * (1.0f / 255.0f);
    };
    *red = channel(0);
    *alpha = channel(3);
}

namespace {
// What key() was made from.
struct StampKey {
    int edgeQuarters, px, py;
    bool fourSamples;
};
StampKey decodeStampKey(int key) {
    const int phases = key >> 1;
    return {phases / (kSplatPhases * kSplatPhases), phases % kSplatPhases, (phases / kSplatPhases) % kSplatPhases,
            (key & 1) != 0};
}

// The square of a stamp's edge and phases, in pixels, and the stamp's size.
StampSquare stampSquare(int edgeQuarters, int px, int py) {
    StampSquare s;
    s.edge = float(edgeQuarters) * 0.25f;
    s.fx = float(px) / float(kSplatPhases);
    s.fy = float(py) / float(kSplatPhases);
    SplatStamps::size(edgeQuarters, px, py, &s.width, &s.height);
    return s;
}
}  // namespace

std::vector<float> SplatStamps::modelTexels(const StampSquare& square) const {
    const float edge = square.edge, fx = square.fx, fy = square.fy;
    const int width = square.width, height = square.height;
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
    // The square's texture coordinate is affine in the pixel: each column's and each
    // row's texels and weights on both levels, found once.
    std::vector<Taps> columns(size_t(width) * 2), rows(size_t(height) * 2);
    for (int k = 0; k < width; ++k) {
        const float s = (float(k) + 0.5f - fx) / edge;
        columns[size_t(k) * 2] = taps(level0, s);
        columns[size_t(k) * 2 + 1] = taps(level1, s);
    }
    for (int j = 0; j < height; ++j) {
        const float t = (float(j) + 0.5f - fy) / edge;
        rows[size_t(j) * 2] = taps(level0, t);
        rows[size_t(j) * 2 + 1] = taps(level1, t);
    }
    std::vector<float> texels(size_t(width) * size_t(height) * 2);
    for (int j = 0; j < height; ++j)
        for (int k = 0; k < width; ++k) {
            const Taps* column = &columns[size_t(k) * 2];
            const Taps* row = &rows[size_t(j) * 2];
            float red, alpha;
            sample(level0, column[0], row[0], &red, &alpha);
            if (blend > 0.0f) {
                float red1, alpha1;
                sample(level1, column[1], row[1], &red1, &alpha1);
                red = red + (red1 - red) * blend;
                alpha = alpha + (alpha1 - alpha) * blend;
            }
            texels[(size_t(j) * size_t(width) + size_t(k)) * 2] = red;
            texels[(size_t(j) * size_t(width) + size_t(k)) * 2 + 1] = alpha;
        }
    return texels;
}

void SplatStamps::build(SplatStamp* stamp, int edgeQuarters, int px, int py, bool fourSamples,
                        const float* texels) const {
    const StampSquare square = stampSquare(edgeQuarters, px, py);
    const float edge = square.edge, fx = square.fx, fy = square.fy;
    stamp->width = square.width;
    stamp->height = square.height;
    stamp->stride = stamp->width <= 16 ? 32 : 2 * (((stamp->width + 15) & ~15) + 16);
    stamp->pq.assign(size_t(stamp->stride) * stamp->height, 0);
    stamp->rowFirst.assign(size_t(stamp->height) * kSplatExtents, 0);
    stamp->rowEnd.assign(size_t(stamp->height) * kSplatExtents, 0);
    std::vector<float> modelled;
    if (!texels) {
        modelled = modelTexels(square);
        texels = modelled.data();
    }
    // The samples inside the square, as bits: a column's by x and a row's by y (at 1
    // sample all four bits stand for the centre).
    auto inside = [&](float at, float from) { return at >= from && at < from + edge; };
    std::vector<uint8_t> columnSamples(size_t(stamp->width)), rowSamples(size_t(stamp->height));
    for (int k = 0; k < stamp->width; ++k)
        for (int n = 0; n < 4; ++n)
            if (inside(float(k) + (fourSamples ? kSamples4[n][0] : 0.5f), fx)) columnSamples[size_t(k)] |= uint8_t(1 << n);
    for (int j = 0; j < stamp->height; ++j)
        for (int n = 0; n < 4; ++n)
            if (inside(float(j) + (fourSamples ? kSamples4[n][1] : 0.5f), fy)) rowSamples[size_t(j)] |= uint8_t(1 << n);
    // lrintf's rounding without the library call.
    auto roundToInt = [](float v) { return _mm_cvtss_si32(_mm_set_ss(v)); };
    for (int j = 0; j < stamp->height; ++j)
        for (int k = 0; k < stamp->width; ++k) {
            const int covered = __builtin_popcount(columnSamples[size_t(k)] & rowSamples[size_t(j)]);
            if (!covered) continue;
            // Shaded at the pixel's centre, as the GL shades a multisampled pixel.
            const float red = texels[(size_t(j) * size_t(stamp->width) + size_t(k)) * 2];
            const float alpha = texels[(size_t(j) * size_t(stamp->width) + size_t(k)) * 2 + 1];
            const float core = alpha * alpha;
            const float w = 0.6f * core * core;
            const size_t i = stamp->at(j, k);
            // At 4 samples the GL writes the fragment's colour, rounded, into each sample
            // covered, and the resolve averages them: P and Q are the whole fragment's,
            // and P's low bits hold the count of samples covered less one.
            const float share = (fourSamples ? 1.0f : float(covered) * 0.25f) * 65535.0f;
            int pValue = roundToInt(red * (1.0f - w) * share);
            if (fourSamples) pValue = (pValue & ~kSplatCountMask) | (covered - 1);
            stamp->pq[i] = uint16_t(pValue);
            stamp->pq[i + stamp->qOffset()] = uint16_t(roundToInt(red * w * share));
            stamp->pMax = std::max(stamp->pMax, stamp->pq[i]);
            stamp->qMax = std::max(stamp->qMax, stamp->pq[i + stamp->qOffset()]);
        }
    // An extent's rows run from its first row with a pixel to its last.
    for (int e = 0; e < kSplatExtents; ++e) {
        stamp->extentRows[e][0] = uint16_t(stamp->height);
        stamp->extentRows[e][1] = 0;
    }
    // Each row's extents: a pixel before the first reaching one threshold cannot reach
    // a higher one, so each threshold's scan goes on from the one before.
    auto light = [&](int j, int k) { return int(stamp->p(j, k)) + stamp->q(j, k); };
    for (int j = 0; j < stamp->height; ++j) {
        int first = 0, end = stamp->width;
        for (int e = 0; e < kSplatExtents; ++e) {
            const int threshold = kSplatExtentThresholds[e];
            while (first < end && light(j, first) < threshold) ++first;
            while (end > first && light(j, end - 1) < threshold) --end;
            stamp->rowFirst[size_t(e) * stamp->height + j] = uint16_t(end > first ? first : 0);
            stamp->rowEnd[size_t(e) * stamp->height + j] = uint16_t(end > first ? end : 0);
            if (end > first) {
                stamp->extentRows[e][0] = std::min(stamp->extentRows[e][0], uint16_t(j));
                stamp->extentRows[e][1] = uint16_t(j + 1);
            }
        }
    }
}

void SplatStamps::size(int edgeQuarters, int px, int py, int* width, int* height) {
    // ceil(phase / 8 + edge / 4) pixels, in eighths.
    static_assert(kSplatPhases == 8, "the stamp's size is counted in eighths of a pixel");
    *width = std::max(1, (px + 2 * edgeQuarters + 7) >> 3);
    *height = std::max(1, (py + 2 * edgeQuarters + 7) >> 3);
}

int SplatStamps::key(int edgeQuarters, int px, int py, bool fourSamples) {
    constexpr int kPhasePairs = kSplatPhases * kSplatPhases;
    return ((edgeQuarters * kPhasePairs + py * kSplatPhases + px) << 1) | (fourSamples ? 1 : 0);
}

namespace {
// What a cached stamp holds: its P and Q, its row extents and itself.
size_t stampBytes(const SplatStamp& s) {
    return (s.pq.size() + s.rowFirst.size() + s.rowEnd.size()) * sizeof(uint16_t) + sizeof(SplatStamp);
}
}  // namespace

void SplatStamps::keep(int key, SplatStamp* stamp) {
    constexpr size_t kKeys = size_t(kMaxEdgeQuarters + 1) * kSplatPhases * kSplatPhases * 2;
    if (cache_.empty()) cache_.assign(kKeys, nullptr);
    cache_[size_t(key)] = stamp;
    cachedBytes_ += stampBytes(*stamp);
}

const SplatStamp* SplatStamps::stamp(int edgeQuarters, int px, int py, bool fourSamples) {
    const int k = key(edgeQuarters, px, py, fourSamples);
    if (const SplatStamp* s = cached(k)) {
        s->markUsed();
        return s;
    }
    SplatStamp* made = new SplatStamp;
    build(made, edgeQuarters, px, py, fourSamples, nullptr);
    keep(k, made);
    made->markUsed();
    return made;
}

void SplatStamps::buildAll(const std::vector<int>& keys, bool sampledByTheGl) {
    // The GL's texels a share of the keys at a time: those of every stamp warmed at
    // 1920x1080 would take 150 MB at once.
    constexpr size_t kKeysAtOnce = 2048;
    for (size_t first = 0; first < keys.size(); first += kKeysAtOnce) {
        const std::vector<int> share(keys.begin() + long(first),
                                     keys.begin() + long(std::min(keys.size(), first + kKeysAtOnce)));
        std::vector<SplatStamp*> made(share.size(), nullptr);
        std::vector<std::vector<float>> texels;
        if (sampledByTheGl) glTexels(share, &texels);
        auto work = [&](int thread, int threads) {
            for (size_t i = size_t(thread); i < share.size(); i += size_t(threads)) {
                const StampKey k = decodeStampKey(share[i]);
                made[i] = new SplatStamp;
                build(made[i], k.edgeQuarters, k.px, k.py, k.fourSamples, texels.empty() ? nullptr : texels[i].data());
            }
        };
        // A thread costs more than a stamp or two.
        if (share.size() < 8)
            work(0, 1);
        else
            onEveryCore(work);
        for (size_t i = 0; i < share.size(); ++i) keep(share[i], made[i]);
    }
}

void SplatStamps::glTexels(const std::vector<int>& keys, std::vector<std::vector<float>>* texels) const {
    texels->clear();
    // A texture deleted since (its stamps outlive it) leaves the model's texels.
    if (!texture_ || glSamplingFailed_ || !glIsTexture(texture_)) return;
    std::vector<StampSquare> squares;
    for (int key : keys) {
        const StampKey k = decodeStampKey(key);
        squares.push_back(stampSquare(k.edgeQuarters, k.px, k.py));
    }
    if (!renderStampTexels(texture_, squares, texels)) {
        glSamplingFailed_ = true;
        logLine("particles: the GL cannot sample the stamps; they model its trilinear filter\n");
    }
}

void SplatStamps::trim() {
    if (cachedBytes_ <= cacheBudget_) return;
    constexpr int kPhasePairs = kSplatPhases * kSplatPhases;
    cachedBytes_ = 0;
    for (size_t key = 0; key < cache_.size(); ++key) {
        SplatStamp*& s = cache_[key];
        if (!s) continue;
        const bool used = __atomic_exchange_n(&s->used, false, __ATOMIC_RELAXED);
        if (used || int(key >> 1) / kPhasePairs <= warmedEdges_[key & 1]) {
            cachedBytes_ += stampBytes(*s);
            continue;
        }
        delete s;
        s = nullptr;
    }
}

void SplatStamps::warm(int maxEdgeQuarters, bool fourSamples) {
    maxEdgeQuarters = std::min(maxEdgeQuarters, kMaxEdgeQuarters);
    int& warmed = warmedEdges_[fourSamples ? 1 : 0];
    if (warmed >= maxEdgeQuarters) return;  // kept through trim()
    std::vector<int> missing;
    for (int edge = 1; edge <= maxEdgeQuarters; ++edge)
        for (int py = 0; py < kSplatPhases; ++py)
            for (int px = 0; px < kSplatPhases; ++px) {
                const int k = key(edge, px, py, fourSamples);
                if (!cached(k)) missing.push_back(k);
            }
    buildAll(missing, true);
    warmed = maxEdgeQuarters;
}

namespace {
// One set of stamps per particle texture (textures of equal texels and filtering share
// one), kept for the process's life.
std::vector<SplatStamps*> g_stamps;
std::vector<std::pair<GLuint, SplatStamps*>> g_stampsOfTexture;
std::vector<GLuint> g_notedTextures;

SplatStamps* stampsFor(GLuint texture) {
    for (const auto& [name, stamps] : g_stampsOfTexture)
        if (name == texture) return stamps;
    SplatStamps* made = new SplatStamps(texture);
    SplatStamps* chosen = made;
    for (SplatStamps* s : g_stamps)
        if (s->sameTexels(*made)) chosen = s;
    if (chosen == made)
        g_stamps.push_back(made);
    else
        delete made;
    g_stampsOfTexture.emplace_back(texture, chosen);
    return chosen;
}

// The frame's layer: the sparks of every batch drawn since the last composite.
class SplatLayer {
public:
    // Opens the layer for a batch drawn under `viewport` into a frame of 4 samples or
    // not: a layer still open under another viewport or sample count is composited first.
    void open(const int viewport[4], bool fourSamples);
    // Sparks of `owner` that lie within `box` (x0, y0, x1, y1 in the layer's pixels,
    // unclipped). They are read where they lie, not copied: the owner keeps them as they
    // are until the composite (see holds).
    void add(const void* owner, const std::vector<SplatSpark>& sparks, const int box[4]);
    bool holds(const void* owner) const;
    // Drops the owner's sparks unsplatted (a batch destroyed before the composite).
    void forget(const void* owner);
    void composite();
    bool empty() const { return spans_.empty(); }

private:
    void bin();
    // Splats every band on every core; the GL's thread uploads the rows finished so far
    // between its bands, while the others splat theirs.
    void splatBands(bool glThread);
    void splatBand(int band, std::vector<uint16_t>* sums);
    void uploadFinishedBands();
    void makeTexture();
    SplatComposite way() const;
    void readFrame();
    void blitOntoFrame();
    void addQuad();

    struct Span {
        const void* owner;
        const SplatSpark* first;
        size_t count;
    };
    std::vector<Span> spans_;  // the sparks in the order they were added
    size_t sparkCount_ = 0;
    int viewport_[4] = {0, 0, 0, 0};
    bool quarters_ = false;  // sums in quarter levels, of stamps that count their samples
    int width_ = 0, height_ = 0, pitch_ = 0;  // pitch: values per row of a band's plane
    // The layer (BGRA8) and its bounding box of touched pixels [x0, x1) x [y0, y1); the
    // sparks reaching each band of rows, by index in order:
    // bandItems_[bandStart_[b] .. bandStart_[b + 1]).
    int boxX0_ = 0, boxY0_ = 0, boxX1_ = 0, boxY1_ = 0;
    std::vector<uint8_t> rgba_;
    std::vector<int> bandStart_;
    std::vector<const SplatSpark*> bandItems_;
    std::vector<int> binNext_;    // bin's counts, then next places, per thread and band
    std::atomic<int> nextBand_{0};  // the next band for a thread to splat
    std::unique_ptr<std::atomic<bool>[]> bandDone_;  // per band: its rows are resolved
    size_t bandDoneSize_ = 0;
    int uploadedBands_ = 0;  // the bands before it are uploaded
    GLuint texture_ = 0;
    int textureWidth_ = 0, textureHeight_ = 0;
    // The texture's framebuffer, the blit's source (0 where it could not be made).
    GLuint framebuffer_ = 0;
    // How this composite reaches the frame: by the quad, or by a blit of rgba_ holding
    // the sums added onto the frame's pixels read back, or onto the clear colour.
    SplatComposite way_ = SplatComposite::Quad;
};

// What the frame holds since its last clear, while nothing but the layer has been drawn
// into it: the clear colour as BGRA8, and the framebuffer and buffer cleared.
struct ClearedFrame {
    bool holdsOnlyTheClear = false;
    GLint drawFramebuffer = 0, drawBuffer = GL_BACK;
    uint8_t bgra[4] = {0, 0, 0, 0};
};
ClearedFrame g_cleared;
SplatComposite g_lastComposite = SplatComposite::None;

// Wide sparks' quads drawn while the frame holds only its clear are held back and drawn
// right after the layer reaches the frame (the blend adds, so the order does not change
// the pixels): the layer is then copied over the clear instead of added onto pixels read
// back, or by a quad into a multisampled frame. Each draw keeps what a billboard's pixels
// depend on; a draw under any other state (scissor, stencil, alpha test, culling, a
// partial colour mask) is not held.
struct HeldQuads {
    ShaderProgram* program;
    GLuint texture;
    GLfloat modelview[16], projection[16];
    GLint viewport[4], blendSrc[2], blendDst[2], blendEquation[2], depthFunc;
    GLboolean blended, depthTested, depthMask, multisampled;
    std::vector<BillboardVertex> vertices;       // 4 per quad
    std::vector<std::pair<int, float>> runs;     // first quad and "size"
};
std::vector<HeldQuads> g_heldQuads;

bool billboardStateCanBeHeld() {
    GLboolean mask[4] = {GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    return mask[0] && mask[1] && mask[2] && mask[3] && !glIsEnabled(GL_SCISSOR_TEST) &&
           !glIsEnabled(GL_STENCIL_TEST) && !glIsEnabled(GL_ALPHA_TEST) && !glIsEnabled(GL_CULL_FACE);
}

HeldQuads& holdQuads(ShaderProgram* program) {
    g_heldQuads.emplace_back();
    HeldQuads& h = g_heldQuads.back();
    h.program = program;
    GLint texture = 0, activeTexture = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glActiveTexture(GLenum(activeTexture));
    h.texture = GLuint(texture);
    glGetFloatv(GL_MODELVIEW_MATRIX, h.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, h.projection);
    glGetIntegerv(GL_VIEWPORT, h.viewport);
    glGetIntegerv(GL_BLEND_SRC_RGB, &h.blendSrc[0]);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &h.blendSrc[1]);
    glGetIntegerv(GL_BLEND_DST_RGB, &h.blendDst[0]);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &h.blendDst[1]);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &h.blendEquation[0]);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &h.blendEquation[1]);
    glGetIntegerv(GL_DEPTH_FUNC, &h.depthFunc);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &h.depthMask);
    h.blended = glIsEnabled(GL_BLEND);
    h.depthTested = glIsEnabled(GL_DEPTH_TEST);
    h.multisampled = glIsEnabled(GL_MULTISAMPLE);
    return h;
}

void setCapability(GLenum capability, GLboolean on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

// Draws the held quads in the order they were drawn, each under its own state, and
// leaves the GL state, the billboard programs' "right", "up" and "size" included, as it
// found it.
void drawHeldQuads() {
    if (g_heldQuads.empty()) return;
    static const char* const kUniforms[] = {"right", "up", "size"};
    struct Saved {
        GLhandleARB program;
        GLint location[3];
        GLfloat value[3][3];
    };
    std::vector<Saved> saved;
    for (const HeldQuads& h : g_heldQuads) {
        if (std::any_of(saved.begin(), saved.end(), [&](const Saved& s) { return s.program == h.program->program; }))
            continue;
        Saved s{h.program->program, {}, {}};
        for (int u = 0; u < 3; ++u) {
            s.location[u] = glGetUniformLocationARB(s.program, kUniforms[u]);
            if (s.location[u] >= 0) glGetUniformfvARB(s.program, s.location[u], s.value[u]);
        }
        saved.push_back(s);
    }
    GLint program = 0, activeTexture = GL_TEXTURE0, texture = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_VIEWPORT_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (const HeldQuads& h : g_heldQuads) {
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(h.projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(h.modelview);
        glViewport(h.viewport[0], h.viewport[1], h.viewport[2], h.viewport[3]);
        setCapability(GL_BLEND, h.blended);
        setCapability(GL_DEPTH_TEST, h.depthTested);
        setCapability(GL_MULTISAMPLE, h.multisampled);
        glBlendFuncSeparate(GLenum(h.blendSrc[0]), GLenum(h.blendDst[0]), GLenum(h.blendSrc[1]), GLenum(h.blendDst[1]));
        glBlendEquationSeparate(GLenum(h.blendEquation[0]), GLenum(h.blendEquation[1]));
        glDepthFunc(GLenum(h.depthFunc));
        glDepthMask(h.depthMask);
        bindBillboardProgram(h.program, h.texture);
        const GLuint sampler = bindParticleSampler();  // the quads face the screen, as the splats do
        for (size_t run = 0; run < h.runs.size(); ++run) {
            const int first = h.runs[run].first;
            const int end = run + 1 < h.runs.size() ? h.runs[run + 1].first : int(h.vertices.size() / 4);
            h.program->setUniform1f("size", h.runs[run].second);
            BillboardBatch::drawBillboards(h.vertices.data() + 4 * first, end - first);
        }
        if (glBindSampler) glBindSampler(0, sampler);
    }
    g_heldQuads.clear();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    for (const Saved& s : saved)
        if (s.location[0] >= 0 || s.location[1] >= 0 || s.location[2] >= 0) {
            glUseProgramObjectARB(s.program);
            if (s.location[0] >= 0) glUniform3fvARB(s.location[0], 1, s.value[0]);
            if (s.location[1] >= 0) glUniform3fvARB(s.location[1], 1, s.value[1]);
            if (s.location[2] >= 0) glUniform1fARB(s.location[2], s.value[2][0]);
        }
    glUseProgramObjectARB(GLhandleARB(program));
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    glActiveTexture(GLenum(activeTexture));
    noteSplatFrameDrawn();
}

SplatLayer g_layer;
}  // namespace

void compositeSplatLayer() { g_layer.composite(); }

void noteSplatFrameCleared() {
    GLfloat colour[4] = {0, 0, 0, 0};
    GLboolean mask[4] = {GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &g_cleared.drawFramebuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &g_cleared.drawBuffer);
    // Only a clear of the whole buffer to levels that need no rounding (0 and 1 among
    // them) is known here pixel for pixel.
    bool exact = !glIsEnabled(GL_SCISSOR_TEST) && mask[0] && mask[1] && mask[2] && mask[3];
    static const int kBgraOfRgba[4] = {2, 1, 0, 3};
    for (int c = 0; c < 4; ++c) {
        const float level = std::min(1.0f, std::max(0.0f, colour[c])) * 255.0f;
        exact = exact && level == std::floor(level);
        g_cleared.bgra[kBgraOfRgba[c]] = uint8_t(level);
    }
    g_cleared.holdsOnlyTheClear = exact;
}

void noteSplatFrameDrawn() { g_cleared.holdsOnlyTheClear = false; }

SplatComposite lastSplatComposite() { return g_lastComposite; }

void noteSplatTexture(GLuint texture) {
    if (std::find(g_notedTextures.begin(), g_notedTextures.end(), texture) == g_notedTextures.end())
        g_notedTextures.push_back(texture);
}

bool splatTexturesNoted() { return !g_notedTextures.empty(); }

void warmNotedSplatTextures() {
    GLint samples = 0, bound = 0, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SAMPLES, &samples);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // A spark's width grows with the frame's height: in a taller frame the same sparks
    // need wider stamps, and more bytes of them.
    const double scale = std::max(1.0, double(viewport[3]) / double(kWarmSplatHeight));
    const int edgeQuarters = std::min(kMaxEdgeQuarters, int(std::lround(kWarmSplatPixels * 4 * scale)));
    const size_t budget = size_t(double(SplatStamps::kStampCacheBytes) * scale * scale);
    const auto started = std::chrono::steady_clock::now();
    size_t before = 0, after = 0;
    for (SplatStamps* s : g_stamps) before += s->cachedBytes();
    for (GLuint texture : g_notedTextures) {
        SplatStamps* stamps = stampsFor(texture);
        stamps->setBudget(std::max(budget, stamps->budget()));
        stamps->warm(edgeQuarters, samples == 4);
    }
    for (SplatStamps* s : g_stamps) after += s->cachedBytes();
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    if (after != before)
        logLine("particles: stamps of sparks up to %i px made ahead, %.1f MiB in %.2f s\n", edgeQuarters / 4,
                double(after - before) / 1048576.0,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

SplatBatch::SplatBatch(int capacity) : quads_(capacity), capacity_(capacity) {
    inputs_.reserve(size_t(capacity > 0 ? capacity : 1));
}

SplatBatch::~SplatBatch() { g_layer.forget(this); }

void SplatBatch::start(GLuint texture, bool srcAlpha) {
    // The layer reads this batch's sparks where they lie: those of a draw before reach
    // the frame before they are replaced.
    if (g_layer.holds(this)) g_layer.composite();
    stamps_ = stampsFor(texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    srcAlpha_ = srcAlpha;
    inputs_.clear();
    runs_.clear();
    splats_ = 0;
    quads_.clear();
    quadRuns_.clear();
    quadSizes_.clear();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    samples_ = samples;
    glGetIntegerv(GL_VIEWPORT, viewport_);
    warmNotedSplatTextures();
    // The first batch of a layer: a software GL starts on what the frame holds so far (its
    // clear) on its own threads while this one prepares and splats, instead of at the upload.
    if (g_layer.empty()) glFlush();
}

void SplatBatch::begin(float size) {
    Run run;
    GLfloat projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, run.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * run.modelview[c * 4 + k];
            run.mvp[c * 4 + r] = sum;
        }
    // The square's half edge in pixels at w = 1: size along the camera's axes, through
    // the projection's scale, times half the viewport.
    run.halfX = projection[0] * size * float(viewport_[2]) * 0.5f;
    run.halfY = projection[5] * size * float(viewport_[3]) * 0.5f;
    runs_.push_back(run);
    quadSizes_.push_back(size);
}

void SplatBatch::add(float x, float y, float z, float r, float g, float b, float a) {
    if (!(a > 0.0f) || int(inputs_.size()) >= capacity_ || runs_.empty()) return;
    inputs_.push_back({x, y, z, r, g, b, a, int(runs_.size()) - 1});
}

namespace {
// lrintf's rounding (to nearest, ties to even) and floorf without the library calls,
// for values well within an int (a spark's corner lies near the viewport).
int roundToInt(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }
int floorToInt(float v) {
    const int i = int(v);
    return float(i) > v ? i - 1 : i;
}
float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }
// Eight floats at a time, for projectEight (lambdas would not take its target).
#define SPLAT_AVX2 __attribute__((target("avx2"), always_inline)) inline
SPLAT_AVX2 __m256 all8(float f) { return _mm256_set1_ps(f); }
SPLAT_AVX2 __m256 mul8(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
SPLAT_AVX2 __m256 add8(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
SPLAT_AVX2 __m256 sub8(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
// m times (x, y, z, 1), component c of the column-major 4x4 matrix, summed in the
// scalar code's order.
SPLAT_AVX2 __m256 transform8(const float* m, int c, __m256 x, __m256 y, __m256 z) {
    return add8(add8(add8(mul8(all8(m[c]), x), mul8(all8(m[4 + c]), y)), mul8(all8(m[8 + c]), z)), all8(m[12 + c]));
}
// clamp01 of eight: 0 for NaN, as the scalar form.
SPLAT_AVX2 __m256 clamp8(__m256 c) {
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 below1 = _mm256_blendv_ps(one, c, _mm256_cmp_ps(c, one, _CMP_LT_OQ));
    return _mm256_and_ps(below1, _mm256_cmp_ps(c, _mm256_setzero_ps(), _CMP_GT_OQ));
}
SPLAT_AVX2 __m256i floor8(__m256 v) {
    return _mm256_cvttps_epi32(_mm256_round_ps(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}
#undef SPLAT_AVX2
}  // namespace

// What an input projects to: nothing (outside the view or too faint), a quad, or a spark of
// edge `edge` (quarter pixels) whose square's lower-left corner is (left, bottom) on the
// grid of phases, with its colour terms.
struct SplatBatch::Projected {
    enum Fate : uint8_t { Culled, Quad, Splat } fate;
    int edge, left, bottom;
    uint16_t k[3], m[3], alpha;
};

SplatBatch::Projected SplatBatch::project(const Input& in) const {
    const Run& run = runs_[size_t(in.run)];
    const float width = float(viewport_[2]), height = float(viewport_[3]);
    Projected out;
    out.fate = Projected::Culled;
    const float x = in.x, y = in.y, z = in.z;
    float clip[4];
    for (int c = 0; c < 4; ++c) clip[c] = run.mvp[c] * x + run.mvp[4 + c] * y + run.mvp[8 + c] * z + run.mvp[12 + c];
    const float w = clip[3];
    if (!(clip[2] >= -w) || !(clip[2] <= w) || !(w > 0.0f)) return out;
    const float hx = run.halfX / w, hy = run.halfY / w;
    const float cx = (clip[0] / w + 1.0f) * 0.5f * width, cy = (clip[1] / w + 1.0f) * 0.5f * height;
    if (cx + hx <= 0.0f || cx - hx >= width || cy + hy <= 0.0f || cy - hy >= height) return out;
    const int edgeX = roundToInt(hx * 8.0f), edgeY = roundToInt(hy * 8.0f);
    if (edgeY > kMaxEdgeQuarters || edgeX != edgeY) {
        out.fate = Projected::Quad;
        return out;
    }
    // billboard.frag's colour: saturation doubled about the brightest channel, whitened
    // towards it in the core, times the depth cue of billboard.vert.
    const float c[3] = {clamp01(in.r), clamp01(in.g), clamp01(in.b)};
    const float peak = std::max(c[0], std::max(c[1], c[2]));
    const float* mv = run.modelview;
    float eye[3];
    for (int e = 0; e < 3; ++e) eye[e] = mv[e] * x + mv[4 + e] * y + mv[8 + e] * z + mv[12 + e];
    const float distance = sqrtf(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    const float glow = std::min(1.25f, std::max(0.5f, 1.4f - distance / 110.0f));
    for (int ch = 0; ch < 3; ++ch) {
        const float saturated = std::max(peak - (peak - c[ch]) * 2.0f, 0.0f);
        // 1/128 levels per unit of the stamp's 16-bit P and Q.
        out.k[ch] = uint16_t(roundToInt(128.0f * 255.0f * glow * ratio_[ch] * saturated));
        out.m[ch] = uint16_t(roundToInt(128.0f * 255.0f * glow * ratio_[ch] * peak));
    }
    // Under (SRC_ALPHA, ONE) the alpha, as the blender takes it (8 bits), fades the
    // colour after its clamp to 1: a glow above 1 in a faded spark adds no more.
    out.alpha = uint16_t(srcAlpha_ ? roundToInt(clamp01(in.a) * 255.0f) : 255);
    // The stamp is placed by its centre, the nearest phase to the spark's: half its edge
    // (edgeY quarters) is edgeY eighths. Placed by its corner, the centre would also move
    // by half the edge's rounding, and the sharp core of a small spark shows a shift of
    // 1/16 pixel (at 4 samples, 16 of the 72 finale frames at 1280x720 had under 99% of
    // their pixels within 8 levels of the quads', against 9 placed by the centre).
    const float phases = float(kSplatPhases);
    out.edge = edgeY;
    out.left = floorToInt(cx * phases + 0.5f) - edgeY;
    out.bottom = floorToInt(cy * phases + 0.5f) - edgeY;
    out.fate = Projected::Splat;
    return out;
}

// The same for the eight inputs from `first` on, all under one begin(), eight at a time:
// every operation is the scalar one's, in its order, so the results are the same bits.
__attribute__((target("avx2"))) void SplatBatch::projectEight(const Input* first, Projected out[8]) const {
    const Run& run = runs_[size_t(first->run)];
    // The eight inputs (eight 32-bit fields each) transposed: v[f] holds field f of each.
    __m256 v[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm256_loadu_ps(reinterpret_cast<const float*>(first + i));
    {
        const __m256 t0 = _mm256_unpacklo_ps(v[0], v[1]), t1 = _mm256_unpackhi_ps(v[0], v[1]);
        const __m256 t2 = _mm256_unpacklo_ps(v[2], v[3]), t3 = _mm256_unpackhi_ps(v[2], v[3]);
        const __m256 t4 = _mm256_unpacklo_ps(v[4], v[5]), t5 = _mm256_unpackhi_ps(v[4], v[5]);
        const __m256 t6 = _mm256_unpacklo_ps(v[6], v[7]), t7 = _mm256_unpackhi_ps(v[6], v[7]);
        const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
        const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
        v[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        v[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        v[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        v[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        v[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        v[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        v[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        v[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }
    const __m256 x = v[0], y = v[1], z = v[2];
    const __m256 clip0 = transform8(run.mvp, 0, x, y, z), clip1 = transform8(run.mvp, 1, x, y, z), clip2 = transform8(run.mvp, 2, x, y, z),
                 w = transform8(run.mvp, 3, x, y, z);
    const __m256 zero = _mm256_setzero_ps(), one = all8(1.0f);
    // Ordered comparisons: false where a value is NaN, as in the scalar tests.
    __m256 inside = _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(clip2, sub8(zero, w), _CMP_GE_OQ),
                                                _mm256_cmp_ps(clip2, w, _CMP_LE_OQ)),
                                  _mm256_cmp_ps(w, zero, _CMP_GT_OQ));
    const __m256 hx = _mm256_div_ps(all8(run.halfX), w), hy = _mm256_div_ps(all8(run.halfY), w);
    const __m256 width = all8(float(viewport_[2])), height = all8(float(viewport_[3]));
    const __m256 cx = mul8(mul8(add8(_mm256_div_ps(clip0, w), one), all8(0.5f)), width);
    const __m256 cy = mul8(mul8(add8(_mm256_div_ps(clip1, w), one), all8(0.5f)), height);
    // Kept where the scalar test (x <= 0, x >= width) is false, NaN included.
    inside = _mm256_and_ps(inside, _mm256_cmp_ps(add8(cx, hx), zero, _CMP_NLE_UQ));
    inside = _mm256_and_ps(inside, _mm256_cmp_ps(sub8(cx, hx), width, _CMP_NGE_UQ));
    inside = _mm256_and_ps(inside, _mm256_cmp_ps(add8(cy, hy), zero, _CMP_NLE_UQ));
    inside = _mm256_and_ps(inside, _mm256_cmp_ps(sub8(cy, hy), height, _CMP_NGE_UQ));
    const int insideBits = _mm256_movemask_ps(inside);
    if (!insideBits) {
        for (int i = 0; i < 8; ++i) out[i].fate = Projected::Culled;
        return;
    }
    const __m256 eight = all8(8.0f);
    alignas(32) int edgeX[8], edgeY[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(edgeX), _mm256_cvtps_epi32(mul8(hx, eight)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(edgeY), _mm256_cvtps_epi32(mul8(hy, eight)));
    const __m256 c[3] = {clamp8(v[3]), clamp8(v[4]), clamp8(v[5])};
    const __m256 peak = _mm256_max_ps(c[0], _mm256_max_ps(c[1], c[2]));
    const __m256 eye0 = transform8(run.modelview, 0, x, y, z), eye1 = transform8(run.modelview, 1, x, y, z),
                 eye2 = transform8(run.modelview, 2, x, y, z);
    const __m256 distance = _mm256_sqrt_ps(add8(add8(mul8(eye0, eye0), mul8(eye1, eye1)), mul8(eye2, eye2)));
    const __m256 glow =
        _mm256_min_ps(_mm256_max_ps(sub8(all8(1.4f), _mm256_div_ps(distance, all8(110.0f))), all8(0.5f)), all8(1.25f));
    const __m256 scale = mul8(all8(128.0f * 255.0f), glow);
    alignas(32) int k[3][8], m[3][8], alpha[8], left[8], bottom[8];
    for (int ch = 0; ch < 3; ++ch) {
        const __m256 saturated = _mm256_max_ps(sub8(peak, mul8(sub8(peak, c[ch]), all8(2.0f))), zero);
        const __m256 channelScale = mul8(scale, all8(ratio_[ch]));
        _mm256_store_si256(reinterpret_cast<__m256i*>(k[ch]), _mm256_cvtps_epi32(mul8(channelScale, saturated)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(m[ch]), _mm256_cvtps_epi32(mul8(channelScale, peak)));
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(alpha), _mm256_cvtps_epi32(mul8(clamp8(v[6]), all8(255.0f))));
    const __m256 phases = all8(float(kSplatPhases)), half = all8(0.5f);
    const __m256i halfEdge = _mm256_load_si256(reinterpret_cast<const __m256i*>(edgeY));
    _mm256_store_si256(reinterpret_cast<__m256i*>(left),
                       _mm256_sub_epi32(floor8(add8(mul8(cx, phases), half)), halfEdge));
    _mm256_store_si256(reinterpret_cast<__m256i*>(bottom),
                       _mm256_sub_epi32(floor8(add8(mul8(cy, phases), half)), halfEdge));
    for (int i = 0; i < 8; ++i) {
        Projected& o = out[i];
        if (!(insideBits & (1 << i))) {
            o.fate = Projected::Culled;
            continue;
        }
        if (edgeY[i] > kMaxEdgeQuarters || edgeX[i] != edgeY[i]) {
            o.fate = Projected::Quad;
            continue;
        }
        o.fate = Projected::Splat;
        for (int ch = 0; ch < 3; ++ch) {
            o.k[ch] = uint16_t(k[ch][i]);
            o.m[ch] = uint16_t(m[ch][i]);
        }
        o.alpha = uint16_t(srcAlpha_ ? alpha[i] : 255);
        o.edge = edgeY[i];
        o.left = left[i];
        o.bottom = bottom[i];
    }
}

int SplatBatch::stampKey(const Projected& p) const {
    return SplatStamps::key(p.edge, p.left & (kSplatPhases - 1), p.bottom & (kSplatPhases - 1), samples_ == 4);
}

void SplatBatch::place(const Projected& p, int input, Prepared* out) const {
    if (p.fate == Projected::Culled) return;
    if (p.fate == Projected::Quad) {
        out->quads.push_back(input);
        return;
    }
    const int extent = splatExtent(p.k, p.m, p.alpha);
    if (extent < 0) return;
    // Made in place: a spark made on the stack and copied in is read back whole before its
    // fields' narrow stores have landed, a stall on every spark.
    SplatSpark& spark = out->sparks.emplace_back();
    std::copy(p.k, p.k + 3, spark.k);
    std::copy(p.m, p.m + 3, spark.m);
    spark.alpha = p.alpha;
    spark.extent = uint8_t(extent);
    spark.fadeFactor = splatFadeFactor(spark.alpha);
    const int px = p.left & (kSplatPhases - 1), py = p.bottom & (kSplatPhases - 1);
    spark.x0 = p.left >> kSplatPhaseShift;
    spark.y0 = p.bottom >> kSplatPhaseShift;
    int stampWidth, stampHeight;
    SplatStamps::size(p.edge, px, py, &stampWidth, &stampHeight);
    spark.width = int16_t(stampWidth);
    spark.height = int16_t(stampHeight);
    // Stamps met before are found here, on every core; the others once all are built.
    const int key = stampKey(p);
    spark.stamp = stamps_->cached(key);
    if (!spark.stamp) out->unstamped.push_back({int(out->sparks.size()) - 1, key});
    out->box[0] = std::min(out->box[0], spark.x0);
    out->box[1] = std::min(out->box[1], spark.y0);
    out->box[2] = std::max(out->box[2], spark.x0 + stampWidth);
    out->box[3] = std::max(out->box[3], spark.y0 + stampHeight);
}

void SplatBatch::prepare(int thread, int threads) {
    size_t from, to;
    threadShare(inputs_.size(), thread, threads, &from, &to);
    Prepared& out = prepared_[size_t(thread)];
    out.sparks.clear();
    out.unstamped.clear();
    out.quads.clear();
    out.box[0] = out.box[1] = INT32_MAX;
    out.box[2] = out.box[3] = INT32_MIN;
    const bool wide = haveAvx2();
    size_t i = from;
    while (i < to) {
        // Eight at a time where eight inputs of one begin() follow.
        if (wide && i + 8 <= to && inputs_[i].run == inputs_[i + 7].run) {
            Projected eight[8];
            projectEight(&inputs_[i], eight);
            // Their stamps' places in the cache, fetched while the first ones are placed.
            for (const Projected& p : eight)
                if (p.fate == Projected::Splat)
                    stamps_->prefetchCached(stampKey(p));
            for (int j = 0; j < 8; ++j) place(eight[j], int(i) + j, &out);
            i += 8;
        } else {
            place(project(inputs_[i]), int(i), &out);
            ++i;
        }
    }
}

void SplatBatch::resolveStamps() {
    g_layer.open(viewport_, samples_ == 4);
    // The stamps no spark of this batch has met yet, once each, built on every core.
    std::vector<int> missing;
    for (const Prepared& p : prepared_)
        for (const auto& [index, key] : p.unstamped) missing.push_back(key);
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    stamps_->buildAll(missing, false);
    for (Prepared& p : prepared_) {
        for (const auto& [index, key] : p.unstamped) p.sparks[size_t(index)].stamp = stamps_->cached(key);
        g_layer.add(this, p.sparks, p.box);
        splats_ += int(p.sparks.size());
    }
    // Quads in the order they were added, under the size of their begin().
    int run = -1;
    for (const Prepared& p : prepared_)
        for (int i : p.quads) {
            const Input& in = inputs_[size_t(i)];
            while (run < in.run) {
                quadRuns_.push_back(quads_.count());
                ++run;
            }
            quads_.add(in.x, in.y, in.z, in.r, in.g, in.b, in.a);
        }
    while (run + 1 < int(runs_.size())) {
        quadRuns_.push_back(quads_.count());
        ++run;
    }
}

void SplatLayer::bin() {
    // Each spark listed under every band of rows its stamp reaches, in the sparks' order
    // (a counting sort on every core: each thread counts and places a share of the sparks,
    // its entries in a band after those of the threads before it).
    const int bands = (height_ + kBandRows - 1) / kBandRows;
    const int threads = threadCount();
    auto range = [&](const SplatSpark& s, int* first, int* last) {
        const int y0 = std::max(0, s.y0), y1 = std::min(height_, s.y0 + s.height);
        *first = y0 / kBandRows;
        *last = y1 > y0 ? (y1 - 1) / kBandRows : *first - 1;
    };
    // action(slot, i) for each band b that this thread's spark i reaches, slot being the
    // thread's entry for b in binNext_.
    auto eachBand = [&](int thread, auto action) {
        size_t from, to;
        threadShare(sparkCount_, thread, threads, &from, &to);
        int* slots = binNext_.data() + size_t(thread) * size_t(bands);
        size_t at = 0;  // the index of the span's first spark among all
        for (const Span& span : spans_) {
            for (size_t i = std::max(from, at); i < std::min(to, at + span.count); ++i) {
                const SplatSpark& s = span.first[i - at];
                int first, last;
                range(s, &first, &last);
                for (int b = first; b <= last; ++b) action(slots[b], s);
            }
            at += span.count;
        }
    };
    binNext_.assign(size_t(threads) * size_t(bands), 0);
    onEveryCore([&](int thread, int) { eachBand(thread, [](int& count, const SplatSpark&) { ++count; }); });
    bandStart_.assign(size_t(bands) + 1, 0);
    int at = 0;
    for (int b = 0; b < bands; ++b) {
        bandStart_[size_t(b)] = at;
        for (int t = 0; t < threads; ++t) {
            int& slot = binNext_[size_t(t) * size_t(bands) + size_t(b)];
            const int count = slot;
            slot = at;  // from here on: where the thread's next entry in the band goes
            at += count;
        }
    }
    bandStart_[size_t(bands)] = at;
    bandItems_.resize(size_t(at));
    onEveryCore([&](int thread, int) {
        eachBand(thread, [&](int& next, const SplatSpark& s) { bandItems_[size_t(next++)] = &s; });
    });
}

namespace {
constexpr int kSparkAhead = 16, kHeaderAhead = 8, kRowsAhead = 4;

void fetch(const void* at) { _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0); }

// The first rows that a spark's part in the band starting at layer row `top` reads.
void prefetchRows(const SplatSpark& s, int top) {
    const SplatStamp& st = *s.stamp;
    const int j0 = std::max(0, top - s.y0);
    const uint16_t* first = st.pq.data() + size_t(j0) * size_t(st.stride);
    if (st.oneBlock()) {
        // A row is one cache line.
        for (int j = 0; j < 2 && j0 + j < st.height; ++j) fetch(first + size_t(j) * size_t(st.stride));
        return;
    }
    fetch(st.rowFirst.data() + size_t(s.extent) * size_t(st.height) + size_t(j0));
    fetch(st.rowEnd.data() + size_t(s.extent) * size_t(st.height) + size_t(j0));
    for (int j = 0; j < 2 && j0 + j < st.height; ++j) {
        fetch(first + size_t(j) * size_t(st.stride));
        fetch(first + size_t(j) * size_t(st.stride) + st.qOffset());
    }
}
}  // namespace

void SplatLayer::splatBands(bool glThread) {
    // One band of rows at a time in a buffer of this thread's (three planes of 16-bit
    // sums), small enough to stay in the core's cache while its sparks land.
    std::vector<uint16_t> sums(size_t(pitch_) * kBandRows * 3);
    const int bands = int(bandStart_.size()) - 1;
    for (int band; (band = nextBand_.fetch_add(1, std::memory_order_relaxed)) < bands;) {
        splatBand(band, &sums);
        bandDone_[size_t(band)].store(true, std::memory_order_release);
        if (glThread) uploadFinishedBands();
    }
}

void SplatLayer::splatBand(int band, std::vector<uint16_t>* buffer) {
    std::vector<uint16_t>& sums = *buffer;
    const size_t plane = size_t(pitch_) * kBandRows;
    uint16_t* const origin = sums.data() + kBandMargin;  // column 0 of the band's first row
    const bool wide = haveAvx2();
    const int top = band * kBandRows, bottom = std::min(height_, top + kBandRows);
    if (bottom <= boxY0_ || top >= boxY1_) return;
    const int from = bandStart_[size_t(band)], to = bandStart_[size_t(band) + 1];
    if (way_ == SplatComposite::AddedOntoReadBack && from == to) return;  // the frame's pixels as read back
    for (int item = from; item < to; ++item) {
        // The sparks ahead are scattered over memory, and over the stamps: they are
        // fetched kSparkAhead sparks ahead, their stamps' headers kHeaderAhead ahead
        // and their first rows kRowsAhead ahead, while this one lands.
        if (item + kSparkAhead < to) fetch(bandItems_[size_t(item + kSparkAhead)]);
        if (item + kHeaderAhead < to) {
            const char* header = reinterpret_cast<const char*>(bandItems_[size_t(item + kHeaderAhead)]->stamp);
            fetch(header);
            fetch(header + 64);  // a wider stamp's row extents
        }
        if (item + kRowsAhead < to) prefetchRows(*bandItems_[size_t(item + kRowsAhead)], top);
        const SplatSpark& s = *bandItems_[size_t(item)];
        const SplatStamp& st = *s.stamp;
        st.markUsed();
        BandPart part{&s, std::max(0, top - s.y0), std::min(st.height, bottom - s.y0), std::max(0, -s.x0),
                      std::min(st.width, width_ - s.x0), top};
        if (part.right <= part.left) continue;
        if (wide)
            (quarters_ ? avx2PartFor<true>(s) : avx2PartFor<false>(s))(origin, plane, size_t(pitch_), part);
        else if (quarters_)
            (st.oneBlock() ? splatPartSse2<true, true> : splatPartSse2<false, true>)(origin, plane, size_t(pitch_), part);
        else
            (st.oneBlock() ? splatPartSse2<true, false> : splatPartSse2<false, false>)(origin, plane, size_t(pitch_), part);
    }
    // Onto the clear colour: black with alpha 0 is what the plain resolve writes.
    uint32_t clear;
    memcpy(&clear, g_cleared.bgra, 4);
    const bool onto = way_ == SplatComposite::AddedOntoReadBack || (way_ == SplatComposite::CopiedOverClear && clear != 0);
    for (int y = std::max(top, boxY0_); y < std::min(bottom, boxY1_); ++y) {
        uint8_t* row = rgba_.data() + size_t(y) * width_ * 4;
        if (way_ == SplatComposite::CopiedOverClear && clear != 0)
            for (int x = boxX0_; x < boxX1_; ++x) memcpy(row + size_t(x) * 4, &clear, 4);
        const uint16_t* rowSums = origin + size_t(y - top) * pitch_;
        if (quarters_)
            (onto ? resolveRow<true, true> : resolveRow<false, true>)(rowSums, plane, row, boxX0_, boxX1_);
        else
            (onto ? resolveRow<true, false> : resolveRow<false, false>)(rowSums, plane, row, boxX0_, boxX1_);
    }
    std::fill(sums.begin(), sums.end(), uint16_t(0));
}

void SplatLayer::open(const int viewport[4], bool fourSamples) {
    if (!spans_.empty() && (!std::equal(viewport, viewport + 4, viewport_) || fourSamples != quarters_)) composite();
    if (!spans_.empty()) return;
    std::copy(viewport, viewport + 4, viewport_);
    quarters_ = fourSamples;
    if (viewport_[2] != width_ || viewport_[3] != height_) {
        width_ = viewport_[2];
        height_ = viewport_[3];
        // Rows with margins of 16 values either side (see kBandMargin).
        pitch_ = width_ + 2 * kBandMargin;
        rgba_.assign(size_t(width_) * height_ * 4, 0);
    }
    boxX0_ = width_;
    boxY0_ = height_;
    boxX1_ = boxY1_ = 0;
}

void SplatLayer::add(const void* owner, const std::vector<SplatSpark>& sparks, const int box[4]) {
    if (sparks.empty()) return;
    boxX0_ = std::min(boxX0_, std::max(0, box[0]));
    boxY0_ = std::min(boxY0_, std::max(0, box[1]));
    boxX1_ = std::max(boxX1_, std::min(width_, box[2]));
    boxY1_ = std::max(boxY1_, std::min(height_, box[3]));
    spans_.push_back({owner, sparks.data(), sparks.size()});
    sparkCount_ += sparks.size();
}

bool SplatLayer::holds(const void* owner) const {
    return std::any_of(spans_.begin(), spans_.end(), [&](const Span& span) { return span.owner == owner; });
}

void SplatLayer::forget(const void* owner) {
    for (const Span& span : spans_)
        if (span.owner == owner) sparkCount_ -= span.count;
    spans_.erase(std::remove_if(spans_.begin(), spans_.end(), [&](const Span& span) { return span.owner == owner; }),
                 spans_.end());
}

// The layer reaches the frame by a framebuffer blit where it can, which a software
// renderer does as a memory copy; that spares the full-box quad llvmpipe would shade,
// sample and blend (at 1280x720 about 6-8 ms a frame single-sampled, more with samples).
// - A frame that holds nothing but its clear: the sums are added onto the clear colour.
//   A multisampled frame takes the blit too: the GL copies a single-sampled source into
//   every sample, as the quad over equal samples writes them.
// - A single-sampled frame: its pixels under the layer's box are read back and the sums
//   added to them with saturation (the blend's own arithmetic, so the pixels are those
//   of the quad).
// Otherwise the quad: a multisampled frame's samples cannot be read back one by one, and
// a colour mask, sRGB writes, several draw buffers, coverage from alpha or a colour
// buffer of other than 8 bits change what the quad writes.
SplatComposite SplatLayer::way() const {
    if (!framebuffer_) return SplatComposite::Quad;
    GLint sampleBuffers = 0, secondDrawBuffer = GL_NONE, maxDrawBuffers = 1, drawFramebuffer = 0,
          drawBuffer = GL_BACK, bits[3] = {0, 0, 0};
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDrawBuffers);
    if (maxDrawBuffers > 1) glGetIntegerv(GL_DRAW_BUFFER1, &secondDrawBuffer);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    const bool srgb = (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_sRGB) && glIsEnabled(GL_FRAMEBUFFER_SRGB);
    if (secondDrawBuffer != GL_NONE || !mask[0] || !mask[1] || !mask[2] || !mask[3] || srgb || bits[0] != 8 ||
        bits[1] != 8 || bits[2] != 8)
        return SplatComposite::Quad;
    const bool cleared = g_cleared.holdsOnlyTheClear && g_cleared.drawFramebuffer == drawFramebuffer &&
                         g_cleared.drawBuffer == drawBuffer;
    if (sampleBuffers == 0) return cleared ? SplatComposite::CopiedOverClear : SplatComposite::AddedOntoReadBack;
    // Into every sample: a blit's own rule from GL 3.0 (before it, an error).
    const bool replicates = GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object;
    const bool coverage = glIsEnabled(GL_SAMPLE_ALPHA_TO_COVERAGE) || glIsEnabled(GL_SAMPLE_COVERAGE) ||
                          (GLEW_VERSION_3_2 && glIsEnabled(GL_SAMPLE_MASK));
    return cleared && replicates && !coverage ? SplatComposite::CopiedOverClear : SplatComposite::Quad;
}

namespace {
// The pixel store set for the layer's box in rgba_ (rows of `width` pixels, the box from
// (x0, y0), no buffer object) while it lives, for unpacking (uploads) or packing (reads);
// the GL's own settings come back after.
class BoxInLayer {
public:
    BoxInLayer(bool unpack, int width, int x0, int y0) : unpack_(unpack) {
        const GLenum* names = unpack ? kUnpack : kPack;
        for (int i = 0; i < 5; ++i) glGetIntegerv(names[i], &saved_[i]);
        glBindBuffer(unpack ? GL_PIXEL_UNPACK_BUFFER : GL_PIXEL_PACK_BUFFER, 0);
        glPixelStorei(names[0], width);
        glPixelStorei(names[1], x0);
        glPixelStorei(names[2], y0);
        glPixelStorei(names[3], 4);
    }
    ~BoxInLayer() {
        const GLenum* names = unpack_ ? kUnpack : kPack;
        for (int i = 0; i < 4; ++i) glPixelStorei(names[i], saved_[i]);
        glBindBuffer(unpack_ ? GL_PIXEL_UNPACK_BUFFER : GL_PIXEL_PACK_BUFFER, GLuint(saved_[4]));
    }
    BoxInLayer(const BoxInLayer&) = delete;
    BoxInLayer& operator=(const BoxInLayer&) = delete;

private:
    static constexpr GLenum kUnpack[5] = {GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_ROWS,
                                          GL_UNPACK_ALIGNMENT, GL_PIXEL_UNPACK_BUFFER_BINDING};
    static constexpr GLenum kPack[5] = {GL_PACK_ROW_LENGTH, GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_ROWS, GL_PACK_ALIGNMENT,
                                        GL_PIXEL_PACK_BUFFER_BINDING};
    bool unpack_;
    GLint saved_[5] = {0, 0, 0, 4, 0};
};
}  // namespace

void SplatLayer::readFrame() {
    GLint drawFramebuffer = 0, readFramebuffer = 0, drawBuffer = GL_BACK, readBuffer = GL_BACK;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(drawFramebuffer));
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);  // the draw framebuffer's own
    glReadBuffer(GLenum(drawBuffer));
    {
        const BoxInLayer box(false, width_, boxX0_, boxY0_);
        glReadPixels(viewport_[0] + boxX0_, viewport_[1] + boxY0_, boxX1_ - boxX0_, boxY1_ - boxY0_, GL_BGRA,
                     GL_UNSIGNED_BYTE, rgba_.data());
    }
    glReadBuffer(GLenum(readBuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
}

void SplatLayer::makeTexture() {
    if (texture_ && textureWidth_ == width_ && textureHeight_ == height_) return;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    if (!texture_) glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    textureWidth_ = width_;
    textureHeight_ = height_;
    // The texture as a blit's source, where the GL offers blits and can attach it.
    if (!glGenFramebuffers || !glBindFramebuffer || !glFramebufferTexture2D || !glCheckFramebufferStatus ||
        !glBlitFramebuffer || !glDeleteFramebuffers)
        return;
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    if (!framebuffer_) glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    const bool complete = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    if (!complete) {
        glDeleteFramebuffers(1, &framebuffer_);
        framebuffer_ = 0;
    }
}

void SplatLayer::uploadFinishedBands() {
    // The layer's texture is bound and the unpacking set to the box's columns (composite).
    const int bands = int(bandStart_.size()) - 1;
    int end = uploadedBands_;
    while (end < bands && bandDone_[size_t(end)].load(std::memory_order_acquire)) ++end;
    const int y0 = std::max(boxY0_, uploadedBands_ * kBandRows), y1 = std::min(boxY1_, end * kBandRows);
    uploadedBands_ = end;
    if (y1 > y0)
        glTexSubImage2D(GL_TEXTURE_2D, 0, boxX0_, y0, boxX1_ - boxX0_, y1 - y0, GL_BGRA, GL_UNSIGNED_BYTE,
                        rgba_.data() + size_t(y0) * size_t(width_) * 4);
}

void SplatLayer::blitOntoFrame() {
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    const int x = viewport_[0], y = viewport_[1];
    glBlitFramebuffer(boxX0_, boxY0_, boxX1_, boxY1_, x + boxX0_, y + boxY0_, x + boxX1_, y + boxY1_,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
}

void SplatLayer::addQuad() {
    // The layer added to the frame, pixel for pixel over the viewport it was splatted
    // under; the frame's alpha is kept.
    GLint viewport[4], blendSrc[2], blendDst[2], program = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_BLEND_SRC_RGB, &blendSrc[0]);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &blendSrc[1]);
    glGetIntegerv(GL_BLEND_DST_RGB, &blendDst[0]);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &blendDst[1]);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    const GLboolean blended = glIsEnabled(GL_BLEND), depthTested = glIsEnabled(GL_DEPTH_TEST),
                    lit = glIsEnabled(GL_LIGHTING), arbVertex = glIsEnabled(GL_VERTEX_PROGRAM_ARB),
                    arbFragment = glIsEnabled(GL_FRAGMENT_PROGRAM_ARB);
    ShaderProgram::unbind();
    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
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
    if (!blended) glDisable(GL_BLEND);
    if (depthTested) glEnable(GL_DEPTH_TEST);
    if (lit) glEnable(GL_LIGHTING);
    glBlendFuncSeparate(GLenum(blendSrc[0]), GLenum(blendDst[0]), GLenum(blendSrc[1]), GLenum(blendDst[1]));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glUseProgramObjectARB(GLhandleARB(program));
    if (arbVertex) glEnable(GL_VERTEX_PROGRAM_ARB);
    if (arbFragment) glEnable(GL_FRAGMENT_PROGRAM_ARB);
}

void SplatLayer::composite() {
    if (!spans_.empty() && boxX1_ > boxX0_ && boxY1_ > boxY0_) {
        GLint particleTexture = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &particleTexture);
        makeTexture();
        way_ = way();
        g_lastComposite = way_;
        if (way_ == SplatComposite::AddedOntoReadBack) readFrame();
        bin();
        const size_t bands = bandStart_.size() - 1;
        if (bandDoneSize_ < bands) {
            bandDone_.reset(new std::atomic<bool>[bands]);
            bandDoneSize_ = bands;
        }
        for (size_t b = 0; b < bands; ++b) bandDone_[b].store(false, std::memory_order_relaxed);
        nextBand_.store(0, std::memory_order_relaxed);
        uploadedBands_ = 0;
        glBindTexture(GL_TEXTURE_2D, texture_);
        {
            const BoxInLayer box(true, width_, boxX0_, 0);
            onEveryCore([this](int thread, int) { splatBands(thread == 0); });
            uploadFinishedBands();
        }
        if (way_ != SplatComposite::Quad)
            blitOntoFrame();
        else
            addQuad();
        glBindTexture(GL_TEXTURE_2D, GLuint(particleTexture));
        CHECK_GL();
        noteSplatFrameDrawn();
    }
    drawHeldQuads();
    CHECK_GL();
    spans_.clear();
    sparkCount_ = 0;
    // No spark points into a stamp now: a cache past its budget may start afresh.
    for (SplatStamps* stamps : g_stamps) stamps->trim();
}

void SplatBatch::draw(ShaderProgram* billboard) {
    ratio_[0] = 1.0f;
    ratio_[1] = stamps_->greenRatio();
    ratio_[2] = stamps_->blueRatio();
    prepared_.resize(size_t(threadCount()));
    onEveryCore([this](int thread, int threads) { prepare(thread, threads); });
    resolveStamps();
    if (quads_.count() == 0) return;
    if (g_cleared.holdsOnlyTheClear && billboardStateCanBeHeld()) {
        HeldQuads& held = holdQuads(billboard);
        held.vertices.assign(quads_.vertices(), quads_.vertices() + 4 * quads_.count());
        for (size_t run = 0; run < quadRuns_.size(); ++run) held.runs.emplace_back(quadRuns_[run], quadSizes_[run]);
        CHECK_GL();
        return;
    }
    // Quads held before reach the frame first, so that every quad keeps its place.
    if (!g_heldQuads.empty()) g_layer.composite();
    billboard->bind();
    const GLuint sampler = bindParticleSampler();  // the quads face the screen, as the splats do
    for (size_t run = 0; run < quadRuns_.size(); ++run) {
        const int first = quadRuns_[run];
        const int end = run + 1 < quadRuns_.size() ? quadRuns_[run + 1] : quads_.count();
        if (end <= first) continue;
        billboard->setUniform1f("size", quadSizes_[run]);
        quads_.draw(first, end - first);
        noteSplatFrameDrawn();
    }
    if (glBindSampler) glBindSampler(0, sampler);
    CHECK_GL();
}
