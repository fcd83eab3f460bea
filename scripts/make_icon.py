#!/usr/bin/env python3
"""Draws the Tovan Phone application icon and writes runner/resources/app_icon.ico.

The icon is drawn here from shapes (no source image): a rounded square with a
teal-to-indigo gradient and a white telephone handset with two sound waves.
Each size is rendered on its own with 4 x 4 supersampling, so the small sizes
stay sharp instead of being scaled down from a large one. The images are
stored as 32-bit BGRA bitmaps with an AND mask, the form every Windows version
and Wine load.

    scripts/make_icon.py                  write the icon (16, 32 and 48 pixels)
    scripts/make_icon.py --preview F.png  also write a 256-pixel preview
"""
import argparse
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
SUPERSAMPLE = 4

TOP_LEFT = (0x12, 0xA3, 0xA0)  # teal
BOTTOM_RIGHT = (0x2B, 0x3A, 0x9E)  # indigo
INK = (0xFF, 0xFF, 0xFF)

# The handset is an arc around HANDSET_CENTRE with a receiver cap at each end;
# the waves are arcs around the same centre on the open side. Unit square
# coordinates, y pointing down.
HANDSET_CENTRE = (0.60, 0.40)
HANDSET_RADIUS = 0.30
HANDSET_HALF_WIDTH = 0.065
HANDSET_FROM, HANDSET_TO = 80.0, 190.0  # degrees, measured with y down
CAP_LENGTH = 0.13
CAP_HALF_WIDTH = 0.085
WAVES = ((0.13, 0.032), (0.22, 0.032))  # radius, half width
WAVE_FROM, WAVE_TO = 275.0, 355.0


def rounded_square_distance(x, y, corner=0.22, margin=0.03):
    half = 0.5 - margin
    qx = abs(x - 0.5) - (half - corner)
    qy = abs(y - 0.5) - (half - corner)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - corner


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def arc_distance(px, py, centre, radius, start, end):
    """Distance from (px, py) to the circular arc from start to end degrees."""
    cx, cy = centre
    angle = math.degrees(math.atan2(py - cy, px - cx)) % 360.0
    span = (end - start) % 360.0
    if (angle - start) % 360.0 <= span:
        return abs(math.hypot(px - cx, py - cy) - radius)
    best = float("inf")
    for a in (start, end):
        ex = cx + radius * math.cos(math.radians(a))
        ey = cy + radius * math.sin(math.radians(a))
        best = min(best, math.hypot(px - ex, py - ey))
    return best


def handset_distance(x, y):
    d = arc_distance(x, y, HANDSET_CENTRE, HANDSET_RADIUS, HANDSET_FROM, HANDSET_TO) - HANDSET_HALF_WIDTH
    cx, cy = HANDSET_CENTRE
    for a in (HANDSET_FROM, HANDSET_TO):
        ux, uy = math.cos(math.radians(a)), math.sin(math.radians(a))
        # The caps point inwards, towards the waves, like a handset's ear and mouth pieces.
        ox = cx + (HANDSET_RADIUS + 0.02) * ux
        oy = cy + (HANDSET_RADIUS + 0.02) * uy
        ix = cx + (HANDSET_RADIUS - CAP_LENGTH) * ux
        iy = cy + (HANDSET_RADIUS - CAP_LENGTH) * uy
        d = min(d, segment_distance(x, y, ox, oy, ix, iy) - CAP_HALF_WIDTH)
    return d


def waves_distance(x, y):
    return min(arc_distance(x, y, HANDSET_CENTRE, r, WAVE_FROM, WAVE_TO) - w for r, w in WAVES)


def shade(x, y):
    """Colour and coverage of one sample: (r, g, b, a) with components 0..1."""
    if rounded_square_distance(x, y) > 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    if handset_distance(x, y) <= 0.0 or waves_distance(x, y) <= 0.0:
        return tuple(c / 255.0 for c in INK) + (1.0,)
    t = max(0.0, min(1.0, (x + y) / 2.0))
    return tuple((a + (b - a) * t) / 255.0 for a, b in zip(TOP_LEFT, BOTTOM_RIGHT)) + (1.0,)


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, straight (not premultiplied) alpha."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3] > 0:
                colour = [round(255 * c / acc[3]) for c in acc[:3]]
            else:
                colour = [0, 0, 0]
            row.append(tuple(colour) + (round(255 * alpha),))
        rows.append(row)
    return rows


def bitmap_entry(rows):
    """One icon image: BITMAPINFOHEADER, BGRA pixels bottom-up, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:  # transparent where no alpha, for viewers that ignore alpha
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def icon_file(images):
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    data = bytearray()
    for size, image in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return bytes(out + data)


def png_file(rows):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    size = len(rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(root, "runner", "resources", "app_icon.ico"))
    parser.add_argument("--preview", help="also write a 256-pixel PNG preview here")
    args = parser.parse_args()
    images = [(size, bitmap_entry(render(size))) for size in SIZES]
    with open(args.output, "wb") as f:
        f.write(icon_file(images))
    if args.preview:
        with open(args.preview, "wb") as f:
            f.write(png_file(render(256)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
