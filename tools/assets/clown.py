#!/usr/bin/python3
"""Draws cokie_the_clown.jpg: Cokie the clown, 1920 x 1080 (16:9), baseline JPEG.

The picture is shown with nearest filtering, so it is made at the size of a full-HD
screen: one texel per pixel there, no stair steps. Shapes are laid out on a 1024 x 576
design grid, drawn at three times the output size and scaled down with a Lanczos
filter, which anti-aliases every edge. The confetti and balloon placement come from a
fixed seed, so the file is the same on every run.

White words scroll over the picture through four columns of the width (0-0.12,
0.2-0.32, 0.4-0.52, 0.6-0.72; tools/assets/check_look.py measures them). So the
make-up is coloured, not white, the rays and the light behind the head stay below
near-white, and the curls, the ruff and the confetti carry no white: only the eyes,
the teeth, the pom-pom and small highlights are left white.
"""
import math
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

W, H = 1024, 576             # design grid: every coordinate below is in these units
OUT_W, OUT_H = 1920, 1080    # the written picture
SS = 3                       # supersampling factor over the output size
SEED = 20240320


def S(v):
    """Design units to supersampled canvas pixels."""
    return int(round(v * OUT_W / W * SS))


def box(cx, cy, rx, ry):
    return [S(cx - rx), S(cy - ry), S(cx + rx), S(cy + ry)]


class Canvas:
    """Draws onto an RGBA image in output-pixel coordinates; translucent shapes are
    drawn on a layer of their own and composited."""

    def __init__(self):
        self.img = Image.new("RGBA", (OUT_W * SS, OUT_H * SS), (0, 0, 0, 255))

    def layer(self):
        return Image.new("RGBA", self.img.size, (0, 0, 0, 0))

    def put(self, layer, blur=0):
        if blur:
            layer = layer.filter(ImageFilter.GaussianBlur(S(blur)))
        self.img.alpha_composite(layer)

    def draw(self):
        return ImageDraw.Draw(self.img)


def ellipse(d, cx, cy, rx, ry, fill, outline=None, width=0):
    d.ellipse(box(cx, cy, rx, ry), fill=fill, outline=outline, width=S(width) if width else 0)


def polygon(d, pts, fill, outline=None, width=0):
    d.polygon([(S(x), S(y)) for x, y in pts], fill=fill)
    if outline:
        d.line([(S(x), S(y)) for x, y in pts + [pts[0]]], fill=outline, width=S(width),
               joint="curve")


def arc_points(cx, cy, rx, ry, a0, a1, n=48):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def thick_curve(d, pts, fill, width):
    d.line([(S(x), S(y)) for x, y in pts], fill=fill, width=S(width), joint="curve")
    r = width / 2.0
    for x, y in (pts[0], pts[-1]):
        ellipse(d, x, y, r, r, fill)


def background(c, rng):
    d = c.draw()
    # A circus sunburst: alternating wedges around a point behind the head.
    cx, cy = W / 2, H * 0.42
    colours = [(235, 60, 70), (250, 180, 30), (60, 170, 230), (255, 140, 40),
               (150, 90, 210), (70, 200, 120)]
    n = 24
    for i in range(n):
        a0 = 2 * math.pi * i / n
        a1 = 2 * math.pi * (i + 1) / n
        far = 1400
        pts = [(cx, cy), (cx + far * math.cos(a0), cy + far * math.sin(a0)),
               (cx + far * math.cos(a1), cy + far * math.sin(a1))]
        polygon(d, pts, colours[i % len(colours)] + (255,))
    # A soft warm light behind the clown so the figure stands out; tinted, so that
    # even at its centre it lifts the rays without turning them near-white.
    glow = c.layer()
    gd = ImageDraw.Draw(glow)
    for k in range(12, 0, -1):
        r = 60 + k * 28
        gd.ellipse(box(cx, cy + 20, r * 1.25, r), fill=(255, 215, 150, 12))
    c.put(glow, blur=10)
    # Confetti.
    conf = c.layer()
    cd = ImageDraw.Draw(conf)
    palette = [(190, 130, 255), (255, 80, 160), (255, 200, 40), (80, 210, 255),
               (100, 230, 110), (255, 120, 40)]
    for _ in range(170):
        x, y = rng.uniform(0, W), rng.uniform(0, H)
        if abs(x - W / 2) < 230 and y > 40:
            continue  # keep the face and hair clear
        col = rng.choice(palette) + (235,)
        if rng.random() < 0.5:
            r = rng.uniform(3, 7)
            cd.ellipse(box(x, y, r, r), fill=col)
        else:
            a = rng.uniform(0, math.pi)
            l, w = rng.uniform(6, 12), rng.uniform(2.5, 4)
            dx, dy = math.cos(a), math.sin(a)
            pts = [(x - dx * l - dy * w, y - dy * l + dx * w), (x + dx * l - dy * w, y + dy * l + dx * w),
                   (x + dx * l + dy * w, y + dy * l - dx * w), (x - dx * l + dy * w, y - dy * l - dx * w)]
            cd.polygon([(S(px), S(py)) for px, py in pts], fill=col)
    c.put(conf)


