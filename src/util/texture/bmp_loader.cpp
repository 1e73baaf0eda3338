// The texture's ".bmp" loader: 24-bit uncompressed bottom-up bitmaps.
#include <cstdint>
#include <cstdio>

#include "main/log.h"
#include "util/data/data.h"
#include "util/texture/bmp_loader.h"
#include "util/texture/loader_image.h"
#include "util/texture/texture.h"

namespace {

// Larger bitmaps are refused (pixels, either direction).
constexpr int32_t kMaxDimension = 16384;

int32_t le32(const unsigned char* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }
int le16(const unsigned char* p) { return p[0] | p[1] << 8; }

int finish(FILE* file, int result) {
    fclose(file);
    return result;
}

}  // namespace

int readBMP(const char* path, LoaderImage* image) {
    FILE* file = dataOpen(path, "rb");
    if (!file) return BmpCannotOpen;
    unsigned char fileHeader[14];
    unsigned char info[44];
    if (fread(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader) return finish(file, BmpEndedEarly);
    if (fread(info, 1, sizeof info, file) != sizeof info) return finish(file, BmpEndedEarly);
    uint32_t dataOffset = uint32_t(le32(fileHeader + 10));
    int32_t width = le32(info + 4);
    int32_t height = le32(info + 8);
    int bitCount = le16(info + 14);
    int32_t compression = le32(info + 16);
    uint32_t imageSize = uint32_t(le32(info + 20));
    int32_t coloursUsed = le32(info + 32);
    int32_t importantColours = le32(info + 36);
    if (bitCount != 24 || compression != 0 || (coloursUsed != 0 && importantColours != 0))
        return finish(file, BmpUnsupported);
    // Top-down bitmaps (negative height) and a zero image size, from which the row
    // padding could not be derived, are refused, as are sizes beyond the limit.
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension || imageSize == 0)
        return finish(file, BmpUnsupported);
    int64_t padding = 0;
    if (height > 0) padding = (int64_t(imageSize) - int64_t(width) * height * 3) / height;
    if (padding < 0) return finish(file, BmpUnsupported);
    if (!image->setSize(width, height)) return finish(file, BmpUnsupported);
    if (fseek(file, long(dataOffset), SEEK_SET) != 0) return finish(file, BmpSeekFailed);
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) {
            int b = fgetc(file);
            int g = b == EOF ? EOF : fgetc(file);
            int r = g == EOF ? EOF : fgetc(file);
            if (r == EOF) return finish(file, BmpEndedEarly);
            image->setPixel(x, y, r, g, b);
        }
        if (fseek(file, long(padding), SEEK_CUR) != 0) return finish(file, BmpSeekFailed);
    }
    return finish(file, BmpOk);
}

bool loadBMP(const char* path, Texture* texture) {
    LoaderImage image(3);
    if (readBMP(path, &image) != BmpOk) {
        logLine("Failed reading %s\n", path);
        return false;
    }
    return loaderImageToTexture(image, texture, path, __FILE__, __LINE__);
}
