#!/usr/bin/python3
"""Look figures of captured frames and of the picture, for tuning the sparks' sprite,
the billboard shader and the clown picture.

  check_look.py frames FOLDER [FIRST LAST]   figures of frame_NNNNNN.png files
  check_look.py picture IMAGE                near-white share of the words' columns
  check_look.py compare FOLDER_A FOLDER_B [CROPS]
                                             the same frames of two captures (the
                                             particle paths), difference figures

frames: mean luminance (0-255) of each frame and their average; the share of the
frame covered by bright coloured sparks (brightest channel >= 100 and at least 40
above the dimmest), and the share of frames where that cover reaches 1%.
picture: the greeting's words travel through four columns (0-0.12, 0.2-0.32, 0.4-0.52,
0.6-0.72 of the width); for each, the share of pixels with luminance above 200, the
near-white that swallows white words.
compare: per frame present in both folders, the mean absolute difference per channel
(levels of 255 over the whole frame), the largest, and the share of pixels differing
by more than 2 levels; CROPS, a folder, gets side-by-side crops (A left, B right) of
each frame's region that differs most.
Luminance is ITU-R 601 (PIL's "L" conversion). Needs python3-pil.
"""
import glob
import os
import re
import sys

from PIL import Image, ImageChops

WORD_COLUMNS = ((0.0, 0.12), (0.2, 0.32), (0.4, 0.52), (0.6, 0.72))
NEAR_WHITE = 200
SPARK_MAX, SPARK_SPREAD, SPARK_COVER = 100, 40, 0.01


def frame_figures(path):
    """(mean luminance, share of bright coloured spark pixels) of one frame."""
    img = Image.open(path).convert("RGB")
    n = img.width * img.height
    lum = img.convert("L")
    mean = sum(i * c for i, c in enumerate(lum.histogram())) / n
    r, g, b = img.split()
    hi = ImageChops.lighter(ImageChops.lighter(r, g), b)
    lo = ImageChops.darker(ImageChops.darker(r, g), b)
    spread = ImageChops.subtract(hi, lo)
    bright = hi.point(lambda v: 255 if v >= SPARK_MAX else 0)
    coloured = spread.point(lambda v: 255 if v >= SPARK_SPREAD else 0)
    both = ImageChops.multiply(bright, coloured)
    return mean, both.histogram()[255] / n


def frames(folder, first=None, last=None):
    paths = []
    for p in sorted(glob.glob(os.path.join(folder, "frame_*.png"))):
        k = int(re.search(r"frame_(\d+)\.png$", p).group(1))
        if (first is None or k >= first) and (last is None or k <= last):
            paths.append((k, p))
    if not paths:
        sys.exit("no frames in %s" % folder)
    means, covers = [], []
    for k, p in paths:
        m, c = frame_figures(p)
        means.append(m)
        covers.append(c)
        print("frame %6d  mean luminance %6.2f  bright coloured %6.3f%%" % (k, m, 100 * c))
    hits = sum(1 for c in covers if c >= SPARK_COVER)
    print("frames %d: mean luminance average %.2f (min %.2f, max %.2f); "
          "bright coloured cover >= 1%% in %d frames = %.1f%%"
          % (len(paths), sum(means) / len(means), min(means), max(means), hits,
             100.0 * hits / len(paths)))


def picture(path):
    img = Image.open(path).convert("L")
    w, h = img.size
    worst = 0.0
    for a, b in WORD_COLUMNS:
        col = img.crop((int(round(a * w)), 0, int(round(b * w)), h))
        hist = col.histogram()
        share = sum(hist[NEAR_WHITE + 1:]) / (col.width * col.height)
        worst = max(worst, share)
        print("columns %.2f-%.2f: near-white %.2f%%" % (a, b, 100 * share))
    whole = img.histogram()
    print("whole picture: near-white %.2f%%, mean luminance %.1f; worst column %.2f%%"
          % (100 * sum(whole[NEAR_WHITE + 1:]) / (w * h),
             sum(i * c for i, c in enumerate(whole)) / (w * h), 100 * worst))


def compare(folder_a, folder_b, crops=None):
    names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder_a, "frame_*.png")))
    names = [n for n in names if os.path.exists(os.path.join(folder_b, n))]
    if not names:
        sys.exit("no frames in both %s and %s" % (folder_a, folder_b))
    worst_mean = 0.0
    worst_within8 = 1.0
    for name in names:
        a = Image.open(os.path.join(folder_a, name)).convert("RGB")
        b = Image.open(os.path.join(folder_b, name)).convert("RGB")
        diff = ImageChops.difference(a, b)
        n = a.width * a.height
        means, largest = [], 0
        for channel in diff.split():
            hist = channel.histogram()
            means.append(sum(i * c for i, c in enumerate(hist)) / n)
            largest = max([largest] + [i for i, c in enumerate(hist) if c])
        grey = diff.convert("L").point(lambda v: 255 if v > 2 else 0)
        over = grey.histogram()[255] / n
        # The largest channel difference of each pixel, against 8 levels.
        dr, dg, db = diff.split()
        most = ImageChops.lighter(ImageChops.lighter(dr, dg), db)
        within8 = 1.0 - most.point(lambda v: 255 if v > 8 else 0).histogram()[255] / n
        worst_within8 = min(worst_within8, within8)
        worst_mean = max(worst_mean, max(means))
        print("%s  mean |A-B| R %.4f G %.4f B %.4f  largest %3d  pixels > 2 levels %.4f%%  within 8 levels %.3f%%"
              % (name, means[0], means[1], means[2], largest, 100 * over, 100 * within8))
        if crops:
            os.makedirs(crops, exist_ok=True)
            box = grey.getbbox() or diff.convert("L").getbbox() or (0, 0, 1, 1)
            cx, cy = (box[0] + box[2]) // 2, (box[1] + box[3]) // 2
            side = min(256, a.width, a.height)
            x0 = max(0, min(a.width - side, cx - side // 2))
            y0 = max(0, min(a.height - side, cy - side // 2))
            pair = Image.new("RGB", (2 * side + 4, side), (255, 255, 255))
            pair.paste(a.crop((x0, y0, x0 + side, y0 + side)), (0, 0))
            pair.paste(b.crop((x0, y0, x0 + side, y0 + side)), (side + 4, 0))
            pair.save(os.path.join(crops, name.replace("frame_", "pair_")))
    print("frames %d: the largest mean absolute difference of a channel is %.4f levels (%.5f of full scale); "
          "the fewest pixels within 8 levels %.3f%%"
          % (len(names), worst_mean, worst_mean / 255.0, 100 * worst_within8))


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "frames":
        rng = [int(v) for v in sys.argv[3:5]] if len(sys.argv) >= 5 else [None, None]
        frames(sys.argv[2], *rng)
    elif len(sys.argv) == 3 and sys.argv[1] == "picture":
        picture(sys.argv[2])
    elif len(sys.argv) in (4, 5) and sys.argv[1] == "compare":
        compare(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) == 5 else None)
    else:
        sys.exit(__doc__)
