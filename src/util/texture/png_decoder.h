// The engine's PNG decoder. PvGenericPngDecoder reads the file, parses the chunks and
// inflates the image data into three virtual operations; PvRawPngDecoder implements
// them and builds a 32-bit RGBA image, rows top to bottom. No CRC and no Adler-32
// checksum is verified.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/texture/inflate.h"

// Images larger than this in either direction are refused (pixels).
constexpr uint32_t kPngMaxDimension = 16384;

class PvGenericPngDecoder : public InflateSink {
public:
    PvGenericPngDecoder();
    ~PvGenericPngDecoder() override;
    PvGenericPngDecoder(const PvGenericPngDecoder&) = delete;
    PvGenericPngDecoder& operator=(const PvGenericPngDecoder&) = delete;

    // 1, or -1 when the file cannot be opened, has no PNG signature or has a PLTE
    // chunk whose length is not a multiple of 3 (decodeFailure() says which). 1 does not
    // mean that pixels were produced: an unsupported format or a damaged stream still
    // returns 1.
    int decode(const char* path);
    // Why the last decode() returned -1, as a sentence; "" after a decode that returned 1.
    const char* decodeFailure() const { return failure_; }

    // 1 to go on decoding, 0 to skip decoding.
    virtual int prepareImage() = 0;
    // 1 to continue, any other value stops the decompressor.
    int receiveByte(unsigned char byte) override = 0;
    virtual int finishImage() = 0;

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    int bitDepth() const { return bitDepth_; }
    int colourType() const { return colourType_; }
    int interlaceMethod() const { return interlaceMethod_; }
    int paletteCount() const { return paletteCount_; }
    // Grey and truecolour transparency keys (tRNS); indexed images use paletteAlpha.
    int32_t transparencyKey(int i) const { return keys_[i]; }
    // Alpha of palette entry index: its tRNS byte, 255 for entries the chunk does not reach.
    int paletteAlpha(int index) const { return index >= 0 && index < paletteAlphaCount_ ? paletteAlpha_[index] : 255; }
    int32_t gamma() const { return gamma_; }
    int headerCount() const { return headerCount_; }
    // How inflating the last decoded file ended (Finished when it was never started).
    InflateEnd inflateEnd() const { return inflateEnd_; }

protected:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int bitDepth_ = 0;
    int colourType_ = 0;
    int compressionMethod_ = 0;
    int filterMethod_ = 0;
    int interlaceMethod_ = 0;
    int paletteCount_ = 0;
    unsigned char* palette_ = nullptr;  // 3 bytes (R, G, B) per entry
    // Compared with grey and truecolour samples; the initial value matches no sample.
    int32_t keys_[3] = {2147483647, 2147483647, 2147483647};
    // Indexed images: tRNS holds one alpha per palette entry, in palette order.
    unsigned char paletteAlpha_[256] = {};
    int paletteAlphaCount_ = 0;
    const char* failure_ = "";
    int32_t gamma_ = 100000;  // stored, never applied
    int headerCount_ = 0;     // IHDR chunks seen; anything but 1 is refused
    size_t compressedSize_ = 0;  // bytes of IDAT data collected, known before prepareImage
    InflateEnd inflateEnd_ = InflateEnd::Finished;
};

class PvRawPngDecoder : public PvGenericPngDecoder {
public:
    PvRawPngDecoder() = default;
    ~PvRawPngDecoder() override;

    int prepareImage() override;
    int receiveByte(unsigned char byte) override;
    int finishImage() override;

    // Swaps row i with row height - 1 - i, turning the top-down buffer bottom-up.
    void flipVertically();

    uint32_t outputWidth() const { return outputWidth_; }
    uint32_t outputHeight() const { return outputHeight_; }
    unsigned char* rgba() const { return rgba_; }
    // 0 hands the RGBA buffer to someone else: the destructor no longer releases it.
    void setOwnsBuffer(int owns) { ownsBuffer_ = owns; }
    // Whether every row of the image (of every Adam7 pass) was received.
    bool complete() const { return complete_; }

private:
    void startPass();
    void finishRow();
    void writePixels();
    void put(uint32_t q, const unsigned char* pixel);

    uint32_t outputWidth_ = 0;
    uint32_t outputHeight_ = 0;
    unsigned char* rgba_ = nullptr;  // outputWidth * outputHeight * 4 bytes, zeroed
    int ownsBuffer_ = 1;
    int filterType_ = 0;
    int32_t pixelIndex_ = -1;  // -1: the next byte is a filter byte
    uint32_t rowCounter_ = 0;  // rows completed (within the pass when interlaced)
    int sampleBytes_ = 0;
    uint32_t bytePos_ = 0;
    int pass_ = 1;
    unsigned char* rowBuffers_ = nullptr;  // two rows of rowLength_ bytes
    unsigned char* current_ = nullptr;
    unsigned char* previous_ = nullptr;
    uint32_t rowLength_ = 0;     // bytes of a full image row
    int pixelBytes_ = 1;         // bytes per pixel; 1 for the packed depths
    int pixelsPerByte_ = 1;      // 8 for 1-bit grey, 2 for 4-bit indexed
    uint32_t rowPixels_ = 0;     // pixels in the rows of the current pass
    uint32_t passRows_ = 0;      // rows in the current pass
    bool complete_ = false;
    uint16_t last16_[3] = {0, 0, 0};  // red, green, blue of the last 16-bit pixel
};
