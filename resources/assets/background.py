#!/usr/bin/env python3
"""Paints the launcher background: a violet night over mountains and a ruined keep.

Writes a 900x540 binary PPM to stdout. Pure Python, deterministic (fixed seeds).
The title box (top left), the icon row (top right) and the bottom strip with the
music controls are kept dark and quiet on purpose.
"""
import math
import random
import sys

W, H = 900, 540
SS = 3                      # supersampling for silhouettes (castle, trees)
MOON = (648.0, 128.0, 38.0)  # centre x, centre y, radius
HORIZON = 345.0


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smooth(e0, e1, v):
    t = clamp((v - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def lerp3(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


# ---------------------------------------------------------------- noise
class Noise:
    """Smooth value noise on an integer lattice, 1D and 2D."""

    def __init__(self, seed):
        r = random.Random(seed)
        self.v = [r.random() for _ in range(4096)]

    def n1(self, x):
        i = math.floor(x)
        f = x - i
        f = f * f * (3 - 2 * f)
        a = self.v[i & 4095]
        return a + (self.v[(i + 1) & 4095] - a) * f

    def n2(self, x, y):
        ix, iy = math.floor(x), math.floor(y)
        fx, fy = x - ix, y - iy
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        v = self.v
        h, h1 = iy * 2654435761, (iy + 1) * 2654435761
        a, b = v[((ix * 40503) ^ h) >> 7 & 4095], v[(((ix + 1) * 40503) ^ h) >> 7 & 4095]
        c, d = v[((ix * 40503) ^ h1) >> 7 & 4095], v[(((ix + 1) * 40503) ^ h1) >> 7 & 4095]
        top = a + (b - a) * fx
        return top + (c + (d - c) * fx - top) * fy

    def fbm2(self, x, y, octaves=5):
        s, amp, norm = 0.0, 0.5, 0.0
        for o in range(octaves):
            s += amp * self.n2(x + o * 31.7, y + o * 17.3)
            norm += amp
            x, y, amp = x * 2.03, y * 2.03, amp * 0.5
        return s / norm


def field(noise, sx, sy, octaves, step=4):
    """fbm sampled on a coarse grid, bilinearly upsampled to W x H (soft things only)."""
    gw, gh = W // step + 2, H // step + 2
    coarse = [[noise.fbm2(i * step / sx, j * step / sy, octaves) for i in range(gw)] for j in range(gh)]
    rows = []
    for row in coarse:  # horizontal pass
        out = []
        for x in range(W):
            i, f = divmod(x, step)
            a = row[i]
            out.append(a + (row[i + 1] - a) * (f / step))
        rows.append(out)
    full = []
    for y in range(H):  # vertical pass
        j, f = divmod(y, step)
        t = f / step
        full.append([a + (b - a) * t for a, b in zip(rows[j], rows[j + 1])])
    return full


def blur1d(vals, r):
    """Box-blurred copy of a ridge line (used for shading, so it doesn't streak)."""
    n = len(vals)
    return [sum(vals[max(0, i - r):i + r + 1]) / (min(n, i + r + 1) - max(0, i - r)) for i in range(n)]


def ridge(noise, x, base, amp, scale, octaves=6, sharp=1.0):
    """Height of a mountain ridge line at column x (smaller y = higher)."""
    s, a, f = 0.0, 1.0, 1.0 / scale
    for o in range(octaves):
        n = noise.n1(x * f + o * 13.1)
        if o < 3:
            n = 1.0 - abs(2.0 * n - 1.0) * sharp  # ridged: pointed peaks
        s += a * n
        a, f = a * 0.48, f * 2.1
    return base - amp * s


# ---------------------------------------------------------------- silhouettes
class Mask:
    """Boolean coverage at SS x resolution; polygons are scan-filled with even-odd."""

    def __init__(self):
        self.rows = [bytearray(W * SS) for _ in range(H * SS)]

    def poly(self, pts):
        pts = [(px * SS, py * SS) for px, py in pts]
        ys = [p[1] for p in pts]
        n = len(pts)
        for sy in range(max(0, int(min(ys))), min(H * SS, int(max(ys)) + 1)):
            cy = sy + 0.5
            xs = []
            for k in range(n):
                (x0, y0), (x1, y1) = pts[k], pts[(k + 1) % n]
                if (y0 <= cy < y1) or (y1 <= cy < y0):
                    xs.append(x0 + (cy - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            row = self.rows[sy]
            for a, b in zip(xs[0::2], xs[1::2]):
                a, b = max(0, int(a + 0.5)), min(W * SS, int(b + 0.5))
                if b > a:
                    row[a:b] = b"\x01" * (b - a)

    def rect(self, x0, y0, x1, y1):
        self.poly([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])

    def coverage(self, x, y):
        r = self.rows
        s = x * SS
        return (sum(r[y * SS][s:s + SS]) + sum(r[y * SS + 1][s:s + SS]) + sum(r[y * SS + 2][s:s + SS])) / (SS * SS)

    def row_has(self, y):
        return any(self.rows[y * SS]) or any(self.rows[y * SS + SS - 1])


def crenellated(m, x0, x1, top, merlon=5.0, height=5.0):
    """Wall or tower body with merlons along its top edge."""
    m.rect(x0, top, x1, 330)
    x = x0
    while x + merlon <= x1 + 0.01:
        m.rect(x, top - height, x + merlon, top + 0.5)
        x += 2 * merlon


def draw_castle(m, lights):
    # crag the keep stands on
    m.poly([(112, 338), (128, 318), (150, 309), (168, 305), (230, 303), (300, 302),
            (352, 305), (372, 314), (392, 336), (404, 362), (418, 390), (446, 430),
            (470, 470), (40, 470), (70, 420), (92, 372)])
    crenellated(m, 150, 214, 262, 4.5, 5)                 # west curtain wall
    crenellated(m, 136, 166, 236, 5, 6)                   # west tower
    m.poly([(133, 237), (169, 237), (151, 196)])          # its roof
    crenellated(m, 212, 276, 198, 6, 7)                   # the keep
    crenellated(m, 262, 282, 178, 4, 5)                   # keep turret
    m.poly([(259, 179), (285, 179), (272, 132)])
    m.rect(286, 170, 302, 305)                            # slender spire tower
    m.poly([(283, 171), (305, 171), (294, 104)])
    m.rect(293.4, 96, 294.6, 105)                         # spire finial
    crenellated(m, 276, 322, 256, 4, 5)                   # east wall ...
    m.poly([(306, 251), (314, 258), (318, 250), (323, 253), (323, 300), (306, 300)])
    # ... broken short of the ruined east tower
    m.poly([(326, 330), (326, 232), (331, 222), (335, 229), (339, 214), (343, 226),
            (348, 221), (352, 238), (355, 247), (355, 330)])
    m.rect(318, 270, 330, 330)
    for (x, y, w, h) in [(232, 214, 3, 6), (250, 214, 3, 6), (241, 236, 3, 7),
                         (292, 186, 3, 6), (269, 190, 2, 4), (149, 246, 2, 4), (338, 252, 2, 5)]:
        lights.append((x, y, w, h))


def draw_trees(m, rng, x0, x1, base, hmin, hmax, count):
    for _ in range(count):
        x = rng.uniform(x0, x1)
        h = rng.uniform(hmin, hmax)
        w = h * rng.uniform(0.28, 0.36)
        b = base(x) + 6
        tiers = 5
        for t in range(tiers):
            ty = b - h * t / tiers * 0.92
            tw = w * (1 - t / tiers * 0.8)
            m.poly([(x - tw / 2, ty), (x + tw / 2, ty), (x, ty - h / tiers * 1.9)])
        m.rect(x - 1, b - 4, x + 1, b + 2)


# ---------------------------------------------------------------- painting
def main():
    rng = random.Random(1207)
    n_far, n_mid, n_near, n_fg = Noise(11), Noise(23), Noise(37), Noise(41)
    sky_n, fog_n = Noise(5), Noise(7)

    clouds = field(sky_n, 190.0, 34.0, 5)
    mist = field(fog_n, 150.0, 22.0, 4)
    milky = field(Noise(9), 60.0, 60.0, 5)

    far = [ridge(n_far, x, 318, 95, 210, 7, 1.0) for x in range(W)]
    mid = [ridge(n_mid, x, 372, 85, 150, 7, 1.0) for x in range(W)]
    near = [ridge(n_near, x + 400, 452, 65, 190, 6, 0.8) for x in range(W)]
    fg = [ridge(n_fg, x, 528, 60, 130, 5, 0.6) for x in range(W)]
    # the foreground rises at the sides and sinks in the middle, leaving a dark floor
    fg = [h - 55 * smooth(0.32, 0.0, x / W) - 60 * smooth(0.78, 1.0, x / W) for x, h in enumerate(fg)]

    far_s, mid_s, near_s = blur1d(far, 30), blur1d(mid, 30), blur1d(near, 30)

    castle, lights = Mask(), []
    draw_castle(castle, lights)
    trees = Mask()
    draw_trees(trees, rng, 0, 120, lambda x: fg[int(x)], 40, 95, 14)
    draw_trees(trees, rng, 790, 900, lambda x: fg[min(W - 1, int(x))], 40, 110, 14)

    # stars: additive splats, fewer near the horizon and under the UI boxes
    stars = [[0.0] * W for _ in range(H)]
    mx, my, mr = MOON
    for _ in range(900):
        x, y = rng.uniform(0, W), rng.uniform(0, HORIZON) ** 1.25 / HORIZON ** 0.25
        b = rng.random() ** 5 * 1.3 + 0.08
        if (x < 180 and y < 50) or (x > 715 and y < 50):
            b *= 0.25
        if math.hypot(x - mx, y - my) < mr * 3:
            b *= 0.2
        b *= smooth(HORIZON - 10, 90, y)
        rad = 1 if b < 0.7 else 2
        for yy in range(int(y) - rad, int(y) + rad + 1):
            for xx in range(int(x) - rad, int(x) + rad + 1):
                if 0 <= xx < W and 0 <= yy < H:
                    d2 = (xx + 0.5 - x) ** 2 + (yy + 0.5 - y) ** 2
                    stars[yy][xx] += b * math.exp(-d2 * (2.2 if rad == 1 else 1.1))
        if b > 1.0:  # a faint cross on the brightest ones
            for k in range(-6, 7):
                f = b * 0.25 * (1 - abs(k) / 7)
                for xx, yy in ((int(x) + k, int(y)), (int(x), int(y) + k)):
                    if 0 <= xx < W and 0 <= yy < H:
                        stars[yy][xx] += f

    sky_stops = [(0.0, (4, 2, 12)), (0.35, (14, 6, 32)), (0.7, (38, 16, 70)),
                 (0.9, (78, 34, 122)), (1.0, (118, 58, 170))]

    def sky_grad(y):
        t = clamp(y / HORIZON)
        for (t0, c0), (t1, c1) in zip(sky_stops, sky_stops[1:]):
            if t <= t1:
                return lerp3(c0, c1, (t - t0) / (t1 - t0))
        return sky_stops[-1][1]

    lightset = {}
    for (lx, ly, lw, lh) in lights:
        for yy in range(ly - 4, ly + lh + 4):
            for xx in range(lx - 4, lx + lw + 4):
                dx = max(lx - xx - 0.5, 0, xx + 0.5 - lx - lw)
                dy = max(ly - yy - 0.5, 0, yy + 0.5 - ly - lh)
                g = 1.0 if dx == 0 and dy == 0 else 0.35 * math.exp(-(dx * dx + dy * dy) / 3)
                lightset[(xx, yy)] = max(lightset.get((xx, yy), 0), g)

    grain = random.Random(77)
    out = bytearray()
    # milky-way band from lower left to top middle
    bx0, by0, bx1, by1 = 40.0, 320.0, 560.0, 0.0
    bl = math.hypot(bx1 - bx0, by1 - by0)
    for y in range(H):
        base = sky_grad(y)
        crow, mrow, wrow, srow = clouds[y], mist[y], milky[y], stars[y]
        has_castle, has_trees = castle.row_has(y), trees.row_has(y)
        for x in range(W):
            r, g, b = base
            # horizon glow behind the mountains, centred under the moon
            gl = math.exp(-((x - 560) / 360.0) ** 2) * math.exp(-((HORIZON - y) / 120.0) ** 2)
            r, g, b = r + 55 * gl, g + 24 * gl, b + 70 * gl
            # milky way
            dist = abs((x - bx0) * (by1 - by0) - (y - by0) * (bx1 - bx0)) / bl
            band = math.exp(-(dist / 48.0) ** 2) * smooth(0.38, 0.8, wrow[x]) * smooth(HORIZON, 150, y)
            r, g, b = r + 46 * band, g + 22 * band, b + 72 * band
            # moon halo and disc
            d = math.hypot(x + 0.5 - mx, y + 0.5 - my)
            halo = 0.55 * math.exp(-max(d - mr, 0) / 26.0) + 0.22 * math.exp(-max(d - mr, 0) / 120.0)
            r, g, b = r + 150 * halo, g + 112 * halo, b + 205 * halo
            if d < mr + 1:
                cov = clamp(mr + 0.5 - d)
                spot = sky_n.fbm2(x / 14.0 + 50, y / 14.0, 3)
                shade = 0.84 + 0.16 * max(0.0, 1 - (d / mr) ** 2) ** 0.5 - 0.12 * smooth(0.5, 0.75, spot)
                mc = (236 * shade, 226 * shade, 250 * shade)
                r, g, b = r + (mc[0] - r) * cov, g + (mc[1] - g) * cov, b + (mc[2] - b) * cov
            # stars sit behind thin clouds
            s = srow[x] * 255
            cd = smooth(0.52, 0.78, crow[x]) * math.exp(-((y - 175) / 95.0) ** 2)
            r, g, b = r + s * (1 - cd), g + s * (1 - cd) * 0.95, b + s * (1 - cd)
            # wispy clouds: dark, rim-lit near the moon
            if cd > 0.001:
                lit = 0.8 * halo
                cc = (30 + 170 * lit, 14 + 130 * lit, 52 + 200 * lit)
                a = cd * 0.7
                r, g, b = r + (cc[0] - r) * a, g + (cc[1] - g) * a, b + (cc[2] - b) * a
            # far range: hazy violet, lit by the sky
            if y >= far[x] - 1:
                a = clamp(y - far[x] + 0.5)
                t = clamp((y - far_s[x]) / 70.0)
                c = lerp3((70, 38, 112), (96, 52, 140), t)
                rim = 0.35 * math.exp(-(y - far[x]) / 1.8)  # moonlit crest
                c = lerp3(c, (170, 130, 220), rim)
                r, g, b = r + (c[0] - r) * a, g + (c[1] - g) * a, b + (c[2] - b) * a
            # mist over the far valleys
            fm = smooth(250, 340, y) * smooth(420, 340, y) * (0.35 + 0.65 * mrow[x])
            r, g, b = r + (150 - r) * fm * 0.55, g + (104 - g) * fm * 0.55, b + (205 - b) * fm * 0.55
            if y >= mid[x] - 1:
                a = clamp(y - mid[x] + 0.5)
                t = clamp((y - mid_s[x]) / 60.0)
                c = lerp3((38, 18, 64), (64, 34, 104), t)
                c = lerp3(c, (120, 80, 170), 0.3 * math.exp(-(y - mid[x]) / 1.5))
                r, g, b = r + (c[0] - r) * a, g + (c[1] - g) * a, b + (c[2] - b) * a
            fm = smooth(330, 395, y) * smooth(470, 395, y) * (0.2 + 0.8 * mrow[(x + 300) % W])
            r, g, b = r + (128 - r) * fm * 0.5, g + (86 - g) * fm * 0.5, b + (180 - b) * fm * 0.5
            # the keep on its crag
            if has_castle:
                a = castle.coverage(x, y)
                if a:
                    c = (22, 10, 36)
                    r, g, b = r + (c[0] - r) * a, g + (c[1] - g) * a, b + (c[2] - b) * a
            lg = lightset.get((x, y))
            if lg:
                r, g, b = r + (226 - r) * lg, g + (168 - g) * lg, b + (255 - b) * lg
            if y >= near[x] - 1:
                a = clamp(y - near[x] + 0.5)
                t = clamp((y - near_s[x]) / 50.0)
                c = lerp3((24, 11, 40), (40, 20, 66), t)
                r, g, b = r + (c[0] - r) * a, g + (c[1] - g) * a, b + (c[2] - b) * a
            # low mist in front of the crag's foot
            fm = smooth(400, 455, y) * smooth(505, 455, y) * (0.15 + 0.85 * mrow[(x + 600) % W])
            r, g, b = r + (110 - r) * fm * 0.45, g + (70 - g) * fm * 0.45, b + (160 - b) * fm * 0.45
            if y >= fg[x] - 1:
                a = clamp(y - fg[x] + 0.5)
                c = (10, 5, 18)
                r, g, b = r + (c[0] - r) * a, g + (c[1] - g) * a, b + (c[2] - b) * a
            if has_trees:
                a = trees.coverage(x, y)
                if a:
                    r, g, b = r + (9 - r) * a, g + (4 - g) * a, b + (16 - b) * a
            # vignette, darker at the bottom where the controls sit
            vx = (x - W / 2) / (W / 2)
            v = 1 - 0.35 * vx * vx * vx * vx - 0.45 * smooth(H - 110, H, y)
            n = grain.random() * 3 - 1.5
            out += bytes((int(clamp(r * v + n, 0, 255)), int(clamp(g * v + n, 0, 255)),
                          int(clamp(b * v + n, 0, 255))))
    sys.stdout.buffer.write(b"P6\n%d %d\n255\n" % (W, H) + bytes(out))


if __name__ == "__main__":
    main()