def balloon(c, x, y, r, colour):
    d = c.draw()
    # String first, so the balloon covers its top.
    pts = [(x + 8 * math.sin(t / 6.0), y + r * 1.15 + t * 3.0) for t in range(0, 70)]
    d.line([(S(px), S(py)) for px, py in pts], fill=(185, 185, 200, 255), width=S(1.6))
    ellipse(d, x, y, r, r * 1.18, colour + (255,), outline=(40, 30, 40, 255), width=2.5)
    polygon(d, [(x - 7, y + r * 1.18 + 8), (x + 7, y + r * 1.18 + 8), (x, y + r * 1.18 - 2)],
            colour + (255,), outline=(40, 30, 40, 255), width=2)
    hl = c.layer()
    hd = ImageDraw.Draw(hl)
    hd.ellipse(box(x - r * 0.38, y - r * 0.45, r * 0.22, r * 0.34), fill=(255, 255, 255, 170))
    c.put(hl, blur=1.5)


def collar(c):
    d = c.draw()
    # Shirt and shoulders, with polka dots.
    polygon(d, [(250, 576), (330, 488), (694, 488), (774, 576)], (40, 90, 200, 255),
            outline=(30, 30, 60, 255), width=3)
    for row, y in enumerate((520, 556)):
        for x in range(300 + row * 24, 740, 48):
            ellipse(d, x, y, 9, 9, (255, 225, 60, 255))
    # The ruff: two rings of overlapping scallops in alternating colours.
    cols = [(255, 190, 40), (240, 70, 90), (120, 215, 110), (80, 170, 255)]
    for ring, (y0, sag, rx, ry, n) in enumerate(((478, 26, 38, 30, 13), (456, 14, 32, 26, 11))):
        for i in range(n):
            t = i / (n - 1)
            x = (340 + ring * 30) + t * (344 - ring * 60)
            y = y0 + sag * math.sin(math.pi * t)
            col = cols[(i + ring) % len(cols)]
            ellipse(d, x, y, rx, ry, col + (255,), outline=(40, 30, 40, 255), width=3)
            ellipse(d, x, y + 4, rx * 0.35, ry * 0.3, tuple(max(0, v - 45) for v in col) + (255,))


def spiral(cx, cy, r, turns, phase, n=40):
    return [(cx + r * (1 - 0.75 * i / n) * math.cos(phase + turns * 2 * math.pi * i / n),
             cy + r * (1 - 0.75 * i / n) * math.sin(phase + turns * 2 * math.pi * i / n))
            for i in range(n + 1)]


def hair(c, rng):
    d = c.draw()
    curl_colours = [(255, 40, 110), (255, 200, 0), (0, 190, 255), (150, 70, 245),
                    (70, 215, 90), (255, 120, 200)]
    for side in (-1, 1):
        blobs = []
        for _ in range(34):
            a = math.radians(rng.uniform(-80, 100))
            dist = rng.uniform(10, 105)
            x = W / 2 + side * (165 + dist * math.cos(a) * 0.85)
            y = 245 - dist * math.sin(a) * 0.9
            blobs.append((x, y, rng.uniform(28, 44)))
        # One cloud silhouette: every blob outlined, then every blob filled, so only
        # the outer edge keeps its dark line.
        for x, y, r in blobs:
            ellipse(d, x, y, r + 3.5, r + 3.5, (60, 20, 30, 255))
        for x, y, r in blobs:
            ellipse(d, x, y, r, r, (255, 110, 20, 255))
        # Wild coloured curls over the cloud.
        for k, (x, y, r) in enumerate(blobs):
            col = curl_colours[k % len(curl_colours)]
            pts = spiral(x, y, r * 0.7, rng.uniform(1.1, 1.6), rng.uniform(0, 2 * math.pi))
            d.line([(S(px), S(py)) for px, py in pts], fill=col + (255,), width=S(5), joint="curve")


