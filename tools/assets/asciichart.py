#!/usr/bin/python3
"""Writes asciichart.png: the 256 glyphs of code page 437 on a 16 x 16 grid.

Layout: 256 x 256 pixels, cells of 16 x 16 pixels; glyph code c sits in column c % 16
and row c // 16, counted from the top-left. White glyphs on transparent black,
8-bit RGBA with RGB = alpha = glyph coverage.

Codes 0 to 31 are shown with their classic text-mode pictures (smileys, card suits,
arrows...), code 127 as the house, 255 (non-breaking space) and 0 and 32 blank. Box
drawing, shade and block glyphs (176-223) are drawn as rectangles that fill the cell edge to
edge, so adjacent cells join seamlessly as on a text screen.
"""
import sys

from PIL import Image, ImageDraw, ImageFont

CELL = 16
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"

# The pictures the text-mode ROM shows for the control codes 0-31 and 127.
CONTROL = ("\u0000\u263a\u263b\u2665\u2666\u2663\u2660\u2022\u25d8\u25cb\u25d9\u2642\u2640"
           "\u266a\u266b\u263c\u25ba\u25c4\u2195\u203c\u00b6\u00a7\u25ac\u21a8\u2191\u2193"
           "\u2192\u2190\u221f\u2194\u25b2\u25bc")
HOUSE = "\u2302"


def glyph_char(code):
    if code < 32:
        return CONTROL[code]
    if code == 127:
        return HOUSE
    return bytes([code]).decode("cp437")


# Box drawing: for each code the line weight towards (left, right, up, down):
# 0 none, 1 single, 2 double.
def _box_table():
    table = {}
    spec = {
        0xB3: (0, 0, 1, 1), 0xB4: (1, 0, 1, 1), 0xB5: (2, 0, 1, 1), 0xB6: (1, 0, 2, 2),
        0xB7: (1, 0, 0, 2), 0xB8: (2, 0, 0, 1), 0xB9: (2, 0, 2, 2), 0xBA: (0, 0, 2, 2),
        0xBB: (2, 0, 0, 2), 0xBC: (2, 0, 2, 0), 0xBD: (1, 0, 2, 0), 0xBE: (2, 0, 1, 0),
        0xBF: (1, 0, 0, 1), 0xC0: (0, 1, 1, 0), 0xC1: (1, 1, 1, 0), 0xC2: (1, 1, 0, 1),
        0xC3: (0, 1, 1, 1), 0xC4: (1, 1, 0, 0), 0xC5: (1, 1, 1, 1), 0xC6: (0, 2, 1, 1),
        0xC7: (0, 1, 2, 2), 0xC8: (0, 2, 2, 0), 0xC9: (0, 2, 0, 2), 0xCA: (2, 2, 2, 0),
        0xCB: (2, 2, 0, 2), 0xCC: (0, 2, 2, 2), 0xCD: (2, 2, 0, 0), 0xCE: (2, 2, 2, 2),
        0xCF: (2, 2, 1, 0), 0xD0: (1, 1, 2, 0), 0xD1: (2, 2, 0, 1), 0xD2: (1, 1, 0, 2),
        0xD3: (0, 1, 2, 0), 0xD4: (0, 2, 1, 0), 0xD5: (0, 2, 0, 1), 0xD6: (0, 1, 0, 2),
        0xD7: (1, 1, 2, 2), 0xD8: (2, 2, 1, 1), 0xD9: (1, 0, 1, 0), 0xDA: (0, 1, 0, 1),
    }
    table.update(spec)
    return table


BOX = _box_table()


def draw_box(d, x0, y0, weights):
    """Draws one box-drawing cell. Single lines are 2 px wide through the centre
    (pixels 7-8); double lines are two 2 px lines at 5-6 and 9-10; every arm runs
    to the cell edge so neighbouring cells join."""
    left, right, up, down = weights

    def rect(xa, ya, xb, yb):            # inclusive-exclusive cell coordinates
        if xb > xa and yb > ya:
            d.rectangle([x0 + xa, y0 + ya, x0 + xb - 1, y0 + yb - 1], fill=255)

    single = [(7, 9)]
    double = [(5, 7), (9, 11)]
    # A single arm meeting a double crossing line reaches the double line's far
    # side; otherwise arms reach the centre strip's far side.
    v_reach = (5, 11) if 2 in (up, down) else (7, 9)
    h_reach = (5, 11) if 2 in (left, right) else (7, 9)
    for weight, is_left in ((left, True), (right, False)):
        if weight == 0:
            continue
        for ya, yb in (single if weight == 1 else double):
            reach = v_reach if weight == 1 else (5, 11)
            if is_left:
                rect(0, ya, reach[1], yb)
            else:
                rect(reach[0], ya, CELL, yb)
    for weight, is_up in ((up, True), (down, False)):
        if weight == 0:
            continue
        for xa, xb in (single if weight == 1 else double):
            reach = h_reach if weight == 1 else (5, 11)
            if is_up:
                rect(xa, 0, xb, reach[1])
            else:
                rect(xa, reach[0], xb, CELL)


def draw_block(d, x0, y0, code):
    """Shades (176-178) and blocks (219-223) fill the cell exactly."""
    if code in (0xB0, 0xB1, 0xB2):
        # Light, medium and dark shade: 1/4, 1/2 and 3/4 of the pixels set.
        for y in range(CELL):
            for x in range(CELL):
                if code == 0xB0:
                    on = (x % 2 == 0) and (y % 2 == 0)
                elif code == 0xB1:
                    on = (x + y) % 2 == 0
                else:
                    on = not ((x % 2 == 1) and (y % 2 == 1))
                if on:
                    d.point((x0 + x, y0 + y), fill=255)
        return
    h = CELL // 2
    rects = {0xDB: (0, 0, CELL, CELL), 0xDC: (0, h, CELL, CELL), 0xDD: (0, 0, h, CELL),
             0xDE: (h, 0, CELL, CELL), 0xDF: (0, 0, CELL, h)}
    x_a, y_a, x_b, y_b = rects[code]
    d.rectangle([x0 + x_a, y0 + y_a, x0 + x_b - 1, y0 + y_b - 1], fill=255)


def make():
    coverage = Image.new("L", (CELL * 16, CELL * 16), 0)
    d = ImageDraw.Draw(coverage)
    font = ImageFont.truetype(FONT, 14)
    ascent, _ = font.getmetrics()
    for code in range(256):
        x0 = (code % 16) * CELL
        y0 = (code // 16) * CELL
        if code in BOX:
            draw_box(d, x0, y0, BOX[code])
            continue
        if code in (0xB0, 0xB1, 0xB2, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF):
            draw_block(d, x0, y0, code)
            continue
        ch = glyph_char(code)
        if ch in ("\u0000", " ", "\u00a0"):
            continue
        width = font.getlength(ch)
        # Centre horizontally; baseline 3 px above the cell bottom.
        d.text((x0 + (CELL - width) / 2.0, y0 + CELL - 3 - ascent), ch, font=font, fill=255)
    # RGB equals alpha: white on black when drawn opaque or added, white on
    # transparent when blended by alpha.
    return Image.merge("RGBA", (coverage, coverage, coverage, coverage))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "data/common/images/asciichart.png"
    make().save(out, optimize=True)
