// The texture's ".tga" loader: uncompressed (type 2) and run-length encoded (type 10)
// true-colour images of 24 or 32 bits, rows in file order.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "main/log.h"
#include "platform/msgbox.h"
#include "util/data/data.h"
#include "util/texture/texture.h"

namespace {

const unsigned char kUncompressedHeader[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const unsigned char kCompressedHeader[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Larger images are refused (pixels, either direction).
constexpr int kMaxDimension = 16384;

void box(const char* text, const char* caption = "ERROR") { platform::messageBox(text, caption, platform::MB_OK); }

bool fail(FILE* file, Texture* texture, const char* text) {
    box(text);
    free(texture->imageData);
    texture->imageData = nullptr;
    fclose(file);
    return false;
}

// Reads width, height and depth and allocates the pixels. The box line is the
// caller's, so the caption names the reader that refused the image.
bool readInfo(FILE* file, Texture* texture, int line, size_t* bytes) {
    unsigned char info[6];
    if (fread(info, 1, 6, file) != 6) {
        box("Could not read info header");
        fclose(file);
        return false;
    }
    int width = info[0] | info[1] << 8;
    int height = info[2] | info[3] << 8;
    int bits = info[4];
    if (width == 0 || height == 0 || (bits != 24 && bits != 32) || width > kMaxDimension ||
        height > kMaxDimension) {
        errorAt(__FILE__, line, "Invalid texture information");
        fclose(file);
        return false;
    }
    texture->width = width;
    texture->height = height;
    texture->bitsPerPixel = bits;
    texture->format = bits == 24 ? GL_RGB : GL_RGBA;
    *bytes = size_t(bits / 8) * size_t(width) * size_t(height);
    texture->imageData = static_cast<unsigned char*>(malloc(*bytes));
    if (!texture->imageData) {
        box("Could not allocate memory for image");
        fclose(file);
        return false;
    }
    return true;
}

bool loadUncompressed(FILE* file, Texture* texture) {
    size_t bytes;
    if (!readInfo(file, texture, __LINE__, &bytes)) return false;
    if (fread(texture->imageData, 1, bytes, file) != bytes) return fail(file, texture, "Could not read image data");
    size_t step = size_t(texture->bitsPerPixel / 8);
    for (size_t i = 0; i < bytes; i += step) {
        unsigned char blue = texture->imageData[i];
        texture->imageData[i] = texture->imageData[i + 2];
        texture->imageData[i + 2] = blue;
    }
    fclose(file);
    return true;
}

bool loadCompressed(FILE* file, Texture* texture) {
    size_t bytes;
    if (!readInfo(file, texture, __LINE__, &bytes)) return false;
    size_t step = size_t(texture->bitsPerPixel / 8);
    size_t pixelCount = size_t(texture->width) * size_t(texture->height);
    size_t current = 0;
    unsigned char pixel[4];
    while (current < pixelCount) {
        int header = fgetc(file);
        if (header == EOF) return fail(file, texture, "Could not read RLE header");
        size_t count = header < 128 ? size_t(header) + 1 : size_t(header) - 127;
        // Checked before anything of the packet is written.
        if (count > pixelCount - current) return fail(file, texture, "Too many pixels read");
        if (header < 128) {
            for (size_t i = 0; i < count; ++i, ++current) {
                if (fread(pixel, 1, step, file) != step) return fail(file, texture, "Could not read image data");
                unsigned char* out = texture->imageData + current * step;
                out[0] = pixel[2];
                out[1] = pixel[1];
                out[2] = pixel[0];
                if (step == 4) out[3] = pixel[3];
            }
        } else {
            if (fread(pixel, 1, step, file) != step) return fail(file, texture, "Could not read from file");
            for (size_t i = 0; i < count; ++i, ++current) {
                unsigned char* out = texture->imageData + current * step;
                out[0] = pixel[2];
                out[1] = pixel[1];
                out[2] = pixel[0];
                if (step == 4) out[3] = pixel[3];
            }
        }
    }
    fclose(file);
    return true;
}

}  // namespace

bool loadTGA(const char* path, Texture* texture) {
    FILE* file = dataOpen(path, "rb");
    if (!file) {
        box("Could not open texture file");
        return false;
    }
    unsigned char header[12];
    if (fread(header, 1, 12, file) != 12) {
        box("Could not read file header");
        fclose(file);
        return false;
    }
    if (memcmp(header, kUncompressedHeader, 12) == 0) return loadUncompressed(file, texture);
    if (memcmp(header, kCompressedHeader, 12) == 0) return loadCompressed(file, texture);
    box("TGA file be type 2 or type 10 ", "Invalid Image");
    fclose(file);
    return false;
}
