#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "util/data/huffman.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const Bytes& input) {
    Bytes block(huffmanEncodedSize(input.data(), input.size()));
    size_t written = huffmanEncode(input.data(), input.size(), block.data());
    EXPECT_EQ(block.size(), written) << "huffmanEncodedSize disagrees with the encoder";
    block.resize(written);
    return block;
}

Bytes decode(const Bytes& block, size_t capacity) {
    Bytes out(capacity);
    out.resize(huffmanDecode(block.data(), block.size(), out.data(), out.size()));
    return out;
}

Bytes fromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Total code bits of an optimal prefix code, found independently of the coder by
// merging the two lightest weights (any Huffman tree has this cost).
uint64_t optimalBits(const Bytes& input) {
    uint64_t counts[256] = {};
    for (uint8_t b : input) ++counts[b];
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> heap;
    for (uint64_t c : counts)
        if (c) heap.push(c);
    if (heap.size() == 1) return heap.top();  // one bit per byte
    uint64_t bits = 0;
    while (heap.size() > 1) {
        uint64_t a = heap.top();
        heap.pop();
        uint64_t b = heap.top();
        heap.pop();
        bits += a + b;
        heap.push(a + b);
    }
    return bits;
}

size_t distinctValues(const Bytes& input) {
    bool seen[256] = {};
    size_t n = 0;
    for (uint8_t b : input)
        if (!seen[b]) seen[b] = true, ++n;
    return n;
}

TEST(HuffmanEncoder, AbcGivesTheDocumented32ByteBlock) {
    // Equal counts keep symbol order (a, b, c); b and c join first, so a = 1, b = 00,
    // c = 01 and "abc" is the bits 10001 at the top of one byte.
    const Bytes expected = {'H', 'U', 'F', 'F', 3, 0, 0, 0, 3, 0, 0, 0, 32, 0, 0, 0,
                            1, 0, 0, 0, 'a', 1, 0, 0, 0, 'b', 1, 0, 0, 0, 'c', 0x88};
    EXPECT_EQ(expected, encode(fromText("abc")));
}

