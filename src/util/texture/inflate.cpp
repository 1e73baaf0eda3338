#include "util/texture/inflate.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 10;
constexpr int kLitLenCodes = 288;
constexpr int kDistCodes = 32;

// A canonical Huffman code. Codes are matched first bit first (most significant bit
// of the code first), as RFC 1951 prescribes.
struct Huffman {
    uint16_t count[kMaxBits + 1];  // codes per length; count[0] is unused
    uint16_t symbol[kLitLenCodes];  // symbols ordered by code length, then by value
    // Lookup by the next kFastBits input bits (first bit in the lowest position):
    // length << 9 | symbol, or 0 where those bits do not start with a code that short.
    uint16_t fast[1 << kFastBits];
};

int reverseBits(int code, int length) {
    int out = 0;
    for (int i = 0; i < length; ++i) {
        out = (out << 1) | (code & 1);
        code >>= 1;
    }
    return out;
}

// False when the lengths over-subscribe (more codes than a prefix code can hold).
// Incomplete codes are accepted: an unassigned bit pattern fails when it is met.
bool buildHuffman(Huffman* h, const uint8_t* lengths, int n) {
    memset(h->count, 0, sizeof h->count);
    for (int s = 0; s < n; ++s) h->count[lengths[s]]++;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left = (left << 1) - h->count[len];
        if (left < 0) return false;
    }
    int offset[kMaxBits + 2];
    offset[1] = 0;
    for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + h->count[len];
    for (int s = 0; s < n; ++s)
        if (lengths[s]) h->symbol[offset[lengths[s]]++] = uint16_t(s);

    memset(h->fast, 0, sizeof h->fast);
    int code = 0;
    int index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
        for (int i = 0; i < h->count[len]; ++i) {
            uint16_t entry = uint16_t((len << 9) | h->symbol[index++]);
            for (int fill = reverseBits(code, len); fill < (1 << kFastBits); fill += 1 << len)
                h->fast[fill] = entry;
            ++code;
        }
        code <<= 1;
    }
    return true;
}

// Bits are taken from each byte least significant bit first. Past the end of the data
// the reader supplies zero bits and remembers that it ran over.
struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t pos;  // next byte to load (may pass size by the zero bytes supplied)
    uint64_t buffer;
    int count;

    void refill() {
        if (pos + 8 <= size) {
            uint64_t word = 0;
            for (int i = 0; i < 8; ++i) word |= uint64_t(data[pos + i]) << (8 * i);
            buffer |= word << count;
            int taken = (63 - count) >> 3;
            pos += size_t(taken);
            count += taken * 8;
            return;
        }
        while (count <= 56) {
            uint64_t byte = pos < size ? data[pos] : 0;
            ++pos;
            buffer |= byte << count;
            count += 8;
        }
    }
    bool overrun() const { return pos * 8 - size_t(count) > size * 8; }
    unsigned bits(int n) {
        if (count < n) refill();
        unsigned value = unsigned(buffer & ((uint64_t(1) << n) - 1));
        buffer >>= n;
        count -= n;
        return value;
    }
    // The next symbol of h, or -1 for a bit pattern that is no code.
    int decode(const Huffman& h) {
        if (count < kMaxBits) refill();
        unsigned entry = h.fast[buffer & ((1u << kFastBits) - 1)];
        if (entry) {
            int len = int(entry >> 9);
            buffer >>= len;
            count -= len;
            return int(entry & 511);
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= int(buffer & 1);
            buffer >>= 1;
            --count;
            int n = h.count[len];
            if (code - n < first) return h.symbol[index + (code - first)];
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        return -1;
    }
};

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

class Inflater {
public:
    Inflater(const uint8_t* data, size_t size, InflateSink* sink) : sink_(sink) {
        in_ = {data, size, 0, 0, 0};
    }
    ~Inflater() { free(window_); }

    InflateEnd run() {
        if (in_.size < 2) return InflateEnd::Truncated;
        unsigned cmf = in_.data[0], flg = in_.data[1];
        if ((cmf & 15) != 8 || (flg & 0x20) != 0 || (cmf >> 4) > 7) return InflateEnd::BadHeader;
        windowSize_ = size_t(1) << ((cmf >> 4) + 8);
        window_ = static_cast<uint8_t*>(malloc(windowSize_));
        if (!window_) return InflateEnd::BadHeader;
        in_.pos = 2;
        for (;;) {
            unsigned final = in_.bits(1);
            unsigned type = in_.bits(2);
            if (in_.overrun()) return InflateEnd::Truncated;
            InflateEnd end;
            if (type == 0) {
                end = stored();
            } else if (type == 1) {
                end = fixed();
            } else if (type == 2) {
                end = dynamic();
            } else {
                return InflateEnd::BadBlock;
            }
            if (end != InflateEnd::Finished) return end;
            if (final) return InflateEnd::Finished;
        }
    }

private:
    bool put(uint8_t byte) {
        window_[written_ & (windowSize_ - 1)] = byte;
        ++written_;
        return sink_->receiveByte(byte) == 1;
    }

