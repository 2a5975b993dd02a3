#!/usr/bin/env python3
"""Draws the 32x32 social-link icons and the program icon (vardenhal.ico).

Usage: icons.py OUTDIR
Each PNG is padded to the byte size the launcher's resource table expects.
"""
import math
import os
import struct
import sys

from assetlib import clamp, pad_png, png_rgba, render, sd_circle, sd_poly, sd_rbox, sd_segment

SIZES = {"youtube": 714, "instagram": 1662, "discord": 1728, "tiktok": 2717}


def solid(r, g, b, a=1.0):
    return lambda x, y: (r, g, b, a)


def youtube():
    tri = [(12.6, 10.6), (21.8, 16.0), (12.6, 21.4)]
    return [
        (lambda x, y: sd_rbox(x, y, 16, 16, 15, 11, 7), lambda x, y: (236 - 40 * y / 32, 28, 28, 1.0)),
        (lambda x, y: sd_poly(x, y, tri) - 0.8, solid(255, 255, 255)),
    ]


def instagram():
    def grad(x, y):
        t = clamp((x - y + 32) / 64)  # bottom-left warm, top-right cool
        stops = [(0.0, (250, 186, 60)), (0.35, (240, 90, 60)), (0.65, (214, 40, 120)), (1.0, (132, 52, 200))]
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t <= t1:
                k = (t - t0) / (t1 - t0)
                return tuple(c0[i] + (c1[i] - c0[i]) * k for i in range(3)) + (1.0,)
    white = solid(255, 255, 255)

    def camera(x, y):
        body = sd_rbox(x, y, 16, 18, 10, 7, 3)
        hump = sd_rbox(x, y, 13, 10.5, 3.5, 2.5, 1.2)
        return abs(min(body, hump)) - 1.0
    return [
        (lambda x, y: sd_rbox(x, y, 16, 16, 15, 15, 8), grad),
        (camera, white),
        (lambda x, y: abs(sd_circle(x, y, 16, 18.2, 4.1)) - 1.0, white),     # lens
        (lambda x, y: sd_circle(x, y, 22.3, 14.2, 1.2), white),             # flash
    ]


def discord():
    blurple = (88, 101, 242, 1.0)

    def bubble(x, y):
        body = sd_rbox(x, y, 16, 14.5, 10, 7.5, 5)
        tail = sd_poly(x, y, [(10, 19), (16, 21), (9.5, 26.5)]) - 0.4
        return min(body, tail)
    return [
        (lambda x, y: sd_rbox(x, y, 16, 16, 15, 15, 8), lambda x, y: blurple),
        (bubble, solid(255, 255, 255)),
        (lambda x, y: min(sd_circle(x, y, cx, 14.5, 1.7) for cx in (11, 16, 21)), lambda x, y: blurple),
    ]


def tiktok():
    def note(dx, dy):
        def sdf(x, y):
            x, y = x - dx, y - dy
            head = math.hypot((x - 11.5) / 1.25, y - 22.5) * 1.1 - 3.6
            stem = sd_segment(x, y, 15.2, 22.5, 15.2, 7.5, 2.6)
            flag = sd_segment(x, y, 15.2, 7.5, 21.5, 12.5, 2.6)
            return min(head, stem, flag)
        return sdf
    return [
        (lambda x, y: sd_rbox(x, y, 16, 16, 15, 15, 8), solid(10, 10, 12)),
        (note(-1.2, -0.9), solid(37, 244, 238)),
        (note(1.2, 0.9), solid(254, 44, 85)),
        (note(0, 0), solid(255, 255, 255)),
    ]


# ---------------------------------------------------------------- program icon
# Shield outline in unit coordinates (0..1): flat top, straight flanks, then
# quadratic curves meeting in a point at the bottom.
def _flank(sign):
    pts = [(0.5 + sign * 0.38, 0.10), (0.5 + sign * 0.38, 0.46)]
    for k in range(1, 13):
        t = k / 12
        cx, cy = 0.5 + sign * 0.38, 0.80
        x = (1 - t) ** 2 * (0.5 + sign * 0.38) + 2 * t * (1 - t) * cx + t * t * 0.5
        y = (1 - t) ** 2 * 0.46 + 2 * t * (1 - t) * cy + t * t * 0.95
        pts.append((x, y))
    return pts


SHIELD = _flank(1) + _flank(-1)[::-1][1:]
V = [(0.26, 0.24), (0.42, 0.24), (0.5, 0.56), (0.58, 0.24), (0.74, 0.24), (0.545, 0.78), (0.455, 0.78)]


def emblem(size):
    detail = size >= 48

    def shield(x, y):
        return sd_poly(x, y, SHIELD)

    def field(x, y):
        d = math.hypot(x - 0.5, y - 0.38)
        k = clamp(1 - d / 0.55)
        return (14 + 46 * k, 6 + 20 * k, 26 + 74 * k, 1.0)

    def rim(x, y):
        return (120 + 60 * (1 - y), 40 + 60 * (1 - y), 180 + 50 * (1 - y), 1.0)

    def vcol(x, y):
        t = clamp((y - 0.24) / 0.54)
        return (226 - 80 * t, 196 - 130 * t, 255 - 50 * t, 1.0)

    rim_w = 0.045 if detail else 0.07
    layers = [
        (shield, field),
        (lambda x, y: max(shield(x, y), -(shield(x, y) + rim_w)), rim),
    ]
    if detail:
        layers.append((lambda x, y: abs(shield(x, y) + 0.075) - 0.006, solid(120, 60, 170, 0.7)))
        layers.append((lambda x, y: sd_poly(x, y, V) - 0.03, solid(170, 90, 240, 0.35)))  # glow
        star = [(0.5 + (0.06 if k % 2 == 0 else 0.022) * math.sin(k * math.pi / 4),
                 0.16 - (0.06 if k % 2 == 0 else 0.022) * math.cos(k * math.pi / 4)) for k in range(8)]
        layers.append((lambda x, y: sd_poly(x, y, star), solid(235, 215, 255)))
    layers.append((lambda x, y: sd_poly(x, y, V), vcol))
    return render(size, size, layers, scale=size)


def dib(size, px):
    """32-bpp BITMAPINFOHEADER image with the AND mask, as stored inside an .ico."""
    mask_stride = ((size + 31) // 32) * 4
    colour, mask = bytearray(), bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up
        bits = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = px[y * size + x]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x >> 3] |= 0x80 >> (x & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def write_ico(path):
    images = []
    for size in (16, 32, 48, 64, 128, 256):
        px = emblem(size)
        images.append((size, png_rgba(size, size, px) if size == 256 else dib(size, px)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(d for _, d in images))


def main():
    outdir = sys.argv[1]
    for name, target in SIZES.items():
        data = png_rgba(32, 32, render(32, 32, globals()[name]()))
        print("icon-%s.png: %d bytes before padding" % (name, len(data)))
        with open(os.path.join(outdir, "icon-%s.png" % name), "wb") as f:
            f.write(pad_png(data, target))
    write_ico(os.path.join(outdir, "vardenhal.ico"))


if __name__ == "__main__":
    main()
