#include "util/texture/png_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/data/data.h"

namespace {

const unsigned char kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
int32_t be16(const unsigned char* p) { return int32_t(p[0]) << 8 | p[1]; }

// Adam7: first column, column step, first row, row step of each pass (index 1 to 7).
const uint32_t kPassX0[8] = {0, 0, 4, 0, 2, 0, 1, 0};
const uint32_t kPassDx[8] = {1, 8, 8, 4, 4, 2, 2, 1};
const uint32_t kPassY0[8] = {0, 0, 0, 4, 0, 2, 0, 1};
const uint32_t kPassDy[8] = {1, 8, 8, 8, 4, 4, 2, 2};

uint32_t passCount(uint32_t size, uint32_t first, uint32_t step) {
    return size > first ? (size - first + step - 1) / step : 0;
}

int paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

}  // namespace

PvGenericPngDecoder::PvGenericPngDecoder() = default;

PvGenericPngDecoder::~PvGenericPngDecoder() { free(palette_); }

int PvGenericPngDecoder::decode(const char* path) {
    failure_ = "";
    FILE* file = dataOpen(path, "rb");
    if (!file) {
        failure_ = "The file cannot be opened.";
        return -1;
    }
    fseek(file, 0, SEEK_END);
    long fileLength = ftell(file);
    rewind(file);
    if (fileLength < 0) fileLength = 0;
    unsigned char signature[8];
    if (fread(signature, 1, 8, file) != 8 || memcmp(signature, kSignature, 8) != 0) {
        failure_ = "The file does not start with the PNG signature (89 50 4E 47 0D 0A 1A 0A): it is no PNG file.";
        fclose(file);
        return -1;
    }
    // All IDAT data together is never longer than the file.
    size_t capacity = size_t(fileLength);
    unsigned char* data = static_cast<unsigned char*>(malloc(capacity ? capacity : 1));
    if (!data) {
        failure_ = "Not enough memory for the image data.";
        fclose(file);
        return -1;
    }
    size_t dataSize = 0;
    size_t position = 8;
    for (;;) {
        unsigned char head[8];
        if (fread(head, 1, 8, file) != 8) break;
        position += 8;
        uint32_t length = be32(head);
        const unsigned char* type = head + 4;
        // A chunk longer than the rest of the file cannot be read completely.
        if (length > size_t(fileLength) - position) break;
        unsigned char* chunk = nullptr;
        if (length) {
            chunk = static_cast<unsigned char*>(malloc(length));
            if (!chunk) break;
            if (fread(chunk, 1, length, file) != length) {
                free(chunk);
                break;
            }
        }
        position += length;
        unsigned char crc[4];
        bool crcRead = fread(crc, 1, 4, file) == 4;
        position += 4;

        bool end = false;
        if (memcmp(type, "IDAT", 4) == 0) {
            if (length <= capacity - dataSize) {
                if (length) memcpy(data + dataSize, chunk, length);
                dataSize += length;
            }
        } else if (memcmp(type, "IEND", 4) == 0) {
            end = true;
        } else if (memcmp(type, "IHDR", 4) == 0) {
            if (length > 12) {
                width_ = be32(chunk);
                height_ = be32(chunk + 4);
                bitDepth_ = chunk[8];
                colourType_ = chunk[9];
                compressionMethod_ = chunk[10];
                filterMethod_ = chunk[11];
                interlaceMethod_ = chunk[12];
                ++headerCount_;
            }
        } else if (memcmp(type, "PLTE", 4) == 0) {
            if (length % 3 != 0) {
                failure_ = "The PLTE chunk's length is not a multiple of 3 (damaged palette).";
                free(chunk);
                free(data);
                fclose(file);
                return -1;
            }
            free(palette_);
            palette_ = chunk;
            paletteCount_ = int(length / 3);
            chunk = nullptr;
        } else if (memcmp(type, "gAMA", 4) == 0) {
            if (length >= 4) gamma_ = int32_t(be32(chunk));
        } else if (memcmp(type, "tRNS", 4) == 0) {
            if (colourType_ == 0) {
                if (length >= 2) keys_[0] = be16(chunk);
            } else if (colourType_ == 2) {
                if (length >= 6) {
                    keys_[0] = be16(chunk);
                    keys_[1] = be16(chunk + 2);
                    keys_[2] = be16(chunk + 4);
                }
            } else if (colourType_ == 3) {
                // One alpha per palette entry, in palette order; later entries stay opaque.
                paletteAlphaCount_ = int(length < 256 ? length : 256);
                if (paletteAlphaCount_) memcpy(paletteAlpha_, chunk, size_t(paletteAlphaCount_));
            }
        }
        free(chunk);
        if (end || !crcRead) break;
    }

    compressedSize_ = dataSize;
    if (prepareImage() == 1) {
        inflateEnd_ = inflateZlib(data, dataSize, this);
        finishImage();
    }
    free(data);
    fclose(file);
    return 1;
}

