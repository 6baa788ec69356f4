#!/usr/bin/env python3
"""The installer artwork's file formats and small widgets, for scripts/make_artwork.sh.

    scripts/make_artwork.py RENDER_DIR OUT_DIR

Reads ImageMagick's raw renders from RENDER_DIR (banner.rgb: 600 x 305 RGB; icon.rgba: 90 x 90 RGBA) and
writes into OUT_DIR the exact formats the resource compiler and the installer expect: 24-bit bottom-up
BI_RGB bitmaps (the background, the window buttons drawn over the banner pixels they sit on, the install
button, the progress bar, the check boxes) and one 32-bit DIB icon. The small widgets are drawn here with
signed-distance anti-aliasing.
"""
import math
import struct
import sys

PANEL = (235, 235, 235)          # flat panel below the banner, behind all widgets
BANNER_W, BANNER_H = 600, 305
BG_W, BG_H = 600, 400


# -- image helpers -----------------------------------------------------------

class Image:
    """RGB float canvas, row 0 at the top."""

    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[list(map(float, fill)) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, color, a):
        if a <= 0.0:
            return
        a = min(a, 1.0)
        p = self.px[y][x]
        for i in range(3):
            p[i] += (color[i] - p[i]) * a

    def paint(self, alpha_fn, color_fn):
        """alpha_fn(cx, cy) -> coverage, color_fn(cx, cy) -> rgb; pixel centres."""
        for y in range(self.h):
            cy = y + 0.5
            for x in range(self.w):
                cx = x + 0.5
                a = alpha_fn(cx, cy)
                if a > 0.0:
                    self.blend(x, y, color_fn(cx, cy), a)

    def rgb_rows(self):
        return [[tuple(max(0, min(255, int(round(c)))) for c in p) for p in row] for row in self.px]


def write_bmp(path, rows):
    """24-bit BI_RGB, BITMAPINFOHEADER, bottom-up."""
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pad = b"\0" * (stride - w * 3)
    body = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            body += bytes((b, g, r))
        body += pad
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + body)


def write_ico(path, w, h, rgba):
    """One 32-bit image: BITMAPINFOHEADER (double height), BGRA rows, AND mask."""
    xor = bytearray()
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b, a = rgba[y][x]
            xor += bytes((b, g, r, a))
    mstride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(h)):
        row = bytearray(mstride)
        for x in range(w):
            if rgba[y][x][3] == 0:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    data = info + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, 1, 32, len(data), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + data)


# -- shape helpers (signed distances in pixels, negative inside) ------------

def cov(d):
    return 0.0 if d >= 0.5 else 1.0 if d <= -0.5 else 0.5 - d


def rrect(x0, y0, x1, y1, r):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2

    def d(px, py):
        qx, qy = abs(px - cx) - hx + r, abs(py - cy) - hy + r
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r
    return d


def circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy

    def d(px, py):
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / ll))
        return math.hypot(px - ax - t * dx, py - ay - t * dy) - half_width
    return d


def polyline(points, half_width):
    segs = [segment(*points[i], *points[i + 1], half_width) for i in range(len(points) - 1)]
    return lambda px, py: min(s(px, py) for s in segs)


def inner_band(d, inset, width):
    """Coverage of the band lying `inset`..`inset+width` pixels inside shape d."""
    return lambda px, py: max(0.0, cov(d(px, py) + inset) - cov(d(px, py) + inset + width))


def fill(d, k=1.0):
    return lambda px, py: k * cov(d(px, py))


def vgrad(top, bottom, y0, y1):
    def c(px, py):
        t = max(0.0, min(1.0, (py - y0) / (y1 - y0)))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
    return c


def solid(rgb):
    return lambda px, py: rgb


def hexrgb(s):
    s = s.lstrip("#")
    return tuple(int(s[i:i + 2], 16) for i in (0, 2, 4))


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


# -- background: banner on top, flat panel below -----------------------------

def read_banner(path):
    raw = open(path, "rb").read()
    assert len(raw) == BANNER_W * BANNER_H * 3, len(raw)
    return [[tuple(raw[(y * BANNER_W + x) * 3:(y * BANNER_W + x) * 3 + 3]) for x in range(BANNER_W)]
            for y in range(BANNER_H)]


def background(banner):
    return banner + [[PANEL] * BG_W for _ in range(BG_H - BANNER_H)]


def banner_patch(banner, x0, y0, w, h):
    img = Image(w, h, (0, 0, 0))
    for y in range(h):
        for x in range(w):
            img.px[y][x] = list(map(float, banner[y0 + y][x0 + x]))
    return img


# -- window buttons, drawn over the banner pixels they sit on -----------------

def window_button(banner, x0, y0, size, glyph):
    img = banner_patch(banner, x0, y0, size, size)
    c = size / 2
    r = c - 0.9
    img.paint(fill(circle(c, c, r), 0.16), solid(WHITE))
    ring = circle(c, c, r - 0.55)
    img.paint(lambda px, py: 0.92 * cov(abs(ring(px, py) + 0.55) - 0.6), solid(WHITE))
    img.paint(fill(glyph(c)), solid(WHITE))
    return img


def cross(c):
    a = segment(c - 3.2, c - 3.2, c + 3.2, c + 3.2, 0.78)
    b = segment(c - 3.2, c + 3.2, c + 3.2, c - 3.2, 0.78)
    return lambda px, py: min(a(px, py), b(px, py))


def dash(c):
    return segment(c - 3.8, c, c + 3.8, c, 0.8)


# -- install button ------------------------------------------------------------

