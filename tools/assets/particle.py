#!/usr/bin/python3
"""Writes the spark sprite own_particle_256.png: 256 x 256, 8-bit RGBA.

The sparks are drawn additively; the billboard shader multiplies the sprite's RGB by
the particle's colour (its alpha only whitens the core, see billboard.frag), so RGB is
the light itself: it reaches 0 at the rim, where the square must not show, and alpha
falls with it. The profile is a small hot core on a wide soft halo, purely radial and
deterministic; no randomness is involved.
"""
import math
import sys

from PIL import Image

SIZE = 256
RADIUS = SIZE / 2.0          # pixels from the centre to the rim
CORE_TINT = (1.0, 0.97, 0.92)  # a faintly warm white core


def intensity(d):
    """Brightness at normalised distance d (0 centre, 1 rim): 1 at the centre,
    smooth, monotone, exactly 0 from the rim on."""
    if d >= 1.0:
        return 0.0
    window = (1.0 - d ** 4) ** 2        # flat inside, 0 with zero slope at the rim
    core = math.exp(-d * d * 40.0)      # small hot centre, saturated at d < 0.06
    halo = math.exp(-d * d * 4.0)       # wide soft glow
    return min(1.0, 0.55 * core + 0.7 * halo) * window


def make():
    img = Image.new("RGBA", (SIZE, SIZE))
    px = img.load()
    for y in range(SIZE):
        for x in range(SIZE):
            dx = x + 0.5 - RADIUS
            dy = y + 0.5 - RADIUS
            f = intensity(math.hypot(dx, dy) / RADIUS)
            rgb = tuple(int(round(255.0 * f * t)) for t in CORE_TINT)
            px[x, y] = rgb + (int(round(255.0 * f)),)
    return img


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "data/common/images/own_particle_256.png"
    make().save(out, optimize=True)
