#include "util/texture/loader_image.h"

#include "log.h"
#include "util/texture/texture.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

LoaderImage::~LoaderImage() { release(); }

void LoaderImage::release() {
    free(rows_);
    free(pixels_);
    rows_ = nullptr;
    pixels_ = nullptr;
    width_ = height_ = 0;
}

bool LoaderImage::setSize(int width, int height) {
    release();
    if (width < 0 || height < 0) return false;
    size_t count = size_t(width) * size_t(height) * size_t(type_);
    pixels_ = static_cast<unsigned char*>(malloc(count ? count : 1));
    rows_ = static_cast<unsigned char**>(malloc(sizeof(unsigned char*) * (height ? size_t(height) : 1)));
    if (!pixels_ || !rows_) {
        release();
        return false;
    }
    for (int y = 0; y < height; ++y) rows_[y] = pixels_ + size_t(y) * size_t(width) * size_t(type_);
    width_ = width;
    height_ = height;
    return true;
}

void LoaderImage::setPixel(int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    unsigned char* p = rows_[y] + size_t(x) * size_t(type_);
    if (type_ == 1) {
        int high = r > g ? (r > b ? r : b) : (g > b ? g : b);
        int low = r < g ? (r < b ? r : b) : (g < b ? g : b);
        p[0] = (unsigned char)((high + low) / 2);
        return;
    }
    p[0] = (unsigned char)r;
    p[1] = (unsigned char)b;
    p[2] = (unsigned char)g;
}

int LoaderImage::storedChannel(int x, int y, int channel) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || channel < 0 || channel >= type_) return -1;
    return rows_[y][size_t(x) * size_t(type_) + size_t(channel)];
}

unsigned char* LoaderImage::toRGBA() const {
    if (width_ == 0 || height_ == 0) return nullptr;
    unsigned char* out = static_cast<unsigned char*>(malloc(size_t(width_) * size_t(height_) * 4));
    if (!out) return nullptr;
    for (int y = 0; y < height_; ++y) {
        unsigned char* dst = out + size_t(height_ - 1 - y) * size_t(width_) * 4;
        const unsigned char* src = rows_[y];
        for (int x = 0; x < width_; ++x, dst += 4) {
            if (type_ == 1) {
                dst[0] = dst[1] = dst[2] = src[x];
            } else {
                const unsigned char* p = src + size_t(x) * 3;
                dst[0] = p[0];
                dst[1] = p[2];
                dst[2] = p[1];
            }
            dst[3] = 255;
        }
    }
    return out;
}

bool loaderImageToTexture(const LoaderImage& image, Texture* texture, const char* path,
                          const char* file, int line) {
    texture->width = image.width();
    texture->height = image.height();
    texture->bitsPerPixel = 32;
    texture->format = GL_RGBA;
    if (image.width() == 0 || image.height() == 0) {
        char message[200];
        snprintf(message, sizeof message, "Invalid texture information\n\nThe picture is %d x %d pixels: empty.",
                 image.width(), image.height());
        errorAt(file, line, message);
        texture->imageData = nullptr;
        return false;
    }
    texture->imageData = image.toRGBA();
    if (!texture->imageData) {
        logLine("Failed reading %s\n", path);
        return false;
    }
    return true;
}
