// The texture's ".png" loader: decodes with PvRawPngDecoder and hands the RGBA
// buffer, flipped bottom row first, to the texture.
#include <cstdio>

#include "log.h"
#include "util/texture/png_decoder.h"
#include "util/texture/texture.h"

namespace {

// Why a decoded file does not become a texture, and what would, for the box that
// follows "Invalid texture information".
void describeRefusal(const PvRawPngDecoder& d, char* out, size_t size) {
    const char* take = "Textures take 8-bit PNG files (8 bits per sample, any colour type); "
                       "festoonery-tool image-import converts other images.";
    int type = d.colourType();
    bool knownType = type == 0 || type == 2 || type == 3 || type == 4 || type == 6;
    if (d.headerCount() != 1) {
        snprintf(out, size, "The file has %d IHDR chunks; a PNG file has exactly one. %s", d.headerCount(), take);
    } else if (d.bitDepth() != 8) {
        snprintf(out, size, "The image has a bit depth of %d (colour type %d). %s", d.bitDepth(), type, take);
    } else if (!knownType) {
        snprintf(out, size, "Colour type %d is not a PNG colour type (0, 2, 3, 4 or 6). %s", type, take);
    } else if (d.width() == 0 || d.height() == 0) {
        snprintf(out, size, "The header gives an empty image of %u x %u pixels.", unsigned(d.width()),
                 unsigned(d.height()));
    } else if (d.width() > kPngMaxDimension || d.height() > kPngMaxDimension) {
        snprintf(out, size, "The image is %u x %u pixels; textures are at most %u pixels wide and high.",
                 unsigned(d.width()), unsigned(d.height()), unsigned(kPngMaxDimension));
    } else if (d.interlaceMethod() > 1) {
        snprintf(out, size, "Interlace method %d is unknown; PNG files use 0 (none) or 1 (Adam7).",
                 d.interlaceMethod());
    } else if (d.outputWidth() == 0) {
        snprintf(out, size, "The image data is far too short for %u x %u pixels (damaged or truncated "
                 "file), or there is not enough memory for them.", unsigned(d.width()), unsigned(d.height()));
    } else {
        snprintf(out, size, "The image data ends before the last row of %u x %u pixels (damaged or "
                 "truncated file).", unsigned(d.width()), unsigned(d.height()));
    }
}

}  // namespace

bool loadPNG(Texture* texture, const char* path) {
    PvRawPngDecoder decoder;
    if (decoder.decode(path) == -1) {
        logLine("%s:%i: Failed to open/decode %s!\n", __FILE__, __LINE__, path);
        logLine("  %s\n", decoder.decodeFailure());
        return false;
    }
    decoder.flipVertically();
    int bitsPerPixel = 4 * decoder.bitDepth();
    // An image whose data stream ended before its last row is refused like an
    // unsupported one rather than shown half decoded.
    if (decoder.outputWidth() != 0 && decoder.outputHeight() != 0 &&
        (bitsPerPixel == 24 || bitsPerPixel == 32) && decoder.complete()) {
        texture->width = int(decoder.outputWidth());
        texture->height = int(decoder.outputHeight());
        texture->bitsPerPixel = bitsPerPixel;
        texture->format = bitsPerPixel == 24 ? GL_RGB : GL_RGBA;
        texture->imageData = decoder.rgba();
        decoder.setOwnsBuffer(0);
        return true;
    }
    char reason[400];
    describeRefusal(decoder, reason, sizeof reason);
    char message[500];
    snprintf(message, sizeof message, "Invalid texture information\n\n%s", reason);
    errorAt(__FILE__, __LINE__, message);
    texture->imageData = nullptr;
    return false;
}