PvRawPngDecoder::~PvRawPngDecoder() {
    if (ownsBuffer_) free(rgba_);
    free(rowBuffers_);
}

int PvRawPngDecoder::prepareImage() {
    uint32_t w = width_;
    // Supported (colour type, bit depth) pairs.
    switch (colourType_ * 100 + bitDepth_) {
        case 1: pixelBytes_ = 1; pixelsPerByte_ = 8; break;    // grey 1
        case 8: pixelBytes_ = 1; pixelsPerByte_ = 1; break;    // grey 8
        case 208: pixelBytes_ = 3; pixelsPerByte_ = 1; break;  // truecolour 8
        case 216: pixelBytes_ = 6; pixelsPerByte_ = 1; break;  // truecolour 16
        case 304: pixelBytes_ = 1; pixelsPerByte_ = 2; break;  // indexed 4
        case 308: pixelBytes_ = 1; pixelsPerByte_ = 1; break;  // indexed 8
        case 408: pixelBytes_ = 2; pixelsPerByte_ = 1; break;  // grey with alpha 8
        case 608: pixelBytes_ = 4; pixelsPerByte_ = 1; break;  // truecolour with alpha 8
        default: return 0;
    }
    // Refused as damaged: no or several IHDR chunks, an empty or oversized image, or an
    // interlace method that cannot be decoded.
    if (headerCount_ != 1 || w == 0 || height_ == 0 || w > kPngMaxDimension ||
        height_ > kPngMaxDimension || interlaceMethod_ > 1)
        return 0;
    rowLength_ = pixelsPerByte_ > 1 ? (w + uint32_t(pixelsPerByte_) - 1) / uint32_t(pixelsPerByte_)
                                    : w * uint32_t(pixelBytes_);
    // Deflate expands a byte into at most 1032 (a 258-byte match coded in two bits): an
    // image the collected data cannot fill is refused before its buffer is allocated, so
    // a few bytes declaring 16384 x 16384 pixels never cost a gigabyte.
    constexpr uint64_t kMaxInflateRatio = 1032;
    if (uint64_t(rowLength_) * height_ > (uint64_t(compressedSize_) + 1) * kMaxInflateRatio) return 0;

    if (ownsBuffer_) free(rgba_);
    // Zeroed so that pixels the stream never sets (indices beyond the palette, a
    // damaged stream) read as transparent black rather than as stale memory.
    rgba_ = static_cast<unsigned char*>(calloc(size_t(w) * height_, 4));
    ownsBuffer_ = 1;
    free(rowBuffers_);
    rowBuffers_ = static_cast<unsigned char*>(calloc(2, rowLength_));
    if (!rgba_ || !rowBuffers_) {
        free(rgba_);
        free(rowBuffers_);
        rgba_ = nullptr;
        rowBuffers_ = nullptr;
        return 0;
    }
    outputWidth_ = w;
    outputHeight_ = height_;
    current_ = rowBuffers_;
    previous_ = rowBuffers_ + rowLength_;
    pixelIndex_ = -1;
    rowCounter_ = 0;
    sampleBytes_ = 0;
    bytePos_ = 0;
    pass_ = 1;
    complete_ = false;
    startPass();
    return 1;
}

// Sets the row geometry of the current pass, skipping empty Adam7 passes; the first
// row of a pass has no row above it.
void PvRawPngDecoder::startPass() {
    if (interlaceMethod_ == 0) {
        rowPixels_ = outputWidth_;
        passRows_ = outputHeight_;
    } else {
        for (; pass_ <= 7; ++pass_) {
            rowPixels_ = passCount(outputWidth_, kPassX0[pass_], kPassDx[pass_]);
            passRows_ = passCount(outputHeight_, kPassY0[pass_], kPassDy[pass_]);
            if (rowPixels_ && passRows_) break;
        }
        if (pass_ > 7) complete_ = true;
    }
    memset(previous_, 0, rowLength_);
}

void PvRawPngDecoder::finishRow() {
    ++rowCounter_;
    pixelIndex_ = -1;
    unsigned char* swap = current_;
    current_ = previous_;
    previous_ = swap;
    if (rowCounter_ < passRows_) return;
    if (interlaceMethod_ == 0) {
        complete_ = true;
        return;
    }
    ++pass_;
    rowCounter_ = 0;
    startPass();
}

