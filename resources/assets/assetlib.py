#!/usr/bin/env python3
"""Small helpers shared by the asset scripts: a PNG writer, a tiny signed-distance
rasteriser and padding of finished files to the byte sizes the launcher expects.

As a command:  assetlib.py pad-jpeg|pad-mp3 IN OUT SIZE
"""
import math
import struct
import sys
import zlib


# ---------------------------------------------------------------- PNG
def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_rgba(w, h, px):
    """px: list of (r, g, b, a) tuples, 0..255, row-major. Picks a filter per row."""
    raw = bytearray()
    prev = bytes(w * 4)
    for y in range(h):
        row = bytes(c for p in px[y * w:(y + 1) * w] for c in p)
        cands = []
        for ft in range(5):
            f = bytearray()
            for i, v in enumerate(row):
                a = row[i - 4] if i >= 4 else 0
                b = prev[i]
                c = prev[i - 4] if i >= 4 else 0
                if ft == 1:
                    v -= a
                elif ft == 2:
                    v -= b
                elif ft == 3:
                    v -= (a + b) // 2
                elif ft == 4:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    v -= a if pa <= pb and pa <= pc else b if pb <= pc else c
                f.append(v & 255)
            cands.append((sum(min(v, 256 - v) for v in f), ft, f))
        _, ft, f = min(cands)
        raw += bytes([ft]) + f
        prev = row
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def pad_png(data, size):
    """Grow a PNG to exactly `size` bytes with a private ancillary chunk before IEND."""
    need = size - len(data)
    if need < 12:
        raise SystemExit("PNG is %d bytes, cannot pad to %d" % (len(data), size))
    iend = data.rindex(b"IEND") - 4
    return data[:iend] + png_chunk(b"vaPd", bytes(need - 12)) + data[iend:]


# ---------------------------------------------------------------- JPEG
def pad_jpeg(data, size):
    """Grow a JPEG to exactly `size` bytes with COM segments placed after SOI/APP0."""
    need = size - len(data)
    if need < 4 and need != 0:
        raise SystemExit("JPEG is %d bytes, cannot pad to %d" % (len(data), size))
    pos = 2
    if data[2:4] == b"\xff\xe0":  # keep the JFIF APP0 first
        pos = 4 + struct.unpack(">H", data[4:6])[0]
    count = -(-need // 65537)
    segs = bytearray()
    note = b"Vardenhal Updater background"
    for k in range(count):
        part = need // count + (1 if k < need % count else 0)
        body = (note + bytes(part - 4))[:part - 4] if k == 0 else bytes(part - 4)
        segs += b"\xff\xfe" + struct.pack(">H", part - 2) + body
    return data[:pos] + bytes(segs) + data[pos:]


# ---------------------------------------------------------------- MP3
def id3v23(size, title, artist, album):
    """An ID3v2.3 tag of exactly `size` bytes: a few text frames, then zero padding."""
    frames = b""
    for fid, text in ((b"TIT2", title), (b"TPE1", artist), (b"TALB", album)):
        body = b"\x00" + text.encode("latin-1")
        frames += fid + struct.pack(">I", len(body)) + b"\x00\x00" + body
    body = size - 10
    if body < len(frames) or body >= 1 << 28:
        raise SystemExit("no room for an ID3 tag of %d bytes" % size)
    syncsafe = bytes((body >> s) & 0x7F for s in (21, 14, 7, 0))
    return b"ID3\x03\x00\x00" + syncsafe + frames + bytes(body - len(frames))


def pad_mp3(data, size):
    if data[:3] == b"ID3" or data[0] != 0xFF:
        raise SystemExit("expected a bare MPEG stream from the encoder")
    if data[-128:-125] == b"TAG":
        data = data[:-128]
    return id3v23(size - len(data), "Vardenhal Theme", "Vardenhal", "Vardenhal Updater") + data


# ---------------------------------------------------------------- distance fields
def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def sd_circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def sd_rbox(x, y, cx, cy, hx, hy, r):
    qx, qy = abs(x - cx) - hx + r, abs(y - cy) - hy + r
    return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r


def sd_segment(x, y, ax, ay, bx, by, w):
    dx, dy = bx - ax, by - ay
    t = clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(x - ax - dx * t, y - ay - dy * t) - w / 2


def sd_poly(x, y, pts):
    d = float("inf")
    inside = False
    n = len(pts)
    for i in range(n):
        (ax, ay), (bx, by) = pts[i], pts[i - 1]
        ex, ey = bx - ax, by - ay
        t = clamp(((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey))
        d = min(d, math.hypot(x - ax - ex * t, y - ay - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
            inside = not inside
    return -d if inside else d


def render(w, h, layers, scale=1.0):
    """layers: [(sdf(x, y), colour(x, y) -> (r, g, b, a))] painted in order, anti-aliased.
    Coordinates are in units where one pixel is 1/scale."""
    px = []
    for j in range(h):
        for i in range(w):
            x, y = (i + 0.5) / scale, (j + 0.5) / scale
            r = g = b = a = 0.0
            for sdf, col in layers:
                cov = clamp(0.5 - sdf(x, y) * scale)
                if cov <= 0:
                    continue
                cr, cg, cb, ca = col(x, y)
                ca *= cov
                na = ca + a * (1 - ca)
                if na > 0:
                    r = (cr * ca + r * a * (1 - ca)) / na
                    g = (cg * ca + g * a * (1 - ca)) / na
                    b = (cb * ca + b * a * (1 - ca)) / na
                a = na
            px.append((int(r + 0.5), int(g + 0.5), int(b + 0.5), int(a * 255 + 0.5)))
    return px


if __name__ == "__main__":
    mode, src, dst, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    data = open(src, "rb").read()
    data = {"pad-jpeg": pad_jpeg, "pad-mp3": pad_mp3}[mode](data, size)
    with open(dst, "wb") as f:
        f.write(data)
