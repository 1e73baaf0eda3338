// The static Huffman coder of the archive body.
//
// Block layout (little-endian): "HUFF", symbol count n (1..256), uncompressed size,
// total block size (header included), n table records {4-byte count, 1-byte value} in
// frequency order (highest count first), then the bit stream: every input byte's code
// in input order, first bit in bit 7 of each byte, unused low bits of the last byte
// zero. The block always ends with the byte that would take the next bit, so its size
// is 16 + 5n + floor(bits / 8) + 1.
//
// Encoder and decoder build the same tree from the table. Tie order: every sort is a
// stable sort by count, highest first, so entries with equal counts keep their previous
// relative order. The first sort starts from symbol order (0..255); an entry that holds
// a merged subtree is re-sorted from the end of the active range, so it goes after all
// entries with an equal count.
//
// Single-symbol input: the encoder gives that value the code 0 of one bit. The decoder
// yields the table's one value for every bit of the stream, whatever the bit, so such
// blocks round-trip like any other.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kHuffmanHeaderSize = 16;
constexpr size_t kHuffmanRecordSize = 5;

struct HuffmanHeader {
    uint32_t symbols;           // n, the table's record count
    uint32_t uncompressedSize;  // bytes
    uint32_t blockSize;         // bytes, as stored (the decoder does not rely on it)
};

// Exact size in bytes of the block huffmanEncode writes for this input.
// The input must be shorter than 4 GiB.
size_t huffmanEncodedSize(const uint8_t* input, size_t size);

// Encodes input into output, which must hold huffmanEncodedSize(input, size) bytes.
// Returns the block size. Empty input gives a 17-byte block with n = 0, which the
// decoder refuses (the archive writer never encodes an empty stream).
size_t huffmanEncode(const uint8_t* input, size_t size, uint8_t* output);

// The header fields; block must hold at least kHuffmanHeaderSize bytes.
HuffmanHeader huffmanReadHeader(const uint8_t* block);

// Checks that a block of `available` bytes can be decoded without reading or writing
// outside its buffers: a whole header, 1..256 symbols, the whole table and at least one
// stream byte, and an uncompressed size the stream can fill at one bit per byte at best.
// Returns true when it can; otherwise false with the damage described in `why`.
bool huffmanCheckBlock(const uint8_t* block, size_t available, char* why, size_t whySize);

// Decodes a block of `available` bytes into output (capacity bytes). Returns the number
// of bytes produced: the header's uncompressed size for a sound block, fewer when the
// bit stream ends early, and 0 when huffmanCheckBlock refuses the block or the output
// is smaller than the uncompressed size. Never reads past block + available.
size_t huffmanDecode(const uint8_t* block, size_t available, uint8_t* output, size_t capacity);
