#include "util/data/huffman.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kAlphabet = 256;
constexpr int16_t kNone = -1;
const uint8_t kMarker[4] = {'H', 'U', 'F', 'F'};

struct SortEntry {
    uint32_t count;
    uint8_t symbol;
    int16_t node;  // subtree this entry stands for, kNone for a single symbol
};

// A child of kNone means that side is a leaf holding leftSymbol / rightSymbol.
struct Node {
    uint8_t leftSymbol, rightSymbol;
    int16_t left, right, parent;
};

struct Code {
    uint32_t length;  // bits
    uint64_t code;    // bit 0 = branch next to the leaf, bit length-1 = branch at the root
};

// The whole working record of one encode or decode call (no heap use).
struct CoderState {
    SortEntry sort[kAlphabet];
    Node nodes[kAlphabet];
    Code codes[kAlphabet];
    int symbols;
};

void clearState(CoderState& s) {
    for (int i = 0; i < kAlphabet; ++i) {
        s.sort[i] = SortEntry{0, uint8_t(i), kNone};
        s.nodes[i] = Node{0, 0, kNone, kNone, kNone};
        s.codes[i] = Code{0, 0};
    }
    s.symbols = 0;
}

// Moves entry i up past every earlier entry with a lower count (one step of a stable
// insertion sort, highest count first). Entries [0, i) must be in order already.
void insertByCount(SortEntry* entries, int i) {
    SortEntry moving = entries[i];
    SortEntry* place = std::upper_bound(entries, entries + i, moving,
                                        [](const SortEntry& a, const SortEntry& b) { return a.count > b.count; });
    std::move_backward(place, entries + i, entries + i + 1);
    *place = moving;
}

// Stable sort of entries [0, count) by count, highest first: the order a stable insertion
// sort gives, in O(count log count) for a table stored in any order.
void sortByCount(SortEntry* entries, int count) {
    std::stable_sort(entries, entries + count,
                     [](const SortEntry& a, const SortEntry& b) { return a.count > b.count; });
}

// Node k joins sort entries k and k+1, the two lowest counts of the active entries.
// Counts add in unsigned 32-bit arithmetic on both sides, so even a damaged table builds
// the same (always well-formed) tree in encoder and decoder.
void buildTree(CoderState& s) {
    for (int k = s.symbols - 2; k >= 0; --k) {
        Node& node = s.nodes[k];
        SortEntry& a = s.sort[k];
        SortEntry& b = s.sort[k + 1];
        if (a.node != kNone) {
            node.left = a.node;
            s.nodes[a.node].parent = int16_t(k);
        } else {
            node.leftSymbol = a.symbol;
        }
        if (b.node != kNone) {
            node.right = b.node;
            s.nodes[b.node].parent = int16_t(k);
        } else {
            node.rightSymbol = b.symbol;
        }
        if (k > 0) {
            a.count += b.count;
            a.node = int16_t(k);
            b.count = 0;
            // The first re-sort orders the table as stored (a damaged one may be in any
            // order). After it, entries [0, k) are in order and only the merged entry k
            // can be out of place, so inserting it gives what the full sort would.
            if (k == s.symbols - 2) {
                sortByCount(s.sort, k + 1);
            } else {
                insertByCount(s.sort, k);
            }
        }
    }
}

void addBit(Code& code, bool one) {
    if (one && code.length < 64) code.code |= uint64_t(1) << code.length;
    ++code.length;
}

void assignCodes(CoderState& s) {
    for (int k = s.symbols - 2; k >= 0; --k) {
        for (int side = 0; side < 2; ++side) {
            const Node& node = s.nodes[k];
            if ((side == 0 ? node.left : node.right) != kNone) continue;
            Code& code = s.codes[side == 0 ? node.leftSymbol : node.rightSymbol];
            addBit(code, side == 1);
            int child = k;
            for (int p = node.parent; p != kNone; child = p, p = s.nodes[p].parent) {
                addBit(code, s.nodes[p].right == child);
            }
        }
    }
}

// Counts, sorts and builds the codes for an input (encoder steps 1-3, 5 and 6).
void prepareEncoder(CoderState& s, const uint8_t* input, size_t size) {
    clearState(s);
    uint32_t counts[4][kAlphabet] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++counts[0][input[i]];
        ++counts[1][input[i + 1]];
        ++counts[2][input[i + 2]];
        ++counts[3][input[i + 3]];
    }
    for (; i < size; ++i) ++counts[0][input[i]];
    for (int v = 0; v < kAlphabet; ++v) {
        s.sort[v].count = counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
        if (s.sort[v].count) ++s.symbols;
    }
    sortByCount(s.sort, kAlphabet);
}

void finishEncoder(CoderState& s, SortEntry* table) {
    memcpy(table, s.sort, sizeof(SortEntry) * size_t(s.symbols));
    if (s.symbols == 1) {
        s.codes[s.sort[0].symbol] = Code{1, 0};
    } else {
        buildTree(s);
        assignCodes(s);
    }
}

void put32(uint8_t* out, uint32_t value) {
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
    out[2] = uint8_t(value >> 16);
    out[3] = uint8_t(value >> 24);
}

