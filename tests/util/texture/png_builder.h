// Test-side encoders for the image tests: a DEFLATE writer that can emit stored, fixed
// and dynamic blocks (with LZ77 matches), zlib framing, PNG assembly with row filters
// and Adam7, and small TGA/BMP writers. Written from the formats, independently of the
// engine's decoders, so that a shared misreading would show up against the real files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <queue>
#include <string>
#include <vector>

namespace imgtest {

using Bytes = std::vector<uint8_t>;

inline uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline uint32_t adler32(const Bytes& data) {
    uint32_t a = 1, b = 0;
    for (uint8_t v : data) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

inline void putBE32(Bytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
inline void putLE16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void putLE32(Bytes& out, uint32_t v) {
    putLE16(out, v & 0xFFFF);
    putLE16(out, v >> 16);
}

// Writes bits least significant bit first into bytes.
struct BitWriter {
    Bytes out;
    uint32_t buffer = 0;
    int count = 0;
    void bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            buffer |= ((value >> i) & 1) << count;
            if (++count == 8) flushByte();
        }
    }
    // A Huffman code: most significant bit of the code first.
    void code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) bits((code >> i) & 1, 1);
    }
    void flushByte() {
        out.push_back(uint8_t(buffer));
        buffer = 0;
        count = 0;
    }
    void align() {
        if (count) flushByte();
    }
};

// Canonical codes from lengths (RFC 1951 3.2.2).
inline std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths) {
    int counts[16] = {0};
    for (int l : lengths) counts[l]++;
    counts[0] = 0;
    uint32_t next[16] = {0}, code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + counts[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// Huffman code lengths from frequencies; symbols with frequency 0 get length 0, a lone
// used symbol gets length 1.
inline std::vector<int> unlimitedHuffmanLengths(const std::vector<uint32_t>& freq) {
    std::vector<int> lengths(freq.size(), 0);
    struct Node {
        uint64_t weight;
        int left, right, symbol;
    };
    std::vector<Node> nodes;
    using Item = std::pair<uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (size_t s = 0; s < freq.size(); ++s) {
        if (!freq[s]) continue;
        nodes.push_back({freq[s], -1, -1, int(s)});
        queue.push({freq[s], int(nodes.size() - 1)});
    }
    if (nodes.size() == 1) {
        lengths[size_t(nodes[0].symbol)] = 1;
        return lengths;
    }
    while (queue.size() > 1) {
        Item a = queue.top();
        queue.pop();
        Item b = queue.top();
        queue.pop();
        nodes.push_back({a.first + b.first, a.second, b.second, -1});
        queue.push({a.first + b.first, int(nodes.size() - 1)});
    }
    std::vector<std::pair<int, int>> stack{{queue.top().second, 0}};
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        if (nodes[size_t(n)].symbol >= 0) {
            lengths[size_t(nodes[size_t(n)].symbol)] = depth;
        } else {
            stack.push_back({nodes[size_t(n)].left, depth + 1});
            stack.push_back({nodes[size_t(n)].right, depth + 1});
        }
    }
    return lengths;
}

// As above, at most maxLength bits: frequencies are flattened until the code fits.
inline std::vector<int> huffmanLengths(std::vector<uint32_t> freq, int maxLength = 15) {
    for (;;) {
        std::vector<int> lengths = unlimitedHuffmanLengths(freq);
        if (*std::max_element(lengths.begin(), lengths.end()) <= maxLength) return lengths;
        for (uint32_t& f : freq)
            if (f) f = f / 2 + 1;
    }
}

// LZ77 token: a literal (length 0) or a match of length 3..258 at distance 1..32768.
struct Token {
    int literal;
    int length;
    int distance;
};

inline std::vector<Token> tokenize(const Bytes& data, bool matches, int window = 4096) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < data.size()) {
        int bestLength = 0, bestDistance = 0;
        if (matches) {
            size_t start = i > size_t(window) ? i - size_t(window) : 0;
            for (size_t j = start; j < i; ++j) {
                int len = 0;
                while (len < 258 && i + size_t(len) < data.size() && data[j + size_t(len)] == data[i + size_t(len)]) ++len;
                if (len > bestLength) {
                    bestLength = len;
                    bestDistance = int(i - j);
                }
            }
        }
        if (bestLength >= 3) {
            tokens.push_back({0, bestLength, bestDistance});
            i += size_t(bestLength);
        } else {
            tokens.push_back({data[i], 0, 0});
            ++i;
        }
    }
    return tokens;
}