def face(c):
    d = c.draw()
    fx, fy = W / 2, 290
    # Ears.
    for side in (-1, 1):
        ellipse(d, fx + side * 132, fy + 10, 26, 40, (240, 170, 150, 255), outline=(60, 30, 30, 255), width=3)
        ellipse(d, fx + side * 134, fy + 12, 12, 22, (215, 125, 110, 255))
    # Pink make-up face (white words cross it).
    ellipse(d, fx, fy, 142, 152, (248, 150, 180, 255), outline=(60, 40, 50, 255), width=4)
    # Soft shading at the jaw, then rosy cheeks.
    sh = c.layer()
    sd = ImageDraw.Draw(sh)
    sd.ellipse(box(fx, fy + 120, 110, 40), fill=(170, 80, 100, 70))
    c.put(sh, blur=14)
    ck = c.layer()
    kd = ImageDraw.Draw(ck)
    for side in (-1, 1):
        kd.ellipse(box(fx + side * 88, fy + 45, 30, 22), fill=(235, 60, 110, 150))
    c.put(ck, blur=6)
    d = c.draw()
    # Eyes: blue make-up diamonds, white eyes, black pupils with a glint.
    for side in (-1, 1):
        ex, ey = fx + side * 55, fy - 35
        polygon(d, [(ex, ey - 62), (ex + 30, ey), (ex, ey + 52), (ex - 30, ey)], (60, 110, 235, 255))
        ellipse(d, ex, ey, 24, 28, (255, 255, 255, 255), outline=(20, 20, 30, 255), width=3.5)
        ellipse(d, ex + side * -4, ey + 4, 12, 14, (25, 20, 30, 255))
        ellipse(d, ex + side * -4 - 4, ey - 2, 4, 4.5, (255, 255, 255, 255))
        # Arched brow high on the forehead.
        thick_curve(d, arc_points(ex, ey - 58, 34, 20, 200, 340, 30), (25, 20, 30, 255), 7)
    # Painted smile: a wide red shape, a dark mouth, a tongue.
    mx, my = fx, fy + 70
    outer = arc_points(mx, my - 20, 92, 70, 10, 170, 60)
    upper = arc_points(mx, my - 58, 70, 36, 165, 15, 60)
    polygon(d, outer + upper, (230, 30, 50, 255), outline=(120, 10, 30, 255), width=3)
    inner_low = arc_points(mx, my - 12, 66, 48, 20, 160, 60)
    inner_up = arc_points(mx, my - 34, 58, 22, 160, 20, 60)
    polygon(d, inner_low + inner_up, (90, 10, 25, 255))
    ellipse(d, mx, my + 20, 26, 12, (255, 120, 140, 255))
    # Teeth along the upper lip.
    polygon(d, arc_points(mx, my - 34, 50, 20, 155, 25, 40) + arc_points(mx, my - 24, 46, 14, 25, 155, 40),
            (255, 255, 250, 255))
    # Big red nose with a highlight and a soft shadow below.
    shd = c.layer()
    sdd = ImageDraw.Draw(shd)
    sdd.ellipse(box(fx + 6, fy + 30, 40, 22), fill=(120, 40, 60, 110))
    c.put(shd, blur=5)
    d = c.draw()
    ellipse(d, fx, fy + 8, 40, 38, (235, 20, 30, 255), outline=(110, 0, 10, 255), width=3)
    hl = c.layer()
    hd = ImageDraw.Draw(hl)
    hd.ellipse(box(fx - 14, fy - 6, 13, 10), fill=(255, 255, 255, 220))
    c.put(hl, blur=1.5)


def hat(c):
    d = c.draw()
    # A tilted party cone with stripes, a band and a pom-pom.
    base_l, base_r = (402, 148), (598, 128)
    tip = (528, 22)
    polygon(d, [base_l, base_r, tip], (250, 185, 30, 255), outline=(60, 30, 30, 255), width=4)
    stripes = [(240, 60, 90), (60, 150, 240), (240, 60, 90), (60, 150, 240)]
    for i, col in enumerate(stripes):
        t0 = 0.15 + i * 0.22
        t1 = t0 + 0.1

        def on(side, t):
            return (side[0] + (tip[0] - side[0]) * t, side[1] + (tip[1] - side[1]) * t)
        polygon(d, [on(base_l, t0), on(base_r, t0), on(base_r, t1), on(base_l, t1)], col + (255,))
    d.line([(S(x), S(y)) for x, y in (base_l, tip, base_r)], fill=(60, 30, 30, 255), width=S(4),
           joint="curve")
    # Band along the base.
    polygon(d, [(395, 140), (604, 118), (608, 140), (399, 162)], (150, 60, 210, 255),
            outline=(60, 30, 30, 255), width=3)
    for k in range(5):
        t = (k + 0.5) / 5
        ellipse(d, 397 + t * 209, 151 - t * 22, 6, 6, (255, 255, 255, 255))
    # Pom-pom: a fluffy white cluster.
    for a in range(0, 360, 40):
        ellipse(d, tip[0] + 14 * math.cos(math.radians(a)), tip[1] + 12 + 14 * math.sin(math.radians(a)),
                14, 14, (255, 255, 255, 255), outline=(120, 110, 130, 255), width=2)
    ellipse(d, tip[0], tip[1] + 12, 15, 15, (255, 255, 255, 255))


def make():
    rng = random.Random(SEED)
    c = Canvas()
    background(c, rng)
    balloon(c, 120, 150, 48, (235, 40, 60))
    balloon(c, 215, 95, 40, (60, 200, 90))
    balloon(c, 900, 135, 50, (60, 120, 235))
    balloon(c, 810, 80, 38, (250, 200, 30))
    hair(c, rng)
    face(c)
    collar(c)
    hat(c)
    return c.img.convert("RGB").resize((OUT_W, OUT_H), Image.LANCZOS)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "data/common/images/cokie_the_clown.jpg"
    make().save(out, "JPEG", quality=90, progressive=False, optimize=False, subsampling=0)
