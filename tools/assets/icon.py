#!/usr/bin/python3
"""Writes the menu icon: festoonery.png at 16, 32, 48, 64, 128 and 256 pixels square,
8-bit RGBA, into OUT/hicolor/NxN/apps/ (OUT default dist/icons).

A firework burst over a garland of pennants on a rounded night-blue square. Every
size is drawn from the same shapes (coordinates in units of the icon's side, y down)
with 4 x 4 samples per pixel, and written by this script's own PNG writer (filter 0,
zlib level 9), so the files depend on nothing but Python and zlib. No randomness.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 64, 128, 256)
SAMPLES = 4                      # per axis and pixel

# Background: a rounded square with a vertical gradient.
MARGIN, CORNER = 0.04, 0.19
SKY_TOP, SKY_BOTTOM = (0x1b, 0x16, 0x4c), (0x45, 0x1c, 0x66)

# The burst: RAYS capsules around CENTRE from R_IN to R_OUT, a dot at each tip.
CENTRE = (0.5, 0.40)
RAYS, R_IN, R_OUT = 12, 0.085, 0.27
RAY_WIDTH, TIP_RADIUS, CORE_RADIUS = 0.022, 0.036, 0.055
RAY_COLOURS = ((0xff, 0xd3, 0x4d), (0xff, 0x5f, 0xa2), (0x5f, 0xe3, 0xff))
CORE_COLOUR = (0xff, 0xf6, 0xd8)

# The garland: a string sagging from (G_LEFT, G_TOP) to (G_RIGHT, G_TOP) by G_SAG, with
# PENNANTS triangles hanging from it.
G_LEFT, G_RIGHT, G_TOP, G_SAG, STRING_WIDTH = 0.10, 0.90, 0.67, 0.10, 0.016
PENNANTS, PENNANT_HEIGHT = 5, 0.15
STRING_COLOUR = (0xf2, 0xe8, 0xd0)
PENNANT_COLOURS = ((0xff, 0x4d, 0x5e), (0xff, 0xc8, 0x3d), (0x4d, 0xd9, 0x7a),
                   (0x4d, 0xc3, 0xff), (0xff, 0x6f, 0xc8))


def string_y(x):
    """Height of the garland's string at x: a parabola through both ends."""
    t = (x - G_LEFT) / (G_RIGHT - G_LEFT) * 2.0 - 1.0
    return G_TOP + G_SAG * (1.0 - t * t)


def in_background(x, y):
    lo, hi = MARGIN + CORNER, 1.0 - MARGIN - CORNER
    dx = max(lo - x, 0.0, x - hi)
    dy = max(lo - y, 0.0, y - hi)
    return dx * dx + dy * dy <= CORNER * CORNER and MARGIN <= x <= 1 - MARGIN and MARGIN <= y <= 1 - MARGIN


def burst(x, y):
    """The burst's colour at (x, y), or None."""
    dx, dy = x - CENTRE[0], y - CENTRE[1]
    r = math.hypot(dx, dy)
    if r <= CORE_RADIUS:
        return CORE_COLOUR
    if r > R_OUT + TIP_RADIUS:
        return None
    step = 2.0 * math.pi / RAYS
    k = int(round(math.atan2(dy, dx) / step)) % RAYS
    a = k * step
    ux, uy = math.cos(a), math.sin(a)
    along = dx * ux + dy * uy
    across = abs(-dx * uy + dy * ux)
    colour = RAY_COLOURS[k % len(RAY_COLOURS)]
    tx, ty = dx - R_OUT * ux, dy - R_OUT * uy
    if tx * tx + ty * ty <= TIP_RADIUS * TIP_RADIUS:
        return colour
    if R_IN <= along <= R_OUT:
        # The ray widens from a point at R_IN to RAY_WIDTH at the tip.
        if across <= RAY_WIDTH * (along - R_IN) / (R_OUT - R_IN):
            return colour
    return None


def garland(x, y):
    """The garland's colour at (x, y), or None."""
    if not G_LEFT - STRING_WIDTH <= x <= G_RIGHT + STRING_WIDTH:
        return None
    sy = string_y(min(max(x, G_LEFT), G_RIGHT))
    if abs(y - sy) <= STRING_WIDTH / 2.0:
        return STRING_COLOUR
    width = (G_RIGHT - G_LEFT) / PENNANTS
    i = min(int((x - G_LEFT) / width), PENNANTS - 1)
    left = G_LEFT + i * width + width * 0.08
    right = G_LEFT + (i + 1) * width - width * 0.08
    if not left <= x <= right:
        return None
    top = string_y(left) + (string_y(right) - string_y(left)) * (x - left) / (right - left)
    half = (right - left) / 2.0
    depth = PENNANT_HEIGHT * (1.0 - abs(x - (left + half)) / half)
    if top <= y <= top + depth:
        return PENNANT_COLOURS[i % len(PENNANT_COLOURS)]
    return None


def sample(x, y):
    """RGBA (0-255 floats) of one sample point."""
    if not in_background(x, y):
        return (0.0, 0.0, 0.0, 0.0)
    for layer in (burst, garland):
        colour = layer(x, y)
        if colour is not None:
            return colour + (255.0,)
    t = (y - MARGIN) / (1.0 - 2.0 * MARGIN)
    return tuple(a + (b - a) * t for a, b in zip(SKY_TOP, SKY_BOTTOM)) + (255.0,)


def render(size):
    """Rows of RGBA bytes, top row first; colours averaged with their alpha."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                y = (py + (sy + 0.5) / SAMPLES) / size
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    cr, cg, cb, ca = sample(x, y)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a > 0.0:
                row += bytes((int(r / a + 0.5), int(g / a + 0.5), int(b / a + 0.5), int(a / n + 0.5)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "dist/icons"
    for size in SIZES:
        folder = os.path.join(out, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "festoonery.png"), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