inline void lengthSymbol(int length, int* symbol, int* extraBits, int* extra) {
    static const int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int s = 28;
    while (base[s] > length) --s;
    *symbol = 257 + s;
    *extraBits = bits[s];
    *extra = length - base[s];
}

inline void distanceSymbol(int distance, int* symbol, int* extraBits, int* extra) {
    int s = 0, base = 1;
    // Bases double every two symbols from symbol 4 on.
    static int bases[30];
    static int bitsOf[30];
    if (!bases[0]) {
        int b = 1;
        for (int k = 0; k < 30; ++k) {
            bitsOf[k] = k < 4 ? 0 : k / 2 - 1;
            bases[k] = b;
            b += 1 << bitsOf[k];
        }
    }
    for (s = 29; bases[s] > distance; --s) {
    }
    base = bases[s];
    *symbol = s;
    *extraBits = bitsOf[s];
    *extra = distance - base;
}

enum class Block { Stored, Fixed, Dynamic };

inline void writeTokens(BitWriter& w, const std::vector<Token>& tokens, const std::vector<int>& litLengths,
                        const std::vector<int>& distLengths) {
    std::vector<uint32_t> lit = canonicalCodes(litLengths), dist = canonicalCodes(distLengths);
    for (const Token& t : tokens) {
        if (!t.length) {
            w.code(lit[size_t(t.literal)], litLengths[size_t(t.literal)]);
            continue;
        }
        int sym, nbits, extra;
        lengthSymbol(t.length, &sym, &nbits, &extra);
        w.code(lit[size_t(sym)], litLengths[size_t(sym)]);
        w.bits(uint32_t(extra), nbits);
        distanceSymbol(t.distance, &sym, &nbits, &extra);
        w.code(dist[size_t(sym)], distLengths[size_t(sym)]);
        w.bits(uint32_t(extra), nbits);
    }
    w.code(lit[256], litLengths[256]);
}

inline std::vector<int> fixedLitLengths() {
    std::vector<int> l(288);
    for (int s = 0; s < 288; ++s) l[size_t(s)] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return l;
}

