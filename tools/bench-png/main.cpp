// PNG decode throughput, in MB/s of decoded RGBA pixels (1 MB = 10^6 bytes), of the
// engine's loader (PvRawPngDecoder plus the flip, as the texture gets it) beside
// libpng on the same file in the same run. The file is a 1024 x 1024 RGBA image
// written by libpng with its default compression and adaptive filters.
//
// Usage: festoonery-bench-png [ROUNDS] [FILE.png]   (default 20 rounds, a made-up image)
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "util/texture/texture.h"

namespace {

// Smooth gradients with a little noise and some flat areas: like artwork, not like
// noise, so the compressor has real work of both kinds.
std::vector<unsigned char> makeImage(int w, int h) {
    std::vector<unsigned char> p(size_t(w) * h * 4);
    uint32_t state = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            unsigned char noise = (state >> 28) & 7;
            unsigned char* q = &p[(size_t(y) * w + x) * 4];
            bool flat = ((x / 128) + (y / 128)) % 3 == 0;
            q[0] = flat ? 40 : (unsigned char)(x / 4 + noise);
            q[1] = flat ? 90 : (unsigned char)(y / 4 + noise);
            q[2] = flat ? 200 : (unsigned char)((x + y) / 8);
            q[3] = flat ? 255 : (unsigned char)(255 - ((x * y) >> 12));
        }
    return p;
}

bool writePng(const char* path, int w, int h, const std::vector<unsigned char>& pixels) {
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, &pixels[size_t(y) * w * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f) == 0;
}

// libpng decoding the same file to 8-bit RGBA rows, top first.
bool decodeLibpng(const char* path, std::vector<unsigned char>* out, int* w, int* h) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    *w = int(png_get_image_width(png, info));
    *h = int(png_get_image_height(png, info));
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    out->resize(size_t(*w) * size_t(*h) * 4);
    std::vector<png_bytep> rows(static_cast<size_t>(*h));
    for (int y = 0; y < *h; ++y) rows[size_t(y)] = out->data() + size_t(y) * size_t(*w) * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return true;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    platform::setUiBackend(platform::UiBackend::Script);
    int rounds = argc > 1 ? atoi(argv[1]) : 20;
    if (rounds < 1) rounds = 1;
    std::string path;
    if (argc > 2) {
        path = argv[2];
    } else {
        path = "/tmp/festoonery-bench-" + std::to_string(getpid()) + ".png";
        if (!writePng(path.c_str(), 1024, 1024, makeImage(1024, 1024))) {
            fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
    }
    FILE* f = fopen(path.c_str(), "rb");
    long fileSize = 0;
    if (f) {
        fseek(f, 0, SEEK_END);
        fileSize = ftell(f);
        fclose(f);
    }

    std::vector<unsigned char> reference;
    int w = 0, h = 0;
    if (!decodeLibpng(path.c_str(), &reference, &w, &h)) {
        fprintf(stderr, "libpng could not decode %s\n", path.c_str());
        return 1;
    }
    // The same pixels first: the engine's buffer is bottom row first.
    Texture texture;
    memset(&texture, 0, sizeof texture);
    if (!loadPNG(&texture, path.c_str())) {
        fprintf(stderr, "the engine refused %s\n", path.c_str());
        return 1;
    }
    size_t stride = size_t(w) * 4;
    for (int y = 0; y < h; ++y) {
        if (memcmp(texture.imageData + size_t(h - 1 - y) * stride, &reference[size_t(y) * stride], stride) != 0) {
            fprintf(stderr, "pixels differ from libpng in row %d\n", y);
            return 1;
        }
    }
    free(texture.imageData);

    double engineTime = 0, libpngTime = 0;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        memset(&texture, 0, sizeof texture);
        loadPNG(&texture, path.c_str());
        engineTime += seconds(start);
        free(texture.imageData);
        start = std::chrono::steady_clock::now();
        std::vector<unsigned char> pixels;
        decodeLibpng(path.c_str(), &pixels, &w, &h);
        libpngTime += seconds(start);
    }
    double megabytes = double(stride) * h / 1e6;
    double engineRate = megabytes * rounds / engineTime, libpngRate = megabytes * rounds / libpngTime;
    printf("file %s: %d x %d RGBA, %ld bytes, %d rounds each\n", path.c_str(), w, h, fileSize, rounds);
    printf("engine decoder: %8.1f MB/s of pixels (%.2f ms per image)\n", engineRate, 1000 * engineTime / rounds);
    printf("libpng %-8s: %8.1f MB/s of pixels (%.2f ms per image)\n", PNG_LIBPNG_VER_STRING, libpngRate,
           1000 * libpngTime / rounds);
    printf("ratio engine / libpng: %.2f\n", engineRate / libpngRate);
    if (argc <= 2) remove(path.c_str());
    return 0;
}