uint32_t get32(const uint8_t* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

// Appends code bits most significant first; holds at most 39 pending bits.
struct BitWriter {
    uint8_t* out;
    uint64_t pending = 0;
    uint32_t bits = 0;

    void put(uint64_t code, uint32_t length) {
        if (length > 32) {
            put(code >> 32, length - 32);
            code &= 0xffffffffu;
            length = 32;
        }
        pending = (pending << length) | code;
        bits += length;
        while (bits >= 8) {
            bits -= 8;
            *out++ = uint8_t(pending >> bits);
        }
    }
    // The byte that would take the next bit: partly filled, or a whole zero byte.
    uint8_t* finish() {
        *out++ = bits ? uint8_t(pending << (8 - bits)) : 0;
        return out;
    }
};

}  // namespace

size_t huffmanEncodedSize(const uint8_t* input, size_t size) {
    CoderState s;
    prepareEncoder(s, input, size);
    SortEntry table[kAlphabet];
    finishEncoder(s, table);
    uint64_t bits = 0;
    for (int i = 0; i < s.symbols; ++i) bits += uint64_t(table[i].count) * s.codes[table[i].symbol].length;
    return kHuffmanHeaderSize + kHuffmanRecordSize * size_t(s.symbols) + size_t(bits / 8) + 1;
}

size_t huffmanEncode(const uint8_t* input, size_t size, uint8_t* output) {
    CoderState s;
    prepareEncoder(s, input, size);
    memcpy(output, kMarker, 4);
    put32(output + 4, uint32_t(s.symbols));
    put32(output + 8, uint32_t(size));
    put32(output + 12, 0);
    uint8_t* record = output + kHuffmanHeaderSize;
    for (int i = 0; i < s.symbols; ++i, record += kHuffmanRecordSize) {
        put32(record, s.sort[i].count);
        record[4] = s.sort[i].symbol;
    }
    SortEntry table[kAlphabet];
    finishEncoder(s, table);

    BitWriter writer{record};
    for (size_t i = 0; i < size; ++i) {
        const Code& code = s.codes[input[i]];
        writer.put(code.code, code.length);
    }
    size_t blockSize = size_t(writer.finish() - output);
    put32(output + 12, uint32_t(blockSize));
    return blockSize;
}

HuffmanHeader huffmanReadHeader(const uint8_t* block) {
    return HuffmanHeader{get32(block + 4), get32(block + 8), get32(block + 12)};
}

bool huffmanCheckBlock(const uint8_t* block, size_t available, char* why, size_t whySize) {
    if (available < kHuffmanHeaderSize) {
        snprintf(why, whySize, "the block of %zu bytes is shorter than its %zu-byte header",
                 available, kHuffmanHeaderSize);
        return false;
    }
    HuffmanHeader header = huffmanReadHeader(block);
    if (header.symbols < 1 || header.symbols > uint32_t(kAlphabet)) {
        snprintf(why, whySize, "its symbol count %u is outside 1 to 256", header.symbols);
        return false;
    }
    size_t tableEnd = kHuffmanHeaderSize + kHuffmanRecordSize * header.symbols;
    if (available <= tableEnd) {
        snprintf(why, whySize,
                 "the block of %zu bytes is too short for its table of %u symbols and a bit stream",
                 available, header.symbols);
        return false;
    }
    uint64_t streamBytes = available - tableEnd;
    if (uint64_t(header.uncompressedSize) > streamBytes * 8) {
        snprintf(why, whySize,
                 "its uncompressed size of %u bytes cannot come from a bit stream of %llu bytes",
                 header.uncompressedSize, (unsigned long long)streamBytes);
        return false;
    }
    return true;
}

size_t huffmanDecode(const uint8_t* block, size_t available, uint8_t* output, size_t capacity) {
    char why[160];
    if (!huffmanCheckBlock(block, available, why, sizeof why)) return 0;
    HuffmanHeader header = huffmanReadHeader(block);
    if (header.uncompressedSize > capacity) return 0;

    CoderState s;
    clearState(s);
    s.symbols = int(header.symbols);
    const uint8_t* record = block + kHuffmanHeaderSize;
    for (int i = 0; i < s.symbols; ++i, record += kHuffmanRecordSize) {
        s.sort[i].count = get32(record);
        s.sort[i].symbol = record[4];
    }
    if (s.symbols == 1) {
        s.nodes[0].leftSymbol = s.nodes[0].rightSymbol = s.sort[0].symbol;
    } else {
        buildTree(s);
    }
    // Branch table: child[node][bit] >= 0 is a node, otherwise ~symbol of a leaf.
    int16_t child[kAlphabet][2];
    for (int k = 0; k < kAlphabet; ++k) {
        const Node& node = s.nodes[k];
        child[k][0] = node.left != kNone ? node.left : int16_t(~node.leftSymbol);
        child[k][1] = node.right != kNone ? node.right : int16_t(~node.rightSymbol);
    }

    const uint8_t* cursor = record;
    const uint8_t* end = block + available;
    unsigned position = 8;
    unsigned current = *cursor;
    for (size_t produced = 0; produced < header.uncompressedSize; ++produced) {
        int node = 0;
        for (;;) {
            if (position > 0) {
                --position;
            } else {
                if (++cursor == end) return produced;
                current = *cursor;
                position = 7;
            }
            int next = child[node][(current >> position) & 1];
            if (next < 0) {
                output[produced] = uint8_t(~next);
                break;
            }
            node = next;
        }
    }
    return header.uncompressedSize;
}