// One DEFLATE block holding data.
inline void writeBlock(BitWriter& w, const Bytes& data, Block type, bool final, bool matches = true) {
    w.bits(final ? 1 : 0, 1);
    if (type == Block::Stored) {
        w.bits(0, 2);
        w.align();
        putLE16(w.out, uint32_t(data.size()));
        putLE16(w.out, uint32_t(~data.size() & 0xFFFF));
        w.out.insert(w.out.end(), data.begin(), data.end());
        return;
    }
    std::vector<Token> tokens = tokenize(data, matches);
    if (type == Block::Fixed) {
        w.bits(1, 2);
        writeTokens(w, tokens, fixedLitLengths(), std::vector<int>(30, 5));
        return;
    }
    std::vector<uint32_t> litFreq(286, 0), distFreq(30, 0);
    for (const Token& t : tokens) {
        int sym, nbits, extra;
        if (!t.length) {
            litFreq[size_t(t.literal)]++;
            continue;
        }
        lengthSymbol(t.length, &sym, &nbits, &extra);
        litFreq[size_t(sym)]++;
        distanceSymbol(t.distance, &sym, &nbits, &extra);
        distFreq[size_t(sym)]++;
    }
    litFreq[256]++;
    if (std::all_of(distFreq.begin(), distFreq.end(), [](uint32_t f) { return f == 0; })) distFreq[0] = 1;
    std::vector<int> litLengths = huffmanLengths(litFreq), distLengths = huffmanLengths(distFreq);
    int hlit = 286, hdist = 30;
    while (hlit > 257 && !litLengths[size_t(hlit - 1)]) --hlit;
    while (hdist > 1 && !distLengths[size_t(hdist - 1)]) --hdist;
    // Run-length code the lengths with 16 (repeat previous), 17 and 18 (zeros).
    std::vector<int> all(litLengths.begin(), litLengths.begin() + hlit);
    all.insert(all.end(), distLengths.begin(), distLengths.begin() + hdist);
    struct Rle {
        int symbol, extra, bits;
    };
    std::vector<Rle> rle;
    for (size_t i = 0; i < all.size();) {
        size_t run = 1;
        while (i + run < all.size() && all[i + run] == all[i]) ++run;
        if (all[i] == 0 && run >= 11) {
            int n = int(std::min<size_t>(run, 138));
            rle.push_back({18, n - 11, 7});
            i += size_t(n);
        } else if (all[i] == 0 && run >= 3) {
            int n = int(std::min<size_t>(run, 10));
            rle.push_back({17, n - 3, 3});
            i += size_t(n);
        } else if (i > 0 && all[i] == all[i - 1] && run >= 3) {
            int n = int(std::min<size_t>(run, 6));
            rle.push_back({16, n - 3, 2});
            i += size_t(n);
        } else {
            rle.push_back({all[i], 0, 0});
            ++i;
        }
    }
    std::vector<uint32_t> clFreq(19, 0);
    for (const Rle& r : rle) clFreq[size_t(r.symbol)]++;
    std::vector<int> clLengths = huffmanLengths(clFreq, 7);
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int hclen = 19;
    while (hclen > 4 && !clLengths[size_t(order[hclen - 1])]) --hclen;
    std::vector<uint32_t> clCodes = canonicalCodes(clLengths);
    w.bits(2, 2);
    w.bits(uint32_t(hlit - 257), 5);
    w.bits(uint32_t(hdist - 1), 5);
    w.bits(uint32_t(hclen - 4), 4);
    for (int i = 0; i < hclen; ++i) w.bits(uint32_t(clLengths[size_t(order[i])]), 3);
    for (const Rle& r : rle) {
        w.code(clCodes[size_t(r.symbol)], clLengths[size_t(r.symbol)]);
        w.bits(uint32_t(r.extra), r.bits);
    }
    writeTokens(w, tokens, litLengths, distLengths);
}

// A zlib stream of data in blocks of at most blockSize bytes, all of one type.
inline Bytes zlibStream(const Bytes& data, Block type, size_t blockSize = 65535, bool matches = true) {
    BitWriter w;
    w.out = {0x78, 0x01};
    if (data.empty()) writeBlock(w, data, type, true, matches);
    for (size_t at = 0; at < data.size(); at += blockSize) {
        size_t n = std::min(blockSize, data.size() - at);
        Bytes part(data.begin() + long(at), data.begin() + long(at + n));
        writeBlock(w, part, type, at + n == data.size(), matches);
    }
    w.align();
    putBE32(w.out, adler32(data));
    return w.out;
}