ORANGE_TOP, ORANGE_BOTTOM = hexrgb("#FFA24C"), hexrgb("#F2701F")
ORANGE_EDGE = hexrgb("#D95F10")


def install_button(w, h, pressed):
    img = Image(w, h, PANEL)
    if pressed:
        body = rrect(1.5, 1.5, w - 0.5, h - 0.5, 7)
        top, bottom = hexrgb("#D9600F"), hexrgb("#E8741F")
        y0, y1 = 1.5, h - 0.5
    else:
        body = rrect(0.5, 0.5, w - 0.5, h - 1.5, 7)
        top, bottom = ORANGE_TOP, ORANGE_BOTTOM
        y0, y1 = 0.5, h - 1.5
        # soft contact shadow under the button
        shadow = rrect(1.0, 1.6, w - 1.0, h - 0.2, 7)
        img.paint(lambda px, py: 0.16 * max(0.0, min(1.0, 0.5 - shadow(px, py) / 1.2)), solid(BLACK))
    img.paint(fill(body), vgrad(top, bottom, y0, y1))
    if pressed:
        # inner shadow along the top edge: the button is pushed in
        img.paint(lambda px, py: inner_band(body, 0, 1.0)(px, py) * (0.30 if py < h / 2 else 0.0), solid(BLACK))
        img.paint(lambda px, py: inner_band(body, 1.0, 1.0)(px, py) * (0.12 if py < h / 2 else 0.0), solid(BLACK))
        img.paint(lambda px, py: 0.6 * inner_band(body, 0, 1.0)(px, py), solid(hexrgb("#B8500C")))
    else:
        # bright rim at the top, crisp darker edge
        img.paint(lambda px, py: inner_band(body, 1.0, 1.0)(px, py) * max(0.0, 0.55 - (py - y0) * 0.06), solid(WHITE))
        img.paint(lambda px, py: 0.55 * inner_band(body, 0, 1.0)(px, py), solid(ORANGE_EDGE))
    return img



# -- progress bar --------------------------------------------------------------

def progress(w, h, filled):
    img = Image(w, h, PANEL)
    bar = rrect(0.5, 0.5, w - 0.5, h - 0.5, (h - 1) / 2)
    if filled:
        img.paint(fill(bar), vgrad(hexrgb("#4ED48E"), hexrgb("#1E9E5E"), 0.5, h - 0.5))
        img.paint(lambda px, py: inner_band(bar, 1.0, 1.0)(px, py) * max(0.0, 0.45 - py * 0.05), solid(WHITE))
        img.paint(lambda px, py: 0.65 * inner_band(bar, 0, 1.0)(px, py), solid(hexrgb("#178A50")))
    else:
        img.paint(fill(bar), vgrad(hexrgb("#CDD2D2"), hexrgb("#DCE0E0"), 0.5, h - 0.5))
        img.paint(lambda px, py: inner_band(bar, 1.0, 1.5)(px, py) * max(0.0, 0.18 - py * 0.02), solid(BLACK))
        img.paint(lambda px, py: 0.8 * inner_band(bar, 0, 1.0)(px, py), solid(hexrgb("#BEC4C4")))
    return img



# -- check boxes ---------------------------------------------------------------

def check_box(on):
    img = Image(20, 21, PANEL)
    box = rrect(2.5, 3.0, 17.5, 18.0, 3.2)
    if on:
        img.paint(fill(box), vgrad(ORANGE_TOP, ORANGE_BOTTOM, 3.0, 18.0))
        img.paint(lambda px, py: 0.7 * inner_band(box, 0, 1.0)(px, py), solid(ORANGE_EDGE))
        tick = polyline([(6.0, 10.6), (8.9, 13.6), (14.2, 7.9)], 1.05)
        img.paint(fill(tick), solid(WHITE))
    else:
        img.paint(fill(box), vgrad(WHITE, hexrgb("#F6F7F7"), 3.0, 18.0))
        img.paint(inner_band(box, 0, 1.0), solid(hexrgb("#A3ACAB")))
    return img



# -- application icon (drawn by ImageMagick, packed here) ----------------------

ICON = 90


def read_icon(path):
    raw = open(path, "rb").read()
    assert len(raw) == ICON * ICON * 4, len(raw)
    return [[tuple(raw[(y * ICON + x) * 4:(y * ICON + x) * 4 + 4]) for x in range(ICON)] for y in range(ICON)]


def main(renders, out):
    banner = read_banner(f"{renders}/banner.rgb")
    write_bmp(f"{out}/background.bmp", background(banner))
    write_bmp(f"{out}/close.bmp", window_button(banner, 565, 10, 18, cross).rgb_rows())
    write_bmp(f"{out}/minimize.bmp", window_button(banner, 535, 10, 19, dash).rgb_rows())
    write_bmp(f"{out}/button.bmp", install_button(114, 40, False).rgb_rows())
    write_bmp(f"{out}/button_pressed.bmp", install_button(115, 40, True).rgb_rows())
    write_bmp(f"{out}/progress_track.bmp", progress(556, 20, False).rgb_rows())
    write_bmp(f"{out}/progress_fill.bmp", progress(556, 20, True).rgb_rows())
    write_bmp(f"{out}/check_on.bmp", check_box(True).rgb_rows())
    write_bmp(f"{out}/check_off.bmp", check_box(False).rgb_rows())
    write_ico(f"{out}/app.ico", ICON, ICON, read_icon(f"{renders}/icon.rgba"))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: scripts/make_artwork.py RENDER_DIR OUT_DIR")
    main(sys.argv[1], sys.argv[2])
