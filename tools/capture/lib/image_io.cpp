#include "image_io.h"

#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace offline {

namespace {

void put32(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

void putLE32(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

void putLE16(unsigned char* p, uint16_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

bool writeChunk(FILE* out, const char type[4], const unsigned char* data, uint32_t length) {
    unsigned char head[8];
    put32(head, length);
    memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (length > 0) crc = crc32(crc, data, length);
    unsigned char tail[4];
    put32(tail, uint32_t(crc));
    if (fwrite(head, 1, 8, out) != 8) return false;
    if (length > 0 && fwrite(data, 1, length, out) != length) return false;
    return fwrite(tail, 1, 4, out) == 4;
}

// IDAT chunks of at most this many bytes each.
constexpr uInt kChunkBytes = 1 << 18;

}  // namespace

bool writePngStream(FILE* out, int width, int height, const unsigned char* rgba, long stride,
                    bool bottomUp, bool keepAlpha, int level) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (fwrite(kSignature, 1, 8, out) != 8) return false;
    unsigned char header[13];
    put32(header, uint32_t(width));
    put32(header + 4, uint32_t(height));
    header[8] = 8;   // bits per sample
    header[9] = keepAlpha ? 6 : 2;  // RGBA or RGB
    header[10] = 0;  // deflate
    header[11] = 0;  // adaptive filtering
    header[12] = 0;  // no interlace
    if (!writeChunk(out, "IHDR", header, 13)) return false;

    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit(&z, level) != Z_OK) return false;
    const size_t channels = keepAlpha ? 4 : 3;
    const size_t rowBytes = size_t(width) * channels;
    // One filtered row at a time: filter type 1 (Sub), each byte minus the byte of the
    // pixel to its left, which shrinks the flat areas of these frames a lot.
    unsigned char* row = static_cast<unsigned char*>(malloc(rowBytes + 1));
    unsigned char* chunk = static_cast<unsigned char*>(malloc(kChunkBytes));
    bool ok = row && chunk;
    z.next_out = chunk;
    z.avail_out = kChunkBytes;
    for (int y = 0; ok && y <= height; ++y) {
        int flush = y == height ? Z_FINISH : Z_NO_FLUSH;
        if (y < height) {
            const unsigned char* src = rgba + long(bottomUp ? height - 1 - y : y) * stride;
            unsigned char* dst = row + 1;
            row[0] = 1;
            if (keepAlpha) {
                memcpy(dst, src, rowBytes);
            } else {
                for (int x = 0; x < width; ++x) memcpy(dst + 3 * x, src + 4 * x, 3);
            }
            for (size_t i = rowBytes - 1; i >= channels; --i) dst[i] = (unsigned char)(dst[i] - dst[i - channels]);
            z.next_in = row;
            z.avail_in = uInt(rowBytes + 1);
        } else {
            z.next_in = nullptr;
            z.avail_in = 0;
        }
        for (;;) {
            int result = deflate(&z, flush);
            if (result == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            if (z.avail_out == 0 || (flush == Z_FINISH && result == Z_STREAM_END)) {
                uint32_t used = kChunkBytes - z.avail_out;
                if (used > 0 && !writeChunk(out, "IDAT", chunk, used)) {
                    ok = false;
                    break;
                }
                z.next_out = chunk;
                z.avail_out = kChunkBytes;
            }
            if (flush == Z_FINISH ? result == Z_STREAM_END : z.avail_in == 0) break;
        }
    }
    deflateEnd(&z);
    free(row);
    free(chunk);
    return ok && writeChunk(out, "IEND", nullptr, 0);
}

bool writePng(const char* path, int width, int height, const unsigned char* rgba, long stride,
              bool bottomUp, bool keepAlpha, int level, std::string* error) {
    FILE* out = fopen(path, "wb");
    if (!out) {
        *error = std::string("cannot create ") + path + ": " + strerror(errno);
        return false;
    }
    bool ok = writePngStream(out, width, height, rgba, stride, bottomUp, keepAlpha, level);
    int writeErrno = errno;
    if (fclose(out) != 0 && ok) {
        ok = false;
        writeErrno = errno;
    }
    if (!ok) {
        *error = std::string("cannot write ") + path + ": " + strerror(writeErrno);
        remove(path);
    }
    return ok;
}

WavWriter::~WavWriter() {
    if (file_) fclose(file_);
}

bool WavWriter::open(const char* path, int rate, std::string* error) {
    path_ = path;
    rate_ = rate;
    frames_ = 0;
    failed_ = false;
    file_ = fopen(path, "wb");
    if (!file_) {
        *error = std::string("cannot create ") + path + ": " + strerror(errno);
        return false;
    }
    unsigned char header[44] = {};
    if (fwrite(header, 1, 44, file_) != 44) failed_ = true;  // completed by finish()
    return true;
}

bool WavWriter::append(const int16_t* interleaved, int64_t frames) {
    if (!file_ || failed_) return false;
    // WAV samples are little-endian, as this machine's are.
    size_t values = size_t(frames) * 2;
    if (fwrite(interleaved, sizeof(int16_t), values, file_) != values) failed_ = true;
    frames_ += frames;
    return !failed_;
}

bool WavWriter::finish(std::string* error) {
    if (!file_) {
        *error = "no WAV file open";
        return false;
    }
    uint64_t dataBytes = uint64_t(frames_) * 4;
    if (dataBytes > 0xffffffffull - 36) {
        failed_ = true;
        errno = EFBIG;
    }
    unsigned char h[44];
    memcpy(h, "RIFF", 4);
    putLE32(h + 4, uint32_t(36 + dataBytes));
    memcpy(h + 8, "WAVEfmt ", 8);
    putLE32(h + 16, 16);
    putLE16(h + 20, 1);  // PCM
    putLE16(h + 22, 2);  // channels
    putLE32(h + 24, uint32_t(rate_));
    putLE32(h + 28, uint32_t(rate_) * 4);  // bytes per second
    putLE16(h + 32, 4);                    // bytes per frame
    putLE16(h + 34, 16);                   // bits per sample
    memcpy(h + 36, "data", 4);
    putLE32(h + 40, uint32_t(dataBytes));
    if (!failed_ && (fseek(file_, 0, SEEK_SET) != 0 || fwrite(h, 1, 44, file_) != 44)) failed_ = true;
    int writeErrno = errno;
    if (fclose(file_) != 0 && !failed_) {
        failed_ = true;
        writeErrno = errno;
    }
    file_ = nullptr;
    if (failed_) {
        *error = std::string("cannot write ") + path_ + ": " + strerror(writeErrno);
        remove(path_.c_str());
        return false;
    }
    return true;
}

}  // namespace offline
