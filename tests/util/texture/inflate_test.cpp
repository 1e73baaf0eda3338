#include "util/texture/inflate.h"

#include <gtest/gtest.h>

#include <string>

#include "util/texture/png_builder.h"

namespace {

using imgtest::BitWriter;
using imgtest::Block;
using imgtest::Bytes;

struct Collect : InflateSink {
    Bytes out;
    size_t stopAfter = SIZE_MAX;  // answer 0 to the byte after this many
    int receiveByte(unsigned char byte) override {
        out.push_back(byte);
        return out.size() > stopAfter ? 0 : 1;
    }
};

Bytes fromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The 3000 bytes that the reference dynamic stream below was made from.
Bytes referenceData() {
    Bytes d;
    for (int i = 0; i < 3000; ++i) d.push_back(uint8_t(((i * i) % 7 + (i / 100) % 3) * 5 + 97));
    return d;
}

Bytes shortReference() {
    std::string s;
    for (int i = 0; i < 3; ++i) s += "Festoonery festoonery FESTOONERY! ";
    Bytes d = text(s);
    for (int i = 0; i < 40; ++i) d.push_back(uint8_t(i));
    return d;
}

// Streams made by an independent zlib encoder (fixed, stored, 512-byte window, dynamic).
const char* kFixedHex =
    "7801734b2d2ec9cfcf4b2daa54484330dd5c8343fcfdfd5c83221515dca8a0828191899985958d9d83938b9b87978f5f"
    "4050485844544c5c42524a5a46564e5e4151495945554d1d004c51272e";
const char* kWindow512Hex =
    "18d3734b2d2ec9cfcf4b2daa54484330dd5c8343fcfdfd5c83221515dca8a0828191899985958d9d83938b9b87978f5f"
    "4050485844544c5c42524a5a46564e5e4151495945554d1d004c51272e";
const char* kDynamicHex =
    "78daedd6a10100310cc3c05943424c4c4c4ab27ac1cf103d29323f6255474ad7e61cfba8b53a19cb93d5d955fa4600"
    "5600ac00580d600d8025004b0096012c015807c012801500cb0096012ce00603dca0811b74bd6678cdf09ae1d766b84f"
    "0220c7";

Bytes storedReference() {
    Bytes d = shortReference();
    Bytes z{0x78, 0x01, 0x01};
    imgtest::putLE16(z, uint32_t(d.size()));
    imgtest::putLE16(z, uint32_t(~d.size() & 0xFFFF));
    for (uint8_t v : d) z.push_back(v);
    return z;
}

// Helpers for hand-built streams: a zlib header, then blocks written bit by bit.
struct Stream {
    BitWriter w;
    explicit Stream(uint8_t cmf = 0x78) { w.out = {cmf, 0x01}; }
    Stream& bits(uint32_t v, int n) {
        w.bits(v, n);
        return *this;
    }
    // Fixed-code literal/length symbol.
    Stream& fixedSymbol(int s) {
        if (s < 144) w.code(uint32_t(0x30 + s), 8);
        else if (s < 256) w.code(uint32_t(0x190 + s - 144), 9);
        else if (s < 280) w.code(uint32_t(s - 256), 7);
        else w.code(uint32_t(0xC0 + s - 280), 8);
        return *this;
    }
    Stream& distance(int symbol) {
        w.code(uint32_t(symbol), 5);
        return *this;
    }
    Bytes done() {
        w.align();
        return w.out;
    }
};

Bytes fixedMatch(uint8_t cmf, int literals, int lengthSymbol, int distSymbol, uint32_t distExtra, int distBits) {
    Stream s(cmf);
    s.bits(1, 1).bits(1, 2);
    for (int i = 0; i < literals; ++i) s.fixedSymbol(i % 256);
    s.fixedSymbol(lengthSymbol).distance(distSymbol).bits(distExtra, distBits).fixedSymbol(256);
    return s.done();
}

Bytes counting(int n) {
    Bytes d;
    for (int i = 0; i < n; ++i) d.push_back(uint8_t(i % 256));
    return d;
}

// A dynamic block header with code-length code: symbol 1 -> "0", 0 -> "10", 18 -> "11".
Stream dynamicHeader() {
    Stream s;
    s.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(15, 4);  // HLIT 257, HDIST 1, HCLEN 19
    // order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1 15
    const int lengths[19] = {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    for (int l : lengths) s.bits(uint32_t(l), 3);
    return s;
}

TEST(Inflate, DecodesReferenceStreamsAndHandBuiltEdgeStreams) {
    Bytes mixedData = imgtest::patternBytes(5000, 3);
    BitWriter mixed;
    mixed.out = {0x78, 0x01};
    Bytes a(mixedData.begin(), mixedData.begin() + 1500), b(mixedData.begin() + 1500, mixedData.begin() + 3200),
        c(mixedData.begin() + 3200, mixedData.end());
    imgtest::writeBlock(mixed, a, Block::Stored, false);
    imgtest::writeBlock(mixed, b, Block::Fixed, false);
    imgtest::writeBlock(mixed, c, Block::Dynamic, true);
    mixed.align();

    // Lengths 1, 1, 1, then 255 zeros (18 with 138 and with 117).
    Bytes overSubscribed =
        dynamicHeader().bits(0, 1).bits(0, 1).bits(0, 1).bits(3, 2).bits(127, 7).bits(3, 2).bits(106, 7).done();
    Bytes repeatFirst = Stream().bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4)
                            .bits(1, 3).bits(0, 3).bits(0, 3).bits(1, 3)  // 16 -> "0", 0 -> "1"
                            .bits(1, 1).bits(0, 2).done();
    // 18 with 127 extra = 138 zeros, twice = 276 > 258 lengths.
    Bytes repeatPastEnd = dynamicHeader().bits(3, 2).bits(127, 7).bits(3, 2).bits(127, 7).done();
    Bytes storedShort = {0x78, 0x01, 0x01, 10, 0, 0xF5, 0xFF, 'a', 'b', 'c'};

    struct Case {
        const char* name;
        Bytes stream;
        Bytes expected;
        InflateEnd end;
    } cases[] = {
        {"reference fixed", fromHex(kFixedHex), shortReference(), InflateEnd::Finished},
        {"reference stored", storedReference(), shortReference(), InflateEnd::Finished},
        {"reference 512-byte window", fromHex(kWindow512Hex), shortReference(), InflateEnd::Finished},
        {"reference dynamic", fromHex(kDynamicHex), referenceData(), InflateEnd::Finished},
        {"stored + fixed + dynamic blocks", mixed.out, mixedData, InflateEnd::Finished},
        {"overlapping match", fixedMatch(0x78, 1, 264, 0, 0, 0), Bytes(11, 0), InflateEnd::Finished},
        {"longest match 258", fixedMatch(0x78, 2, 285, 1, 0, 0),
         [] {
             Bytes d;
             for (int i = 0; i < 260; ++i) d.push_back(uint8_t(i % 2));
             return d;
         }(),
         InflateEnd::Finished},
        {"distance before the start", fixedMatch(0x78, 1, 257, 1, 0, 0), Bytes(1, 0), InflateEnd::BadDistance},
        // distance symbol 16: 257 + 7 extra bits; 300 = 257 + 43.
        {"distance beyond a 256-byte window", fixedMatch(0x08, 300, 257, 16, 43, 7), counting(300),
         InflateEnd::BadDistance},
        {"same distance in a 32 KiB window", fixedMatch(0x78, 300, 257, 16, 43, 7),
         [] { Bytes d = counting(300); d.push_back(0); d.push_back(1); d.push_back(2); return d; }(),
         InflateEnd::Finished},
        {"length symbol 286", Stream().bits(1, 1).bits(1, 2).fixedSymbol(65).fixedSymbol(286).done(), text("A"),
         InflateEnd::BadSymbol},
        {"distance symbol 30", fixedMatch(0x78, 4, 257, 30, 0, 0), counting(4), InflateEnd::BadSymbol},
        {"block type 3", Stream().bits(1, 1).bits(3, 2).done(), {}, InflateEnd::BadBlock},
        {"over-subscribed literal lengths", overSubscribed, {}, InflateEnd::BadCode},
        {"over-subscribed code-length code",
         [] {
             Stream s;
             s.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(15, 4);
             for (int i = 0; i < 19; ++i) s.bits(1, 3);
             return s.done();
         }(),
         {}, InflateEnd::BadCode},
        {"repeat 16 with no previous length", repeatFirst, {}, InflateEnd::BadCode},
        {"repeat past the declared lengths", repeatPastEnd, {}, InflateEnd::BadCode},
        {"preset dictionary", {0x78, 0xBB, 0x03, 0x00}, {}, InflateEnd::BadHeader},
        {"method 7", {0x77, 0x01, 0x03, 0x00}, {}, InflateEnd::BadHeader},
        {"window above 32 KiB", {0x88, 0x01, 0x03, 0x00}, {}, InflateEnd::BadHeader},
        {"empty input", {}, {}, InflateEnd::Truncated},
        {"header only", {0x78, 0x01}, {}, InflateEnd::Truncated},
        {"stored block running short", storedShort, text("abc"), InflateEnd::Truncated},
        {"non-final block then end", Stream().bits(0, 1).bits(1, 2).fixedSymbol(66).fixedSymbol(256).done(),
         text("B"), InflateEnd::Truncated},
    };
    for (const Case& c : cases) {
        Collect sink;
        InflateEnd end = inflateZlib(c.stream.data(), c.stream.size(), &sink);
        EXPECT_EQ(inflateEndName(c.end), std::string(inflateEndName(end))) << c.name;
        EXPECT_EQ(c.expected.size(), sink.out.size()) << c.name;
        EXPECT_TRUE(c.expected == sink.out) << c.name;
    }
}

TEST(Inflate, TruncatedStreamsStopWithAPrefixOfTheOutput) {
    Bytes full = fromHex(kDynamicHex);
    Bytes data = referenceData();
    for (size_t cut : {size_t(3), size_t(20), size_t(50), full.size() - 8}) {
        Collect sink;
        InflateEnd end = inflateZlib(full.data(), cut, &sink);
        EXPECT_EQ(std::string(inflateEndName(InflateEnd::Truncated)), inflateEndName(end)) << "cut " << cut;
        ASSERT_LE(sink.out.size(), data.size()) << "cut " << cut;
        EXPECT_TRUE(std::equal(sink.out.begin(), sink.out.end(), data.begin())) << "cut " << cut;
    }
}

TEST(Inflate, StopsAtOnceWhenTheReceiverSaysSo) {
    struct Case {
        const char* name;
        Bytes stream;
        size_t stopAfter;
    } cases[] = {
        {"literal", fromHex(kFixedHex), 5},
        {"inside a match", fixedMatch(0x78, 1, 264, 0, 0, 0), 3},
        {"stored", storedReference(), 0},
    };
    for (const Case& c : cases) {
        Collect sink;
        sink.stopAfter = c.stopAfter;
        InflateEnd end = inflateZlib(c.stream.data(), c.stream.size(), &sink);
        EXPECT_EQ(std::string(inflateEndName(InflateEnd::SinkStopped)), inflateEndName(end)) << c.name;
        EXPECT_EQ(c.stopAfter + 1, sink.out.size()) << c.name;
    }
}

}  // namespace