inline void chunk(Bytes& png, const char* type, const Bytes& data) {
    putBE32(png, uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    putBE32(png, crc32(body.data(), body.size()));
}

inline Bytes ihdr(uint32_t width, uint32_t height, int depth, int colourType, int interlace) {
    Bytes d;
    putBE32(d, width);
    putBE32(d, height);
    d.push_back(uint8_t(depth));
    d.push_back(uint8_t(colourType));
    d.push_back(0);
    d.push_back(0);
    d.push_back(uint8_t(interlace));
    return d;
}

inline Bytes signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

inline int paethPredict(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Filters raw scanlines (rowBytes each) with the given filter type per row (cycled);
// bpp is the filter's byte distance.
inline Bytes filterRows(const Bytes& raw, size_t rowBytes, int bpp, const std::vector<int>& types) {
    Bytes out;
    size_t rows = rowBytes ? raw.size() / rowBytes : 0;
    for (size_t r = 0; r < rows; ++r) {
        int type = types[r % types.size()];
        out.push_back(uint8_t(type));
        for (size_t i = 0; i < rowBytes; ++i) {
            int x = raw[r * rowBytes + i];
            int a = i >= size_t(bpp) ? raw[r * rowBytes + i - size_t(bpp)] : 0;
            int b = r > 0 ? raw[(r - 1) * rowBytes + i] : 0;
            int c = r > 0 && i >= size_t(bpp) ? raw[(r - 1) * rowBytes + i - size_t(bpp)] : 0;
            int pred = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? paethPredict(a, b, c) : 0;
            out.push_back(uint8_t(x - pred));
        }
    }
    return out;
}

// A PNG image description: pixels as samples of `channels` bytes per pixel (8-bit)
// or `channels` * 2 bytes (16-bit, big-endian), rows top first.
struct PngSpec {
    uint32_t width = 1, height = 1;
    int depth = 8, colourType = 6, interlace = 0;
    Bytes pixels;  // packed scanline bytes for depths below 8, else whole samples
    std::vector<int> filters{0};
    Block block = Block::Dynamic;
    size_t blockSize = 65535;
    size_t idatSize = 0;  // 0: one IDAT chunk, else split into chunks of this size
    Bytes palette;
    Bytes trns;
    bool matches = true;
};

inline int channelsOf(int colourType) {
    switch (colourType) {
        case 0: case 3: return 1;
        case 2: return 3;
        case 4: return 2;
        default: return 4;
    }
}

inline size_t rowBytesOf(uint32_t width, int depth, int colourType) {
    return (size_t(width) * size_t(channelsOf(colourType)) * size_t(depth) + 7) / 8;
}

// The filtered image data of spec (all Adam7 passes when interlaced). Depths below 8
// are only supported without interlacing.
inline Bytes filteredData(const PngSpec& s) {
    int bpp = std::max(1, channelsOf(s.colourType) * s.depth / 8);
    if (!s.interlace) return filterRows(s.pixels, rowBytesOf(s.width, s.depth, s.colourType), bpp, s.filters);
    static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    static const int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    size_t pixelBytes = size_t(bpp);
    Bytes out;
    for (int p = 0; p < 7; ++p) {
        Bytes raw;
        size_t passWidth = 0;
        for (uint32_t y = uint32_t(y0[p]); y < s.height; y += uint32_t(dy[p])) {
            passWidth = 0;
            for (uint32_t x = uint32_t(x0[p]); x < s.width; x += uint32_t(dx[p])) {
                size_t at = (size_t(y) * s.width + x) * pixelBytes;
                raw.insert(raw.end(), s.pixels.begin() + long(at), s.pixels.begin() + long(at + pixelBytes));
                ++passWidth;
            }
        }
        if (passWidth == 0 || raw.empty()) continue;
        Bytes f = filterRows(raw, passWidth * pixelBytes, bpp, s.filters);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

inline Bytes buildPng(const PngSpec& s) {
    Bytes png = signature();
    chunk(png, "IHDR", ihdr(s.width, s.height, s.depth, s.colourType, s.interlace));
    if (!s.palette.empty()) chunk(png, "PLTE", s.palette);
    if (!s.trns.empty()) chunk(png, "tRNS", s.trns);
    Bytes z = zlibStream(filteredData(s), s.block, s.blockSize, s.matches);
    size_t step = s.idatSize ? s.idatSize : z.size();
    for (size_t at = 0; at < z.size(); at += step) {
        Bytes part(z.begin() + long(at), z.begin() + long(std::min(z.size(), at + step)));
        chunk(png, "IDAT", part);
    }
    if (z.empty()) chunk(png, "IDAT", {});
    chunk(png, "IEND", {});
    return png;
}

// Deterministic test pixels: a mix of gradients and noise so that every filter type
// and both literals and matches occur.
inline Bytes patternBytes(size_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        uint8_t noise = uint8_t(state >> 24);
        out[i] = (i / 7) % 5 == 0 ? noise : uint8_t(i * 3 + (i / 64) * 5);
    }
    return out;
}

// Flips rows of 4-byte pixels (top-first <-> bottom-first).
inline Bytes flipRows(const Bytes& rgba, uint32_t width, uint32_t height) {
    Bytes out(rgba.size());
    size_t stride = size_t(width) * 4;
    for (uint32_t y = 0; y < height; ++y)
        std::copy(rgba.begin() + long(y * stride), rgba.begin() + long((y + 1) * stride),
                  out.begin() + long((height - 1 - y) * stride));
    return out;
}

}  // namespace imgtest
