#!/usr/bin/env python3
"""Checks the launcher's binary assets: format details and exact byte sizes.

Usage: check-assets.py [DIR]   (default: the folder this script lives in)
Prints "assets ok" or exits non-zero naming the first problem.
"""
import os
import struct
import sys
import zlib

SIZES = {
    "background.jpg": 406823,
    "music.mp3": 508976,
    "icon-youtube.png": 714,
    "icon-instagram.png": 1662,
    "icon-discord.png": 1728,
    "icon-tiktok.png": 2717,
}


class Bad(Exception):
    pass


def need(cond, msg):
    if not cond:
        raise Bad(msg)


def check_jpeg(d):
    need(d[:2] == b"\xff\xd8", "no SOI marker")
    pos = 2
    while True:
        need(pos + 4 <= len(d) and d[pos] == 0xFF, "broken marker at offset %d" % pos)
        marker = d[pos + 1]
        length = struct.unpack(">H", d[pos + 2:pos + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            need(marker == 0xC0, "frame is SOF%d, expected baseline SOF0" % (marker - 0xC0))
            _, h, w, comps = struct.unpack(">BHHB", d[pos + 4:pos + 10])
            need((w, h) == (900, 540), "picture is %dx%d, expected 900x540" % (w, h))
            need(comps == 3, "%d colour components, expected 3 (YCbCr)" % comps)
            ids = [d[pos + 10 + 3 * k] for k in range(3)]
            need(ids == [1, 2, 3], "component ids %s are not YCbCr" % ids)
            break
        pos += 2 + length
    need(d[-2:] == b"\xff\xd9", "no EOI marker at the end")


def check_png(d, w, h):
    need(d[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature")
    pos, kinds = 8, []
    while pos < len(d):
        n = struct.unpack(">I", d[pos:pos + 4])[0]
        kind, body = d[pos + 4:pos + 8], d[pos + 8:pos + 8 + n]
        crc = struct.unpack(">I", d[pos + 8 + n:pos + 12 + n])[0]
        need(zlib.crc32(kind + body) == crc, "bad CRC in %r chunk" % kind)
        kinds.append(kind)
        pos += 12 + n
    need(kinds[0] == b"IHDR" and kinds[-1] == b"IEND", "IHDR/IEND misplaced")
    pw, ph, depth, ctype = struct.unpack(">IIBB", d[16:26])
    need((pw, ph) == (w, h), "PNG is %dx%d, expected %dx%d" % (pw, ph, w, h))
    need(depth == 8 and ctype == 6, "PNG is depth %d colour type %d, expected 8-bit RGBA" % (depth, ctype))


def check_mp3(d):
    need(d[:3] == b"ID3" and d[3] == 3, "does not start with an ID3v2.3 tag")
    need(all(b < 0x80 for b in d[6:10]), "ID3 size is not syncsafe")
    size = (d[6] << 21) | (d[7] << 14) | (d[8] << 7) | d[9]
    pos = 10 + size
    need(pos < len(d) and d[pos] == 0xFF and d[pos + 1] & 0xE0 == 0xE0, "no MPEG frame right after the ID3 tag")
    first = pos
    rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    seen, frames = set(), 0
    while pos + 4 <= len(d) and d[pos] == 0xFF and d[pos + 1] & 0xE0 == 0xE0:
        h = struct.unpack(">I", d[pos:pos + 4])[0]
        need((h >> 19) & 3 == 3 and (h >> 17) & 3 == 1, "frame at %d is not MPEG-1 Layer III" % pos)
        need((h >> 10) & 3 == 1, "frame at %d is not 48 kHz" % pos)
        need((h >> 6) & 3 != 3, "frame at %d is mono" % pos)
        idx = (h >> 12) & 15
        need(0 < idx < 15, "bad bit rate index at %d" % pos)
        seen.add(rates[idx])
        if pos == first:
            xing = d[pos + 36:pos + 40]  # MPEG-1, two channels: 32 bytes of side info
        pos += 144000 * rates[idx] // 48000 + ((h >> 9) & 1)
        frames += 1
    rest = len(d) - pos
    need(rest == 0 or (rest == 128 and d[pos:pos + 3] == b"TAG"), "%d stray bytes after frame %d" % (rest, frames))
    need(frames > 100, "only %d frames" % frames)
    need(xing == b"Xing" or len(seen) > 1, "stream is not variable bit rate")
    return "%d frames, bit rates %s kbit/s, %.1f s" % (frames, sorted(seen), frames * 1152 / 48000)


def check_ico(d):
    reserved, kind, count = struct.unpack("<HHH", d[:6])
    need(reserved == 0 and kind == 1, "not an icon file")
    need(count == 6, "%d images, expected 6" % count)
    end = 6 + 16 * count
    for k, size in enumerate((16, 32, 48, 64, 128, 256)):
        w, h, _, _, planes, bpp, n, off = struct.unpack("<BBBBHHII", d[6 + 16 * k:22 + 16 * k])
        need((w or 256, h or 256) == (size, size), "image %d is %dx%d, expected %d" % (k, w or 256, h or 256, size))
        need(off >= end and off + n <= len(d), "image %d lies outside the file" % k)
        img = d[off:off + n]
        if size < 256:
            hs, bw, bh, _, bits, comp = struct.unpack("<IiiHHI", img[:20])
            need(hs == 40 and bits == 32 and comp == 0, "image %d is not a 32-bpp DIB" % k)
            need((bw, bh) == (size, 2 * size), "image %d DIB header says %dx%d" % (k, bw, bh))
            mask = ((size + 31) // 32) * 4 * size
            need(n == 40 + size * size * 4 + mask, "image %d has %d bytes, not colour+AND mask" % (k, n))
        else:
            check_png(img, 256, 256)
        end = max(end, off + n)
    need(end == len(d), "%d trailing bytes" % (len(d) - end))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    checks = {
        "background.jpg": check_jpeg,
        "music.mp3": check_mp3,
        "icon-youtube.png": lambda d: check_png(d, 32, 32),
        "icon-instagram.png": lambda d: check_png(d, 32, 32),
        "icon-discord.png": lambda d: check_png(d, 32, 32),
        "icon-tiktok.png": lambda d: check_png(d, 32, 32),
        "vardenhal.ico": check_ico,
    }
    for name, check in checks.items():
        path = os.path.join(folder, name)
        try:
            need(os.path.exists(path), "missing")
            with open(path, "rb") as f:
                data = f.read()
            if name in SIZES:
                need(len(data) == SIZES[name], "is %d bytes, expected %d" % (len(data), SIZES[name]))
            info = check(data)
        except (Bad, struct.error, IndexError) as e:
            sys.exit("%s: %s" % (name, e or "truncated"))
        print("%-20s %8d bytes  %s" % (name, len(data), info or "ok"))
    print("assets ok")


if __name__ == "__main__":
    main()
