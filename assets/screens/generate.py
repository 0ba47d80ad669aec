#!/usr/bin/env python3
# Draws the default screen artwork of the device (six sets of twelve screens: power-on logo, coil
# detection, coil too low / too high / missing / shorted, puff too long, locked, unlocked, power-off
# logo, low battery, low power) and writes each picture as assets/screens/<asset>.bmp in the colour
# depth the device's tools expect (1, 4 or 24 bits per pixel, black on white only).
#
# Run from the repository root:  python3 assets/screens/generate.py
# Standard library only; the output is the same on every run.

import math
import os
import struct

OUT_DIR = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------------
# A 5x7 font for the characters the screens use ('#' = ink). '~' stands for the ohm sign.
FONT = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'E': ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    'G': [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    'H': ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'I': [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    'L': ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    'N': ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'P': ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    'T': ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'U': ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'W': ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    'X': ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    'Y': ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    '0': [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    '1': ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    '.': [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    '!': ["..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."],
    '~': [".###.", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "##.##"],
    ' ': [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}


class Canvas:
    """A monochrome picture; True is ink (black)."""

    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[False] * width for _ in range(height)]

    def set(self, x, y, ink=True):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = ink

    def rect(self, x, y, w, h, ink=True):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.set(xx, yy, ink)

    def frame(self, x, y, w, h, t=1):
        self.rect(x, y, w, t)
        self.rect(x, y + h - t, w, t)
        self.rect(x, y, t, h)
        self.rect(x + w - t, y, t, h)

    def shape(self, inside, x0, y0, x1, y1, ink=True):
        """Sets every pixel of the box whose centre satisfies inside(cx, cy)."""
        for y in range(max(0, math.floor(y0)), min(self.h, math.ceil(y1) + 1)):
            for x in range(max(0, math.floor(x0)), min(self.w, math.ceil(x1) + 1)):
                if inside(x + 0.5, y + 0.5):
                    self.set(x, y, ink)

    def line(self, x0, y0, x1, y1, t=1.0, ink=True):
        """A stroke of width t between two points given in pixel-centre coordinates."""
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1e-9
        r = t / 2.0

        def inside(px, py):
            k = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
            ex, ey = x0 + k * dx - px, y0 + k * dy - py
            return ex * ex + ey * ey <= r * r + 0.05

        self.shape(inside, min(x0, x1) - r - 1, min(y0, y1) - r - 1, max(x0, x1) + r + 1, max(y0, y1) + r + 1, ink)

    def ellipse(self, cx, cy, rx, ry, t=None, ink=True, keep=None):
        """Filled ellipse, or a ring t pixels thick; keep(angle) can leave out part of a ring."""

        def inside(px, py):
            nx, ny = (px - cx) / rx, (py - cy) / ry
            d = nx * nx + ny * ny
            if d > 1.0:
                return False
            if t is not None:
                ix, iy = (px - cx) / max(rx - t, 0.01), (py - cy) / max(ry - t, 0.01)
                if ix * ix + iy * iy < 1.0:
                    return False
            if keep is not None:
                return keep(math.degrees(math.atan2(-(py - cy), px - cx)) % 360)
            return True

        self.shape(inside, cx - rx - 1, cy - ry - 1, cx + rx + 1, cy + ry + 1, ink)

    def polygon(self, pts, ink=True):
        def inside(px, py):
            odd = False
            n = len(pts)
            for i in range(n):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
                if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
                    odd = not odd
            return odd

        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        self.shape(inside, min(xs), min(ys), max(xs), max(ys), ink)

    def text(self, s, x, y, scale=1, ink=True):
        for i, ch in enumerate(s):
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, c in enumerate(row):
                    if c == '#':
                        self.rect(x + (i * 6 + gx) * scale, y + gy * scale, scale, scale, ink)


def text_width(s, scale):
    return (len(s) * 6 - 1) * scale


def text_block(c, lines, box, max_scale=2, gap=None):
    """Centres lines of text in box (x, y, w, h) at the largest scale that fits."""
    bx, by, bw, bh = box
    for scale in range(max_scale, 0, -1):
        g = scale if gap is None else gap
        height = len(lines) * 7 * scale + (len(lines) - 1) * g
        if max(text_width(s, scale) for s in lines) <= bw and height <= bh:
            break
    y = by + (bh - height) // 2
    for s in lines:
        c.text(s, bx + (bw - text_width(s, scale)) // 2, y, scale)
        y += 7 * scale + g


# ---------------------------------------------------------------------------------------------------
# Icons, each drawn into a box (x, y, w, h) and centred there.

def square_in(box):
    x, y, w, h = box
    s = min(w, h)
    return x + (w - s) / 2.0, y + (h - s) / 2.0, s


def icon_power(c, box):
    x, y, s = square_in(box)
    cx, cy = x + s / 2.0, y + s / 2.0 + s * 0.04
    t = max(2.0, s * 0.12)
    r = s * 0.44
    c.ellipse(cx, cy, r, r, t=t, keep=lambda a: not (60 <= a <= 120))
    c.line(cx, y + t / 2, cx, cy, t)


def icon_coil(c, box, turns=None, loops=True):
    """A heating coil seen from the side: a row of loops with a lead leaving each end."""
    x, y, w, h = box
    t = max(1.5, min(w, h) * 0.08)
    turns = turns or (4 if w < 40 else 5)
    lead = w * 0.12
    body = w - 2 * lead
    step = body / (turns + 0.2)
    rx = step * 0.6
    ry = h * 0.36
    cy = y + h * 0.42
    first = x + lead + rx
    for i in range(turns if loops else 0):
        c.ellipse(first + i * step, cy, rx, ry, t=t)
    # leads down from the outer turns, then out to the sides
    left, right = first - rx + t / 2, first + (turns - 1) * step + rx - t / 2
    bottom = y + h - t / 2
    c.line(left, cy, left, bottom, t)
    c.line(right, cy, right, bottom, t)
    c.line(x + t / 2, bottom, left, bottom, t)
    c.line(right, bottom, x + w - t / 2, bottom, t)


def icon_no_coil(c, box):
    """The coil's two leads with nothing between them but a cross."""
    x, y, w, h = box
    icon_coil(c, box, loops=False)
    s = min(w * 0.5, h * 0.62)
    icon_x(c, (x + (w - s) / 2.0, y + h * 0.42 - s / 2.0, s, s), weight=0.16)


def icon_short(c, box):
    x, y, w, h = box
    icon_coil(c, (x, y, w * 0.72, h), turns=3)
    icon_bolt(c, (x + w * 0.72, y, w * 0.28, h))


def icon_bolt(c, box):
    x, y, w, h = box
    bw = min(w, h * 0.6)
    x += (w - bw) / 2.0
    pts = [(0.62, 0.0), (0.05, 0.58), (0.42, 0.58), (0.28, 1.0), (0.95, 0.38), (0.56, 0.38), (0.82, 0.0)]
    c.polygon([(x + px * bw, y + py * h) for px, py in pts])


def icon_hourglass(c, box):
    x, y, w, h = box
    hw = min(w, h * 0.66)
    x += (w - hw) / 2.0
    t = max(1.5, h * 0.07)
    cx, cy = x + hw / 2.0, y + h / 2.0
    neck = max(1.0, hw * 0.06)
    c.rect(round(x), round(y), round(hw), round(t))
    c.rect(round(x), round(y + h - t), round(hw), round(t))
    l, r = x + hw * 0.14, x + hw * 0.86
    top, bot = y + t, y + h - t
    for sx, ex in ((l, cx - neck), (r, cx + neck)):
        c.line(sx, top, ex, cy, t * 0.8)
        c.line(ex, cy, sx, bot, t * 0.8)
    # sand: a little left on top, a heap below, a trickle between
    c.polygon([(cx - hw * 0.16, cy - h * 0.12), (cx + hw * 0.16, cy - h * 0.12), (cx, cy - h * 0.01)])
    c.polygon([(cx, bot - h * 0.2), (r - hw * 0.06, bot), (l + hw * 0.06, bot)])
    c.line(cx, cy, cx, bot - h * 0.2, max(1.0, t * 0.5))


def icon_padlock(c, box, open_=False):
    x, y, w, h = box
    lw = min(w, h * 0.82)
    x += (w - lw) / 2.0
    body_h = h * 0.55
    body_y = y + h - body_h
    t = max(2.0, lw * 0.16)
    c.rect(round(x), round(body_y), round(lw), round(body_h))
    # keyhole
    kx, ky = x + lw / 2.0, body_y + body_h * 0.42
    kr = max(1.2, lw * 0.1)
    c.ellipse(kx, ky, kr, kr, ink=False)
    c.line(kx, ky, kx, body_y + body_h * 0.75, max(1.0, kr * 0.9), ink=False)
    # shackle: an arch standing on the body; when open it rises and its right leg leaves the body
    sw = lw * 0.68
    sx = x + (lw - sw) / 2.0
    rr = sw / 2.0
    if open_:
        arch_cy = y + rr
        leg_bottom_l = body_y + 1
        leg_bottom_r = arch_cy + (body_y - y - rr) * 0.35
    else:
        arch_cy = y + rr + h * 0.12
        leg_bottom_l = leg_bottom_r = body_y + 1
    acx = sx + rr
    c.ellipse(acx, arch_cy, rr, rr, t=t, keep=lambda a: a <= 180)
    c.line(sx + t / 2, arch_cy, sx + t / 2, leg_bottom_l, t)
    c.line(sx + sw - t / 2, arch_cy, sx + sw - t / 2, leg_bottom_r, t)


def icon_battery(c, box, bars=1):
    """A battery lying on its side with its terminal to the right; bars shows how much is left."""
    x, y, w, h = box
    bh = min(h, w * 0.5)
    y += (h - bh) / 2.0
    t = max(1, round(bh * 0.1))
    nub_w = max(2, round(w * 0.07))
    bw = round(w - nub_w)
    x, y, bh = round(x), round(y), round(bh)
    c.frame(x, y, bw, bh, t)
    c.rect(x + bw, y + round(bh * 0.3), nub_w, bh - 2 * round(bh * 0.3))
    gap = t + max(1, t)
    inner_w = bw - 2 * gap
    cell = inner_w / 4.0
    for i in range(bars):
        c.rect(x + gap + round(i * cell), y + gap, max(1, round(cell * 0.7)), bh - 2 * gap)


def icon_x(c, box, weight=0.2):
    x, y, s = square_in(box)
    t = max(2.0, s * weight)
    c.line(x + t / 2, y + t / 2, x + s - t / 2, y + s - t / 2, t)
    c.line(x + s - t / 2, y + t / 2, x + t / 2, y + s - t / 2, t)


# ---------------------------------------------------------------------------------------------------
# The screens. Each picture is an icon plus a word or two, laid out for the screen's shape.

SCREEN_CONTENT = [
    # (icon, wide text, square text, small text) for screens 2..12; screen 1 is each set's own logo
    None,
    (icon_coil, ["COIL..."], ["COIL..."], ["COIL", "..."]),
    (icon_coil, ["LOW ~"], ["LOW ~"], ["LOW", "~"]),
    (icon_coil, ["HIGH ~"], ["HIGH ~"], ["HIGH", "~"]),
    (icon_no_coil, ["NO COIL"], ["NO COIL"], ["NO", "COIL"]),
    (icon_short, ["SHORT"], ["SHORT"], ["SHORT"]),
    (icon_hourglass, ["10S"], ["10S MAX"], ["10S"]),
    (lambda c, b: icon_padlock(c, b, False), ["LOCKED"], ["LOCKED"], ["LOCKED"]),
    (lambda c, b: icon_padlock(c, b, True), ["UNLOCK"], ["UNLOCK"], ["OPEN"]),
    (icon_power, ["OFF"], ["OFF"], ["OFF"]),
    (lambda c, b: icon_battery(c, b, 1), ["LOW", "BATTERY"], ["LOW", "BATTERY"], ["LOW"]),
    (icon_bolt, ["LOW", "POWER"], ["LOW", "POWER"], ["LOW", "PWR"]),
]


def wide_screen(icon, lines, w=128, h=32):
    c = Canvas(w, h)
    icon(c, (2, 2, 32, 28))
    text_block(c, lines, (38, 1, w - 39, h - 2))
    return c


def square_screen(icon, lines, framed=False):
    c = Canvas(96, 96)
    if framed:
        c.frame(0, 0, 96, 96, 1)
    icon(c, (14, 4, 68, 56))
    text_block(c, lines, (3, 63, 90, 31))
    return c


def small_screen(icon, lines):
    c = Canvas(64, 32)
    icon(c, (1, 3, 26, 26))
    # one short word may be doubled in size; two lines stay at the font's own size
    text_block(c, lines, (29, 1, 34, 30), max_scale=2 if len(lines) == 1 else 1, gap=3)
    return c


def unlocked_and_off_small():
    """Set 5 shows one picture both when unlocking and when powering off: an open padlock and a
    power symbol side by side."""
    c = Canvas(64, 32)
    icon_padlock(c, (2, 3, 24, 26), True)
    icon_power(c, (31, 4, 24, 24))
    return c


# Power-on logos: each set has its own.
def logo_set1():
    c = Canvas(128, 32)
    icon_power(c, (2, 2, 28, 28))
    text_block(c, ["NEMORA"], (36, 1, 90, 30))
    return c


def logo_set2():
    c = Canvas(128, 32)
    c.frame(0, 0, 128, 32, 1)
    c.frame(2, 2, 124, 28, 1)
    text_block(c, ["NEMORA II"], (4, 4, 120, 24), max_scale=2)
    return c


def logo_set3():
    c = Canvas(128, 32)
    icon_x(c, (3, 3, 26, 26))
    text_block(c, ["NEMORA"], (36, 1, 90, 22), max_scale=2)
    c.rect(40, 26, 82, 2)
    return c


def logo_set4():
    c = Canvas(96, 96)
    icon_power(c, (18, 4, 60, 60))
    text_block(c, ["NEMORA"], (3, 68, 90, 24), max_scale=2)
    return c


def logo_set5():
    c = Canvas(64, 32)
    icon_power(c, (2, 4, 24, 24))
    text_block(c, ["NEMORA", "MINI"], (28, 1, 36, 30), max_scale=1, gap=4)
    return c


def logo_set6():
    c = Canvas(96, 96)
    c.frame(0, 0, 96, 96, 1)
    c.frame(3, 3, 90, 90, 2)
    icon_power(c, (34, 10, 28, 28))
    text_block(c, ["NEMORA"], (6, 44, 84, 16), max_scale=2)
    text_block(c, ["MAX"], (6, 64, 84, 22), max_scale=3)
    return c


def power_off_big(framed):
    c = Canvas(96, 96)
    if framed:
        c.frame(0, 0, 96, 96, 1)
    icon_power(c, (18, 4, 60, 60))
    text_block(c, ["OFF"], (3, 63, 90, 31))
    return c


# ---------------------------------------------------------------------------------------------------
# Asset numbers and how each is stored.

SETS = [
    # (layout, logo, asset numbers of screens 1..12)
    ("wide", logo_set1, [370, 335, 336, 337, 338, 339, 340, 341, 342, 343, 344, 345]),
    ("wide", logo_set2, [387, 335, 336, 337, 338, 339, 340, 341, 342, 343, 344, 345]),
    ("wide", logo_set3, [393, 390, 394, 395, 396, 397, 398, 399, 400, 401, 402, 403]),
    ("square", logo_set4, [374, 375, 376, 377, 378, 379, 380, 381, 382, 383, 384, 385]),
    ("small", logo_set5, [404, 405, 406, 407, 408, 409, 410, 411, 412, 412, 413, 414]),
    ("square-framed", logo_set6, [415, 416, 417, 418, 419, 420, 421, 422, 423, 424, 425, 426]),
]

FOUR_BIT = {374, 379, 380, 383, 384, 385, 420, 425, 426} | set(range(404, 415))
TWENTY_FOUR_BIT = set(range(336, 346))


def depth_of(asset):
    if asset in FOUR_BIT:
        return 4
    if asset in TWENTY_FOUR_BIT:
        return 24
    return 1


def draw_screen(layout, screen):
    icon, wide, square, small = SCREEN_CONTENT[screen - 1]
    if layout == "wide":
        return wide_screen(icon, wide)
    if layout.startswith("square"):
        framed = layout.endswith("framed")
        if screen == 10:
            return power_off_big(framed)
        return square_screen(icon, square, framed)
    if screen in (9, 10):
        return unlocked_and_off_small()
    return small_screen(icon, small)


def encode_bmp(c, bpp):
    """A bottom-up BI_RGB Windows bitmap with a 40-byte info header."""
    stride = ((c.w * bpp + 31) // 32) * 4
    if bpp == 1:
        palette = [(0, 0, 0), (255, 255, 255)]
    elif bpp == 4:
        # The usual 16-colour table; the pictures use only entry 0 (black) and entry 15 (white).
        palette = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
                   (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
                   (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    else:
        palette = []
    white_index = len(palette) - 1
    rows = bytearray()
    for row in range(c.h - 1, -1, -1):
        line = bytearray(stride)
        for x in range(c.w):
            ink = c.px[row][x]
            if bpp == 1:
                if not ink:
                    line[x // 8] |= 0x80 >> (x % 8)
            elif bpp == 4:
                index = 0 if ink else white_index
                line[x // 2] |= index << (0 if x % 2 else 4)
            else:
                v = 0 if ink else 255
                line[3 * x:3 * x + 3] = bytes((v, v, v))
        rows += line
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, bpp, 0, len(rows), 2835, 2835, len(palette), 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return head + info + pal + bytes(rows)


def main():
    written = {}
    for layout, logo, assets in SETS:
        for screen, asset in enumerate(assets, start=1):
            if asset in written:
                continue
            picture = logo() if screen == 1 else draw_screen(layout, screen)
            data = encode_bmp(picture, depth_of(asset))
            with open(os.path.join(OUT_DIR, "%d.bmp" % asset), "wb") as f:
                f.write(data)
            written[asset] = data
    print("wrote %d bitmaps to %s" % (len(written), OUT_DIR))


if __name__ == "__main__":
    main()
