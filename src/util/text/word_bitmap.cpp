#include "util/text/word_bitmap.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace {

// One glyph's image: premultiplied RGBA floats, rows from the top down, placed at
// (x, top) on the word's pixel grid (y up).
struct GlyphImage {
    int x = 0, top = 0, width = 0, height = 0;
    std::vector<float> rgba;
};

bool glyphImage(FT_Face face, unsigned glyph, bool colour, float scale, float r, float g, float b, GlyphImage* out) {
    if (FT_Load_Glyph(face, glyph, colour ? FT_LOAD_COLOR : FT_LOAD_DEFAULT) != 0) return false;
    if (face->glyph->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
        return false;
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    int w = int(bitmap.width), h = int(bitmap.rows);
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096) return false;
    std::vector<float> source(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = bitmap.buffer + long(y) * bitmap.pitch;
        for (int x = 0; x < w; ++x) {
            float* p = &source[(size_t(y) * size_t(w) + size_t(x)) * 4];
            if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) {
                p[0] = row[x * 4 + 2] / 255.0f, p[1] = row[x * 4 + 1] / 255.0f;
                p[2] = row[x * 4 + 0] / 255.0f, p[3] = row[x * 4 + 3] / 255.0f;
            } else {
                float a = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x / 8] >> (7 - x % 8)) & 1) : row[x] / 255.0f;
                p[0] = r * a, p[1] = g * a, p[2] = b * a, p[3] = a;
            }
        }
    }
    int left = face->glyph->bitmap_left, top = face->glyph->bitmap_top;
    if (scale == 1.0f) {
        *out = {left, top, w, h, std::move(source)};
        return true;
    }
    // A strike drawn smaller: each pixel the mean of the source pixels under it.
    int sw = std::max(1, int(std::lround(w * scale))), sh = std::max(1, int(std::lround(h * scale)));
    out->x = int(std::lround(left * scale)), out->top = int(std::lround(top * scale));
    out->width = sw, out->height = sh;
    out->rgba.assign(size_t(sw) * size_t(sh) * 4, 0.0f);
    for (int y = 0; y < sh; ++y) {
        int y0 = y * h / sh, y1 = std::max(y0 + 1, (y + 1) * h / sh);
        for (int x = 0; x < sw; ++x) {
            int x0 = x * w / sw, x1 = std::max(x0 + 1, (x + 1) * w / sw);
            float sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 4; ++c) sum[c] += source[(size_t(sy) * size_t(w) + size_t(sx)) * 4 + size_t(c)];
            float count = float((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 4; ++c) out->rgba[(size_t(y) * size_t(sw) + size_t(x)) * 4 + size_t(c)] = sum[c] / count;
        }
    }
    return true;
}

}  // namespace

WordBitmap drawWord(const WordFonts& fonts, const WordLayout& word, float r, float g, float b) {
    std::vector<GlyphImage> images;
    for (const WordRun& run : word.runs) {
        FT_Face face = static_cast<FT_Face>(fonts.ftFace(run.face));
        for (const PlacedGlyph& placed : run.glyphs) {
            GlyphImage image;
            if (!face || !glyphImage(face, placed.glyph, fonts.faceIsColour(run.face), fonts.faceScale(run.face), r,
                                     g, b, &image))
                continue;  // a space, or a glyph without an image
            image.x += int(std::lround(placed.x));
            image.top += int(std::lround(placed.y));
            images.push_back(std::move(image));
        }
    }
    WordBitmap out;
    if (images.empty()) return out;
    int x0 = images[0].x, x1 = x0, y0 = images[0].top, y1 = y0;  // y1: the top row, y0 below the bottom one
    for (const GlyphImage& im : images) {
        x0 = std::min(x0, im.x), x1 = std::max(x1, im.x + im.width);
        y1 = std::max(y1, im.top), y0 = std::min(y0, im.top - im.height);
    }
    out.width = x1 - x0, out.height = y1 - y0, out.left = x0, out.bottom = y0;
    std::vector<float> sum(size_t(out.width) * size_t(out.height) * 4, 0.0f);
    for (const GlyphImage& im : images) {
        for (int y = 0; y < im.height; ++y) {
            int row = im.top - 1 - y - y0;  // from the bottom
            for (int x = 0; x < im.width; ++x) {
                const float* s = &im.rgba[(size_t(y) * size_t(im.width) + size_t(x)) * 4];
                float* d = &sum[(size_t(row) * size_t(out.width) + size_t(im.x - x0 + x)) * 4];
                // Glyphs that overlap (marks, joined letters) lie over one another.
                for (int c = 0; c < 4; ++c) d[c] = s[c] + d[c] * (1.0f - s[3]);
            }
        }
    }
    out.rgba.resize(sum.size());
    for (size_t i = 0; i < sum.size(); ++i)
        out.rgba[i] = uint8_t(std::lround(std::min(1.0f, std::max(0.0f, sum[i])) * 255.0f));
    return out;
}

WordFit fitWordInFrame(float penX, float inkLeft, float inkRight, float frameWidth) {
    float left = penX + inkLeft, right = penX + inkRight;
    if (left >= 0 && right <= frameWidth) return {0, 1};
    float margin = 0.02f * frameWidth;
    float room = frameWidth - 2 * margin;
    float width = inkRight - inkLeft;
    if (width <= room) return {right > frameWidth ? frameWidth - margin - right : margin - left, 1};
    float scale = room / width;
    return {margin - penX - inkLeft * scale, scale};
}