TEST(HuffmanEncoder, WritesHeaderTableAndStreamOfKnownInputs) {
    struct Case {
        const char* name;
        Bytes input;
        Bytes expected;
    } cases[] = {
        // Eight one-bit codes fill the byte exactly: the block carries one whole zero byte.
        {"byte boundary", fromText("abababab"),
         {'H', 'U', 'F', 'F', 2, 0, 0, 0, 8, 0, 0, 0, 28, 0, 0, 0, 4, 0, 0, 0, 'a', 4, 0, 0, 0, 'b',
          0x55, 0x00}},
        // The more frequent value sorts first even though its byte value is higher.
        {"frequency order", fromText("zzza"),
         {'H', 'U', 'F', 'F', 2, 0, 0, 0, 4, 0, 0, 0, 27, 0, 0, 0, 3, 0, 0, 0, 'z', 1, 0, 0, 0, 'a',
          0x10}},
        // One value: code 0 of one bit per byte, 16 bits end on a boundary.
        {"single symbol", Bytes(16, 0x41),
         {'H', 'U', 'F', 'F', 1, 0, 0, 0, 16, 0, 0, 0, 24, 0, 0, 0, 16, 0, 0, 0, 0x41, 0, 0, 0}},
        {"empty input", {}, {'H', 'U', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 17, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, encode(c.input)) << c.name;
}

TEST(HuffmanEncoder, BlockSizeFollowsTheBitCountAndTheCodeIsOptimal) {
    std::mt19937 rng(7);
    for (size_t size : {1u, 2u, 7u, 8u, 9u, 255u, 1000u, 4096u, 65537u}) {
        for (int alphabet : {2, 3, 17, 256}) {
            Bytes input(size);
            // Skewed: low values far more likely, so code lengths differ.
            std::geometric_distribution<int> dist(0.3);
            for (auto& b : input) b = uint8_t(dist(rng) % alphabet);
            Bytes block = encode(input);
            size_t n = distinctValues(input);
            uint64_t bits = optimalBits(input);
            size_t expectedSize = 16 + 5 * n + size_t(bits / 8) + 1;
            EXPECT_EQ(expectedSize, block.size()) << "size " << size << " alphabet " << alphabet;
            EXPECT_EQ(n, le32(block, 4));
            EXPECT_EQ(size, le32(block, 8));
            EXPECT_EQ(block.size(), le32(block, 12));
            // Table sorted by count, highest first, counts summing to the input size.
            uint64_t sum = 0;
            for (size_t i = 0; i < n; ++i) {
                sum += le32(block, 16 + 5 * i);
                if (i) {
                    EXPECT_GE(le32(block, 16 + 5 * (i - 1)), le32(block, 16 + 5 * i));
                }
            }
            EXPECT_EQ(size, sum);
        }
    }
}

TEST(HuffmanRoundTrip, GivesTheInputBackForManyShapes) {
    std::mt19937 rng(12345);
    struct Case {
        std::string name;
        Bytes input;
    };
    std::vector<Case> cases;
    cases.push_back({"two symbols", fromText("ab")});
    cases.push_back({"two symbols skewed", Bytes(999, 'x')});
    cases.back().input.push_back('y');
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = uint8_t(i);
    cases.push_back({"all 256 once", all});
    Bytes allMany;
    for (int r = 0; r < 37; ++r) allMany.insert(allMany.end(), all.rbegin(), all.rend());
    cases.push_back({"all 256 repeated", allMany});
    // Fibonacci counts give the deepest possible tree for their total.
    Bytes fib;
    uint32_t a = 1, b = 1;
    for (int s = 0; s < 20; ++s) {
        fib.insert(fib.end(), a, uint8_t(s));
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::shuffle(fib.begin(), fib.end(), rng);
    cases.push_back({"fibonacci counts", fib});
    for (size_t size : {1u, 3u, 100u, 4095u, 100000u}) {
        Bytes noise(size);
        for (auto& x : noise) x = uint8_t(rng());
        cases.push_back({"noise " + std::to_string(size), noise});
        Bytes text;
        const char* words[] = {"festoon ", "birthday ", "beat ", "\n", "star", "fire"};
        while (text.size() < size) {
            const char* w = words[rng() % 6];
            text.insert(text.end(), w, w + strlen(w));
        }
        cases.push_back({"text " + std::to_string(size), text});
    }
    cases.push_back({"single symbol", Bytes(77, 0xee)});
    cases.push_back({"single zero byte", Bytes(1, 0)});
    for (const Case& c : cases) {
        Bytes block = encode(c.input);
        EXPECT_EQ(c.input, decode(block, c.input.size())) << c.name;
    }
}

TEST(HuffmanDecoder, SingleSymbolBlockYieldsTheValueForEveryBit) {
    // Hand-made: the bits 1010... where the encoder wrote 0s; still the one value.
    Bytes block = {'H', 'U', 'F', 'F', 1, 0, 0, 0, 5, 0, 0, 0, 22, 0, 0, 0, 5, 0, 0, 0, 'q', 0xaa};
    EXPECT_EQ(fromText("qqqqq"), decode(block, 5));
}

TEST(HuffmanDecoder, RefusesDamagedBlocksWithoutLeavingItsBuffers) {
    const Bytes good = encode(fromText("the quick brown fox jumps over the lazy dog"));
    const uint32_t n = le32(good, 4);
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        const char* why;  // expected in the check's text; null: the block passes the check
        size_t produced;  // bytes the decoder yields
    } cases[] = {
        {"shorter than the header", [](Bytes& b) { b.resize(15); }, "shorter than its 16-byte header", 0},
        {"no symbols", [](Bytes& b) { set32(b, 4, 0); }, "symbol count 0 is outside 1 to 256", 0},
        {"257 symbols", [](Bytes& b) { set32(b, 4, 257); }, "symbol count 257 is outside", 0},
        {"huge symbol count", [](Bytes& b) { set32(b, 4, 0xffffffffu); }, "4294967295 is outside", 0},
        {"cut inside the table", [n](Bytes& b) { b.resize(16 + 5 * n - 2); }, "too short for its table", 0},
        {"no stream byte", [n](Bytes& b) { b.resize(16 + 5 * n); }, "too short for its table", 0},
        {"size beyond 8 per stream byte", [](Bytes& b) { set32(b, 8, 0x7fffffffu); },
         "cannot come from a bit stream", 0},
        // Passes the check, but the stream runs dry: decoding stops at the end.
        {"stream cut short", [n](Bytes& b) { b.resize(16 + 5 * n + 6); }, nullptr, 0},
        {"size a few bytes over", [](Bytes& b) { set32(b, 8, le32(b, 8) + 40); }, nullptr, 43},
    };
    for (const Case& c : cases) {
        Bytes block = good;
        c.damage(block);
        char why[200] = "";
        bool ok = huffmanCheckBlock(block.data(), block.size(), why, sizeof why);
        EXPECT_EQ(c.why == nullptr, ok) << c.name << ": " << why;
        if (c.why) {
            EXPECT_NE(nullptr, strstr(why, c.why)) << c.name << ": got \"" << why << "\"";
        }
        // Exactly sized heap copies, so a sanitizer build sees any stray access.
        Bytes exact(block);
        uint32_t want = block.size() >= 16 ? le32(block, 8) : 0;
        std::vector<uint8_t> out(std::min<uint32_t>(want, 1 << 20) + 1);
        size_t produced = huffmanDecode(exact.data(), exact.size(), out.data(), out.size());
        if (c.why) {
            EXPECT_EQ(0u, produced) << c.name;
        } else {
            EXPECT_LT(produced, want) << c.name;
            if (c.produced) {
                EXPECT_LE(c.produced, produced) << c.name;
            }
        }
    }
}

TEST(HuffmanDecoder, RefusesAnOutputBufferSmallerThanTheUncompressedSize) {
    Bytes input = fromText("hello, hello");
    Bytes block = encode(input);
    Bytes out(input.size() - 1);
    EXPECT_EQ(0u, huffmanDecode(block.data(), block.size(), out.data(), out.size()));
}

TEST(HuffmanDecoder, ScrambledTablesStayInsideTheBuffers) {
    // Counts and values rewritten at random: the decoder builds some tree and walks it.
    std::mt19937 rng(99);
    Bytes input(3000);
    for (auto& b : input) b = uint8_t(rng() % 40);
    const Bytes good = encode(input);
    const uint32_t n = le32(good, 4);
    for (int round = 0; round < 200; ++round) {
        Bytes block = good;
        for (uint32_t i = 0; i < n; ++i) {
            if (rng() % 3 == 0) set32(block, 16 + 5 * i, rng() % 4 ? rng() % 100 : rng());
            if (rng() % 5 == 0) block[16 + 5 * i + 4] = uint8_t(rng());
        }
        Bytes out(input.size());
        size_t produced = huffmanDecode(block.data(), block.size(), out.data(), out.size());
        EXPECT_LE(produced, input.size());
    }
}

}  // namespace
