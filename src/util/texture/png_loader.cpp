// The texture's ".png" loader: decodes with PvRawPngDecoder and hands the RGBA
// buffer, flipped bottom row first, to the texture.
#include "main/log.h"
#include "util/texture/png_decoder.h"
#include "util/texture/texture.h"

bool loadPNG(Texture* texture, const char* path) {
    PvRawPngDecoder decoder;
    if (decoder.decode(path) == -1) {
        logLine("%s:%i: Failed to open/decode %s!\n", __FILE__, __LINE__, path);
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
    errorAt(__FILE__, __LINE__, "Invalid texture information");
    texture->imageData = nullptr;
    return false;
}
