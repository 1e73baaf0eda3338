// The texture's ".bmp" loader: 24-bit uncompressed bottom-up bitmaps.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "log.h"
#include "util/data/data.h"
#include "util/texture/bmp_loader.h"
#include "util/texture/loader_image.h"
#include "util/texture/texture.h"

namespace {

// Larger bitmaps are refused (pixels, either direction).
constexpr int32_t kMaxDimension = 16384;

int32_t le32(const unsigned char* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }
int le16(const unsigned char* p) { return p[0] | p[1] << 8; }

// Closes the file and, on a refusal, says why in the caller's buffer.
int finish(FILE* file, int result, char* why, size_t whySize, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
int finish(FILE* file, int result, char* why, size_t whySize, const char* format, ...) {
    fclose(file);
    if (why && whySize) {
        va_list args;
        va_start(args, format);
        vsnprintf(why, whySize, format, args);
        va_end(args);
    }
    return result;
}

const char* kTakes = "The BMP loader takes 24-bit uncompressed bottom-up bitmaps with a Windows info header and "
                     "their image size field set; festoonery-tool image-import converts other images.";

const char* compressionName(int32_t compression) {
    switch (compression) {
        case 1: return " (BI_RLE8, run-length)";
        case 2: return " (BI_RLE4, run-length)";
        case 3: return " (BI_BITFIELDS, colour masks)";
        case 4: return " (BI_JPEG)";
        case 5: return " (BI_PNG)";
        case 6: return " (BI_ALPHABITFIELDS)";
        default: return "";
    }
}

}  // namespace

int readBMP(const char* path, LoaderImage* image, char* why, size_t whySize) {
    FILE* file = dataOpen(path, "rb");
    if (!file) {
        if (why && whySize) snprintf(why, whySize, "The file cannot be opened.");
        return BmpCannotOpen;
    }
    unsigned char fileHeader[14];
    unsigned char info[44];
    if (fread(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader)
        return finish(file, BmpEndedEarly, why, whySize, "The file is shorter than the 14-byte BMP file header.");
    // An OS/2 header (12 bytes: 16-bit width and height; or the 16-byte short form, which
    // ends before the compression field) would be read as garbage fields below.
    uint32_t infoSize = 0;
    size_t gotInfo = fread(info, 1, sizeof info, file);
    if (gotInfo >= 4) infoSize = uint32_t(le32(info));
    if (gotInfo >= 4 && (infoSize == 12 || infoSize == 16))
        return finish(file, BmpUnsupported, why, whySize, "The bitmap has an OS/2 info header of %u bytes. %s",
                      unsigned(infoSize), kTakes);
    if (gotInfo != sizeof info)
        return finish(file, BmpEndedEarly, why, whySize, "The file ends within the BMP info header (%zu bytes).",
                      sizeof fileHeader + gotInfo);
    uint32_t dataOffset = uint32_t(le32(fileHeader + 10));
    int32_t width = le32(info + 4);
    int32_t height = le32(info + 8);
    int bitCount = le16(info + 14);
    int32_t compression = le32(info + 16);
    uint32_t imageSize = uint32_t(le32(info + 20));
    int32_t coloursUsed = le32(info + 32);
    int32_t importantColours = le32(info + 36);
    if (bitCount != 24)
        return finish(file, BmpUnsupported, why, whySize, "The bitmap has %d bits per pixel. %s", bitCount, kTakes);
    if (compression != 0)
        return finish(file, BmpUnsupported, why, whySize, "The bitmap uses compression %d%s. %s", int(compression),
                      compressionName(compression), kTakes);
    if (coloursUsed != 0 && importantColours != 0)
        return finish(file, BmpUnsupported, why, whySize,
                      "The bitmap sets both colours used (%d) and important colours (%d). %s", int(coloursUsed),
                      int(importantColours), kTakes);
    // Top-down bitmaps (negative height) and a zero image size, from which the row
    // padding could not be derived, are refused, as are sizes beyond the limit.
    if (height < 0)
        return finish(file, BmpUnsupported, why, whySize, "The bitmap stores its rows top-down (height %d). %s",
                      int(height), kTakes);
    if (width < 0 || width > kMaxDimension || height > kMaxDimension)
        return finish(file, BmpUnsupported, why, whySize,
                      "The bitmap is %d x %d pixels; the loader takes 0 to %d pixels in either direction.",
                      int(width), int(height), int(kMaxDimension));
    if (imageSize == 0)
        return finish(file, BmpUnsupported, why, whySize,
                      "The bitmap's image size field is 0, so the loader cannot tell its row padding. %s", kTakes);
    int64_t padding = 0;
    if (height > 0) padding = (int64_t(imageSize) - int64_t(width) * height * 3) / height;
    if (padding < 0)
        return finish(file, BmpUnsupported, why, whySize,
                      "The bitmap's image size field (%u bytes) is smaller than its %d x %d pixels of 3 bytes.",
                      unsigned(imageSize), int(width), int(height));
    if (!image->setSize(width, height))
        return finish(file, BmpUnsupported, why, whySize, "Not enough memory for %d x %d pixels.", int(width),
                      int(height));
    if (fseek(file, long(dataOffset), SEEK_SET) != 0)
        return finish(file, BmpSeekFailed, why, whySize, "The pixel data offset %u cannot be reached.",
                      unsigned(dataOffset));
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) {
            int b = fgetc(file);
            int g = b == EOF ? EOF : fgetc(file);
            int r = g == EOF ? EOF : fgetc(file);
            if (r == EOF)
                return finish(file, BmpEndedEarly, why, whySize,
                              "The file ends within the pixel data, at pixel %d of picture row %d (truncated file?).",
                              int(x), int(y));
            image->setPixel(x, y, r, g, b);
        }
        if (fseek(file, long(padding), SEEK_CUR) != 0)
            return finish(file, BmpSeekFailed, why, whySize, "The row padding after picture row %d cannot be skipped.",
                          int(y));
    }
    fclose(file);
    return BmpOk;
}

bool loadBMP(const char* path, Texture* texture) {
    LoaderImage image(3);
    char why[400] = "";
    if (readBMP(path, &image, why, sizeof why) != BmpOk) {
        logLine("Failed reading %s\n", path);
        logLine("  %s\n", why);
        return false;
    }
    return loaderImageToTexture(image, texture, path, __FILE__, __LINE__);
}
