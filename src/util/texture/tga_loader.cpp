// The texture's ".tga" loader: uncompressed (type 2) and run-length encoded (type 10)
// true-colour images of 24 or 32 bits. The image descriptor's origin bits say where the
// file's first pixel lies; the texture gets rows bottom row first, left to right.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
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
bool readInfo(FILE* file, Texture* texture, int line, size_t* bytes, int* descriptor) {
    unsigned char info[6];
    if (fread(info, 1, 6, file) != 6) {
        box("Could not read info header");
        fclose(file);
        return false;
    }
    int width = info[0] | info[1] << 8;
    int height = info[2] | info[3] << 8;
    int bits = info[4];
    *descriptor = info[5];
    if (width == 0 || height == 0 || (bits != 24 && bits != 32) || width > kMaxDimension ||
        height > kMaxDimension) {
        char message[400];
        const char* take = "The loader takes 24- or 32-bit true-colour images of 1 to 16384 pixels "
                           "in either direction.";
        if (bits != 24 && bits != 32)
            snprintf(message, sizeof message, "Invalid texture information\n\nThe image has %d bits per pixel. %s",
                     bits, take);
        else
            snprintf(message, sizeof message, "Invalid texture information\n\nThe image is %d x %d pixels. %s",
                     width, height, take);
        errorAt(__FILE__, line, message);
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

// Descriptor bit 5 set: the file's first row is the top row (else the bottom row, as
// the texture wants it); bit 4 set: each row runs right to left.
void toBottomUpLeftToRight(Texture* texture, int descriptor) {
    size_t step = size_t(texture->bitsPerPixel / 8);
    size_t width = size_t(texture->width), height = size_t(texture->height);
    size_t stride = width * step;
    unsigned char* pixels = texture->imageData;
    if (descriptor & 0x10) {
        for (size_t y = 0; y < height; ++y) {
            unsigned char* row = pixels + y * stride;
            for (size_t a = 0, b = width - 1; a < b; ++a, --b)
                for (size_t k = 0; k < step; ++k) {
                    unsigned char t = row[a * step + k];
                    row[a * step + k] = row[b * step + k];
                    row[b * step + k] = t;
                }
        }
    }
    if (descriptor & 0x20) {
        for (size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
            for (size_t k = 0; k < stride; ++k) {
                unsigned char t = pixels[top * stride + k];
                pixels[top * stride + k] = pixels[bottom * stride + k];
                pixels[bottom * stride + k] = t;
            }
    }
}

bool loadUncompressed(FILE* file, Texture* texture) {
    size_t bytes;
    int descriptor;
    if (!readInfo(file, texture, __LINE__, &bytes, &descriptor)) return false;
    if (fread(texture->imageData, 1, bytes, file) != bytes) return fail(file, texture, "Could not read image data");
    size_t step = size_t(texture->bitsPerPixel / 8);
    for (size_t i = 0; i < bytes; i += step) {
        unsigned char blue = texture->imageData[i];
        texture->imageData[i] = texture->imageData[i + 2];
        texture->imageData[i + 2] = blue;
    }
    toBottomUpLeftToRight(texture, descriptor);
    fclose(file);
    return true;
}

bool loadCompressed(FILE* file, Texture* texture) {
    size_t bytes;
    int descriptor;
    if (!readInfo(file, texture, __LINE__, &bytes, &descriptor)) return false;
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
    toBottomUpLeftToRight(texture, descriptor);
    fclose(file);
    return true;
}

// What makes a 12-byte header differ from the two the loader takes, for the box that
// follows "TGA file be type 2 or type 10 ".
void describeHeader(const unsigned char* h, char* out, size_t size) {
    char found[300] = "";
    auto add = [&](const char* format, int a, int b) {
        size_t used = strlen(found);
        snprintf(found + used, sizeof found - used, "%s", used ? ", " : "");
        used = strlen(found);
        snprintf(found + used, sizeof found - used, format, a, b);
    };
    if (h[2] != 2 && h[2] != 10) {
        const char* kind = h[2] == 0    ? " (no image data)"
                           : h[2] == 1  ? " (colour-mapped)"
                           : h[2] == 3  ? " (greyscale)"
                           : h[2] == 9  ? " (run-length colour-mapped)"
                           : h[2] == 11 ? " (run-length greyscale)"
                                        : "";
        add("image type %d", h[2], 0);
        size_t used = strlen(found);
        snprintf(found + used, sizeof found - used, "%s", kind);
    }
    if (h[0]) add("an image ID field of %d bytes", h[0], 0);
    if (h[1] || h[3] || h[4] || h[5] || h[6] || h[7])
        add("a colour map (map type %d, %d entries)", h[1], h[5] | h[6] << 8);
    if (h[8] || h[9] || h[10] || h[11]) add("an origin of (%d, %d)", h[8] | h[9] << 8, h[10] | h[11] << 8);
    snprintf(out, size,
             "TGA file be type 2 or type 10 \n\nThis file has %s. The loader takes uncompressed (type 2) or "
             "run-length (type 10) true-colour images without an image ID field, a colour map or an origin; "
             "festoonery-tool image-import converts other images.",
             found);
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
    char message[600];
    describeHeader(header, message, sizeof message);
    box(message, "Invalid Image");
    fclose(file);
    return false;
}
