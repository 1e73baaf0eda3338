#!/usr/bin/python3
"""Writes the example's backdrop: images/dusk.png, a harbour at dusk under rising lanterns.

384x216 pixels (16:9), 8-bit RGB: a sky from indigo to a warm horizon, a dark shore
line, still water below, faint stars and a dozen soft lanterns. Everything comes from
fixed numbers (no random generator, no time), and the file is written with zlib at
level 9, so two runs write the same bytes. Run from anywhere; writes beside this
script's ../data/images/.
"""
import math
import os
import struct
import zlib

WIDTH, HEIGHT = 384, 216
HORIZON = 0.64  # of the height, from the top
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "images", "dusk.png")

# (x, y) as fractions of the picture, radius in pixels.
LANTERNS = [(0.12, 0.30, 5.0), (0.21, 0.18, 3.5), (0.30, 0.40, 6.0), (0.38, 0.12, 3.0), (0.47, 0.27, 4.5),
            (0.55, 0.46, 7.0), (0.61, 0.16, 3.0), (0.68, 0.33, 5.0), (0.77, 0.22, 4.0), (0.84, 0.42, 6.5),
            (0.91, 0.14, 3.0), (0.05, 0.50, 6.0)]


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def sky(v):
    """v: 0 at the top, 1 at the horizon."""
    if v < 0.6:
        return mix((14, 16, 48), (70, 40, 90), v / 0.6)
    return mix((70, 40, 90), (235, 130, 70), (v - 0.6) / 0.4)


def shore(x):
    """The shore's top edge in rows, a few low hills along the horizon."""
    u = x / WIDTH
    return HORIZON * HEIGHT - 6 - 9 * max(0.0, math.sin(u * 7.0 + 0.8)) - 4 * math.sin(u * 23.0)


def star(x, y):
    """A faint star where a fixed hash of the pixel falls low enough, in the upper sky."""
    h = (x * 374761393 + y * 668265263) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return y < HEIGHT * 0.45 and h % 1000 < 4


def pixel(x, y):
    horizon = HORIZON * HEIGHT
    if y < shore(x):
        colour = sky(y / horizon)
        if star(x, y):
            colour = mix(colour, (255, 250, 230), 0.7)
    elif y < horizon:
        colour = (12, 10, 20)
    else:
        # Still water: the sky mirrored and darkened, with ripples across it.
        depth = (y - horizon) / (HEIGHT - horizon)
        colour = mix(sky(1.0 - depth), (8, 14, 30), 0.55 + 0.4 * depth)
        colour = mix(colour, (0, 0, 0), 0.08 * (1 + math.sin(y * 1.7 + math.sin(x * 0.05) * 3)))
    for lx, ly, radius in LANTERNS:
        cx, cy = lx * WIDTH, ly * HEIGHT
        for mirrored in (False, True):
            if mirrored:
                cy = 2 * horizon - cy
                if y < horizon:
                    continue
            d = math.hypot(x - cx, (y - cy) * (2.5 if mirrored else 1.0))
            glow = math.exp(-((d / (radius * 2.2)) ** 2)) * (0.35 if mirrored else 1.0)
            core = 1.0 if d < radius * 0.6 and not mirrored else 0.0
            colour = mix(colour, (255, 170, 80), min(1.0, glow))
            colour = mix(colour, (255, 235, 180), core)
    return bytes(max(0, min(255, int(round(c)))) for c in colour)


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write_png(path):
    raw = b"".join(b"\0" + b"".join(pixel(x, y) for x in range(WIDTH)) for y in range(HEIGHT))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)  # 8-bit RGB, not interlaced
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    write_png(OUT)
