// Fuzzes the Huffman decoder with the input as a block, and checks a round trip: whatever
// a block decodes to encodes and decodes back to itself; an input that is no block
// survives encoding and decoding itself. (One round trip per input: the coder builds its
// tree twice per encode, and the campaign's executions count.)
#include <cstdint>
#include <cstring>
#include <vector>

#include "util/data/huffman.h"

namespace {
void roundTrip(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(huffmanEncodedSize(data, size));
    size_t blockSize = huffmanEncode(data, size, block.data());
    if (blockSize != block.size()) __builtin_trap();
    if (size == 0) return;  // an empty input's block (n = 0) is refused by design
    std::vector<uint8_t> back(size);
    if (huffmanDecode(block.data(), block.size(), back.data(), back.size()) != size) __builtin_trap();
    if (memcmp(back.data(), data, size) != 0) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char why[200];
    // An exactly sized copy, so the sanitizers see any read past the block.
    std::vector<uint8_t> block(data, data + size);
    if (huffmanCheckBlock(block.data(), block.size(), why, sizeof why)) {
        HuffmanHeader header = huffmanReadHeader(block.data());
        std::vector<uint8_t> out(header.uncompressedSize);
        size_t produced = huffmanDecode(block.data(), block.size(), out.data(), out.size());
        if (produced > out.size()) __builtin_trap();
        roundTrip(out.data(), produced);
        return 0;
    }
    roundTrip(data, size);
    return 0;
}
