#!/usr/bin/env python3
"""Writes a data.mvt from the format's description alone, independent of the engine,
so the tests can check the engine against a second encoder and can build archives the
tool would never write (unsafe names, duplicates).

Usage: mvt_craft.py OUT NAME DATA [NAME DATA ...]   (DATA is taken as UTF-8 text)
"""
import struct
import sys


def huffman_block(data: bytes) -> bytes:
    counts = [0] * 256
    for b in data:
        counts[b] += 1
    # Stable sort, highest count first; equal counts keep symbol order.
    entries = sorted(([counts[i], i, None] for i in range(256)), key=lambda e: -e[0])
    n = sum(1 for c in counts if c)
    table = [(e[0], e[1]) for e in entries[:n]]
    active = [list(e) for e in entries[:n]]
    nodes = [{"sym": [0, 0], "child": [None, None]} for _ in range(256)]
    for k in range(n - 2, -1, -1):
        for side, entry in enumerate((active[k], active[k + 1])):
            if entry[2] is not None:
                nodes[k]["child"][side] = entry[2]
            else:
                nodes[k]["sym"][side] = entry[1]
        if k > 0:
            active[k][0] += active[k + 1][0]
            active[k][2] = k
            active[k + 1][0] = 0
            active[: k + 1] = sorted(active[: k + 1], key=lambda e: -e[0])
    codes = {}
    if n == 1:
        codes[table[0][1]] = "0"
    elif n > 1:
        stack = [(0, "")]
        while stack:
            node, prefix = stack.pop()
            for side in (0, 1):
                child = nodes[node]["child"][side]
                if child is None:
                    codes[nodes[node]["sym"][side]] = prefix + str(side)
                else:
                    stack.append((child, prefix + str(side)))
    bits = "".join(codes[b] for b in data)
    stream = bytearray(len(bits) // 8 + 1)
    for i, bit in enumerate(bits):
        if bit == "1":
            stream[i // 8] |= 0x80 >> (i % 8)
    records = b"".join(struct.pack("<IB", c, v) for c, v in table)
    size = 16 + len(records) + len(stream)
    return b"HUFF" + struct.pack("<III", n, len(data), size) + records + bytes(stream)


def main() -> None:
    out, pairs = sys.argv[1], sys.argv[2:]
    stream = b""
    for name, data in zip(pairs[0::2], pairs[1::2]):
        name_bytes, data_bytes = name.encode(), data.encode()
        stream += b"MVTDFC\0" + struct.pack("<II", len(name_bytes), len(data_bytes)) + name_bytes + data_bytes
    with open(out, "wb") as f:
        f.write(b"Morvaset Data File\0\0\2" + huffman_block(stream))


if __name__ == "__main__":
    main()