void PvRawPngDecoder::put(uint32_t q, const unsigned char* pixel) {
    uint32_t x = q, y = rowCounter_;
    if (interlaceMethod_ == 1) {
        // Adam7 places only the 8- and 16-bit pairs.
        if (pixelsPerByte_ > 1) return;
        x = kPassX0[pass_] + q * kPassDx[pass_];
        y = kPassY0[pass_] + rowCounter_ * kPassDy[pass_];
    }
    if (x >= outputWidth_ || y >= outputHeight_) return;
    memcpy(rgba_ + (size_t(y) * outputWidth_ + x) * 4, pixel, 4);
}

static bool isKey(const int32_t* keys, int value) {
    return value == keys[0] || value == keys[1] || value == keys[2];
}

void PvRawPngDecoder::writePixels() {
    const unsigned char* p = current_ + bytePos_ - pixelBytes_;
    unsigned char out[4];
    switch (colourType_ * 100 + bitDepth_) {
        case 1:  // grey 1: eight pixels, most significant bit first
            for (int bit = 7; bit >= 0 && uint32_t(pixelIndex_) < rowPixels_; --bit) {
                unsigned char v = (p[0] >> bit) & 1 ? 255 : 0;
                out[0] = out[1] = out[2] = v;
                out[3] = 0;
                put(uint32_t(pixelIndex_++), out);
            }
            return;
        case 8:
            out[0] = out[1] = out[2] = p[0];
            out[3] = isKey(keys_, p[0]) ? 0 : 255;
            break;
        case 208:
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            out[3] = p[0] == keys_[0] && p[1] == keys_[1] && p[2] == keys_[2] ? 0 : 255;
            break;
        case 216:
            last16_[0] = uint16_t(p[0] << 8 | p[1]);
            last16_[1] = uint16_t(p[2] << 8 | p[3]);
            last16_[2] = uint16_t(p[4] << 8 | p[5]);
            out[0] = p[0];
            out[1] = p[2];
            out[2] = p[4];
            out[3] = last16_[0] == keys_[0] && last16_[1] == keys_[1] && last16_[2] == keys_[2] ? 0 : 255;
            break;
        case 304:  // indexed 4: two pixels, high nibble first
            for (int shift = 4; shift >= 0 && uint32_t(pixelIndex_) < rowPixels_; shift -= 4) {
                int index = (p[0] >> shift) & 15;
                if (index < paletteCount_) {
                    memcpy(out, palette_ + index * 3, 3);
                    out[3] = uint8_t(paletteAlpha(index));
                    put(uint32_t(pixelIndex_), out);
                }
                ++pixelIndex_;
            }
            return;
        case 308:
            if (p[0] >= paletteCount_) {
                ++pixelIndex_;  // beyond the palette: left unwritten
                return;
            }
            memcpy(out, palette_ + p[0] * 3, 3);
            out[3] = uint8_t(paletteAlpha(p[0]));
            break;
        case 408:
            out[0] = out[1] = out[2] = p[0];
            out[3] = p[1];
            break;
        default:  // 608
            memcpy(out, p, 4);
            break;
    }
    put(uint32_t(pixelIndex_++), out);
}

int PvRawPngDecoder::receiveByte(unsigned char byte) {
    if (complete_ || !rgba_) return 0;
    if (pixelIndex_ == -1) {
        filterType_ = byte;
        pixelIndex_ = 0;
        sampleBytes_ = 0;
        bytePos_ = 0;
        return 1;
    }
    current_[bytePos_++] = byte;
    if (++sampleBytes_ < pixelBytes_) return 1;
    sampleBytes_ = 0;
    int bpp = pixelBytes_;
    for (uint32_t i = bytePos_ - uint32_t(bpp); i < bytePos_; ++i) {
        int a = i >= uint32_t(bpp) ? current_[i - bpp] : 0;
        int b = previous_[i];
        int c = i >= uint32_t(bpp) ? previous_[i - bpp] : 0;
        switch (filterType_) {
            case 1: current_[i] = uint8_t(current_[i] + a); break;
            case 2: current_[i] = uint8_t(current_[i] + b); break;
            case 3: current_[i] = uint8_t(current_[i] + (a + b) / 2); break;
            case 4: current_[i] = uint8_t(current_[i] + paeth(a, b, c)); break;
            default: break;
        }
    }
    writePixels();
    if (uint32_t(pixelIndex_) >= rowPixels_) finishRow();
    return 1;
}

int PvRawPngDecoder::finishImage() { return 1; }

void PvRawPngDecoder::flipVertically() {
    if (!rgba_) return;
    size_t stride = size_t(outputWidth_) * 4;
    for (uint32_t i = 0; i < outputHeight_ / 2; ++i) {
        unsigned char* top = rgba_ + stride * i;
        unsigned char* bottom = rgba_ + stride * (outputHeight_ - 1 - i);
        for (size_t k = 0; k < stride; ++k) {
            unsigned char t = top[k];
            top[k] = bottom[k];
            bottom[k] = t;
        }
    }
}