    InflateEnd stored() {
        in_.bits(in_.count & 7);
        unsigned len = in_.bits(16);
        in_.bits(16);  // NLEN, not compared
        if (in_.overrun()) return InflateEnd::Truncated;
        // Continue byte-wise from the first byte not held in the bit buffer.
        size_t at = in_.pos - size_t(in_.count / 8);
        in_.pos = at;
        in_.buffer = 0;
        in_.count = 0;
        size_t available = in_.size - at;
        size_t n = len <= available ? len : available;
        for (size_t i = 0; i < n; ++i)
            if (!put(in_.data[at + i])) return InflateEnd::SinkStopped;
        in_.pos = at + n;
        return n == len ? InflateEnd::Finished : InflateEnd::Truncated;
    }

    InflateEnd fixed() {
        uint8_t lengths[kLitLenCodes + kDistCodes];
        int s = 0;
        for (; s < 144; ++s) lengths[s] = 8;
        for (; s < 256; ++s) lengths[s] = 9;
        for (; s < 280; ++s) lengths[s] = 7;
        for (; s < 288; ++s) lengths[s] = 8;
        for (; s < kLitLenCodes + kDistCodes; ++s) lengths[s] = 5;
        buildHuffman(&lit_, lengths, kLitLenCodes);
        buildHuffman(&dist_, lengths + kLitLenCodes, kDistCodes);
        return codes();
    }

    InflateEnd dynamic() {
        int hlit = int(in_.bits(5)) + 257;
        int hdist = int(in_.bits(5)) + 1;
        int hclen = int(in_.bits(4)) + 4;
        uint8_t codeLengths[19] = {0};
        for (int i = 0; i < hclen; ++i) codeLengths[kCodeLengthOrder[i]] = uint8_t(in_.bits(3));
        if (in_.overrun()) return InflateEnd::Truncated;
        Huffman lengthCode;
        if (!buildHuffman(&lengthCode, codeLengths, 19)) return InflateEnd::BadCode;

        uint8_t lengths[kLitLenCodes + kDistCodes] = {0};
        int total = hlit + hdist;
        int index = 0;
        while (index < total) {
            int symbol = in_.decode(lengthCode);
            if (in_.overrun()) return InflateEnd::Truncated;
            if (symbol < 0) return InflateEnd::BadCode;
            if (symbol < 16) {
                lengths[index++] = uint8_t(symbol);
                continue;
            }
            uint8_t value = 0;
            int repeat;
            if (symbol == 16) {
                if (index == 0) return InflateEnd::BadCode;
                value = lengths[index - 1];
                repeat = 3 + int(in_.bits(2));
            } else if (symbol == 17) {
                repeat = 3 + int(in_.bits(3));
            } else {
                repeat = 11 + int(in_.bits(7));
            }
            if (in_.overrun()) return InflateEnd::Truncated;
            if (index + repeat > total) return InflateEnd::BadCode;
            while (repeat--) lengths[index++] = value;
        }
        if (!buildHuffman(&lit_, lengths, hlit)) return InflateEnd::BadCode;
        if (!buildHuffman(&dist_, lengths + hlit, hdist)) return InflateEnd::BadCode;
        return codes();
    }

    InflateEnd codes() {
        for (;;) {
            int symbol = in_.decode(lit_);
            if (in_.overrun()) return InflateEnd::Truncated;
            if (symbol < 0) return InflateEnd::BadCode;
            if (symbol < 256) {
                if (!put(uint8_t(symbol))) return InflateEnd::SinkStopped;
                continue;
            }
            if (symbol == 256) return InflateEnd::Finished;
            symbol -= 257;
            if (symbol >= 29) return InflateEnd::BadSymbol;
            unsigned length = kLengthBase[symbol] + in_.bits(kLengthExtra[symbol]);
            int distSymbol = in_.decode(dist_);
            if (in_.overrun()) return InflateEnd::Truncated;
            if (distSymbol < 0) return InflateEnd::BadCode;
            if (distSymbol >= 30) return InflateEnd::BadSymbol;
            size_t distance = kDistBase[distSymbol] + in_.bits(kDistExtra[distSymbol]);
            if (in_.overrun()) return InflateEnd::Truncated;
            if (distance > windowSize_ || distance > written_) return InflateEnd::BadDistance;
            for (unsigned i = 0; i < length; ++i) {
                if (!put(window_[(written_ - distance) & (windowSize_ - 1)]))
                    return InflateEnd::SinkStopped;
            }
        }
    }

    BitReader in_;
    InflateSink* sink_;
    uint8_t* window_ = nullptr;
    size_t windowSize_ = 0;
    uint64_t written_ = 0;  // bytes output so far
    Huffman lit_;
    Huffman dist_;
};

}  // namespace

InflateEnd inflateZlib(const unsigned char* data, size_t size, InflateSink* sink) {
    Inflater inflater(data, size, sink);
    return inflater.run();
}

const char* inflateEndName(InflateEnd end) {
    switch (end) {
        case InflateEnd::Finished: return "finished";
        case InflateEnd::SinkStopped: return "stopped by the receiver";
        case InflateEnd::Truncated: return "data ended early";
        case InflateEnd::BadHeader: return "bad zlib header";
        case InflateEnd::BadBlock: return "bad block type";
        case InflateEnd::BadCode: return "bad Huffman code";
        case InflateEnd::BadSymbol: return "bad length or distance symbol";
        case InflateEnd::BadDistance: return "distance beyond the output";
    }
    return "unknown";
}
