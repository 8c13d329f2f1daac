#!/usr/bin/env python3
"""Generate the control panel artwork.

Writes, next to this script:
  logo.bmp  223 x 72, 24-bit uncompressed BMP: blue-to-teal gradient, speaker
            glyph with sound waves, "ZQ80415" in block letters, "AUDIO AMPLIFIER".
  icon.png  32 x 32, 8-bit palette PNG: speaker glyph on a rounded tile (the window's).
  hicolor/  the same icon for the desktop's menus: N.png, N x N 32-bit RGBA for each
            of the icon theme's sizes, and scalable.svg.

Uses only the Python standard library and produces identical bytes on every run:
    python3 assets/make_assets.py
"""
import math
import struct
import zlib
from itertools import product
from pathlib import Path

HERE = Path(__file__).resolve().parent
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)  # the desktop's icon theme sizes
NAVY, TEAL = (8, 26, 66), (0, 118, 130)
WHITE, CYAN, SHADOW = (255, 255, 255), (150, 232, 236), (2, 10, 30)

# 5x7 bitmap font drawn as pixel art ('#' = ink): a line naming the characters of
# a band, then its seven rows with the glyphs side by side, one space apart.
FONT_ART = """
ZQ80415AUD
##### .###. .###. .###. ...#. ..#.. ##### .###. #...# ####.
....# #...# #...# #...# ..##. .##.. #.... #...# #...# #...#
...#. #...# #...# #..## .#.#. ..#.. ####. #...# #...# #...#
..#.. #...# .###. #.#.# #..#. ..#.. ....# ##### #...# #...#
.#... #.#.# #...# ##..# ##### ..#.. ....# #...# #...# #...#
#.... #..#. #...# #...# ...#. ..#.. #...# #...# #...# #...#
##### .##.# .###. .###. ...#. .###. .###. #...# .###. ####.
IOMPLFER
.###. .###. #...# ####. #.... ##### ##### ####.
..#.. #...# ##.## #...# #.... #.... #.... #...#
..#.. #...# #.#.# #...# #.... #.... #.... #...#
..#.. #...# #.#.# ####. #.... ####. ####. ####.
..#.. #...# #...# #.... #.... #.... #.... #.#..
..#.. #...# #...# #.... #.... #.... #.... #..#.
.###. .###. #...# #.... ##### #.... ##### #...#
"""
FONT, _lines = {" ": ["....."] * 7}, FONT_ART.strip().splitlines()
for _i in range(0, len(_lines), 8):
    for _k, _ch in enumerate(_lines[_i]):
        FONT[_ch] = [line.split()[_k] for line in _lines[_i + 1:_i + 8]]


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    """RGBA float canvas with alpha blending."""

    def __init__(self, w, h, colour=lambda x, y: (0, 0, 0, 0.0)):
        self.w, self.h = w, h
        self.px = [[colour(x, y) for x in range(w)] for y in range(h)]

    def blend(self, x, y, rgb, a):
        if 0 <= x < self.w and 0 <= y < self.h and a > 0:
            r, g, b, da = self.px[y][x]
            out = a + da * (1 - a)  # "over" compositing
            self.px[y][x] = (*mix((r, g, b), rgb, a / out), out)

    def fill(self, inside, rgb, alpha=1.0, n=4):
        """Paint each pixel by its n*n-subsample coverage of the shape inside(x, y).
        rgb is a colour or a function (x, y) -> colour."""
        for y, x in product(range(self.h), range(self.w)):
            hits = sum(inside(x + (i + 0.5) / n, y + (j + 0.5) / n) for i, j in product(range(n), repeat=2))
            self.blend(x, y, rgb(x, y) if callable(rgb) else rgb, alpha * hits / (n * n))

    def text(self, s, x0, y0, scale, gap, rgb, alpha=1.0):
        for ch in s:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    for dy, dx in product(range(scale), repeat=2) if bit == "#" else ():
                        self.blend(x0 + col * scale + dx, y0 + row * scale + dy, rgb, alpha)
            x0 += 5 * scale + gap


def text_width(s, scale, gap):
    return len(s) * (5 * scale + gap) - gap


def speaker(x, y, cx, cy, s, waves):
    """Speaker glyph: magnet box + cone, mouth at (cx, cy), sound arcs to the right."""
    u, v = (x - cx) / s, (y - cy) / s
    if (-1.9 <= u <= -1.1 and abs(v) <= 0.55) or (-1.1 <= u <= 0 and abs(v) <= 0.75 + (u + 1.1) * 0.6):
        return True  # magnet box, then the cone flaring out to its mouth
    r, ang = math.hypot(u, v), math.atan2(v, u)
    return abs(ang) < 0.8 and any(abs(r - w) < 0.15 for w in waves)


def make_logo():
    w, h, tx, ty = 223, 72, 62, 9  # size, title position
    title, sub = "ZQ80415", "AUDIO AMPLIFIER"
    # horizontal navy-to-teal gradient, darkening slightly towards the bottom
    img = Canvas(w, h, lambda x, y: (*mix(mix(NAVY, TEAL, x / (w - 1)), SHADOW, 0.35 * y / (h - 1)), 1.0))
    # soft glow panel behind the speaker glyph, then the glyph itself
    img.fill(lambda x, y: math.hypot(x - 28, y - 23) < 19, CYAN, 0.10)
    img.fill(lambda x, y: speaker(x, y, 27, 23, 10, (0.75, 1.35, 1.95)), WHITE)
    # title with drop shadow
    img.text(title, tx + 2, ty + 2, 4, 2, SHADOW, 0.55)
    img.text(title, tx, ty, 4, 2, WHITE)
    # thin waveform divider
    tw = text_width(title, 4, 2)
    img.fill(lambda x, y: tx <= x <= tx + tw and
             abs(y - (43 + 2 * math.sin((x - tx) / 6) * math.sin(math.pi * (x - tx) / tw))) < 0.7,
             CYAN, 0.9)
    # subtitle centred across the whole logo
    sw = text_width(sub, 2, 2)
    img.text(sub, (w - sw) // 2, 50, 2, 2, CYAN)
    return img


def make_icon(n=32):
    """The icon drawn n x n pixels; its geometry is designed at 32 and scaled."""
    s = n / 32

    def tile(x, y):  # rounded square, corner radius 6, 0.5 px inset
        return math.hypot(max(abs(x - 16 * s) - 9.5 * s, 0), max(abs(y - 16 * s) - 9.5 * s, 0)) <= 6 * s

    img = Canvas(n, n)  # diagonal gradient in 16 steps keeps the palette small
    img.fill(tile, lambda x, y: mix(NAVY, TEAL, round((x + y) / (2 * n - 2) * 15) / 15))
    img.fill(lambda x, y: speaker(x, y, 16.3 * s, 16 * s, 6.0 * s, (0.85, 1.6)), WHITE, n=3)
    return img


def icon_svg():
    """The icon as a scalable drawing: the tile, the speaker and its two sound arcs."""
    hexes = ["#%02x%02x%02x" % c for c in (NAVY, TEAL)]
    cx, cy, k = 16.3, 16, 6.0  # the speaker's mouth and scale, as in make_icon

    def pt(u, v):
        return f"{cx + u * k:.2f},{cy + v * k:.2f}"

    cone = " ".join(pt(u, v) for u, v in ((-1.9, -0.55), (-1.1, -0.55), (-1.1, -0.75), (0, -1.41),
                                          (0, 1.41), (-1.1, 0.75), (-1.1, 0.55), (-1.9, 0.55)))
    arcs = "".join(
        f'<path d="M{pt(r * math.cos(0.8), -r * math.sin(0.8))} A{r * k:.2f},{r * k:.2f} 0 0 1 '
        f'{pt(r * math.cos(0.8), r * math.sin(0.8))}"/>' for r in (0.85, 1.6))
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
        '<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">'
        f'<stop offset="0" stop-color="{hexes[0]}"/><stop offset="1" stop-color="{hexes[1]}"/>'
        '</linearGradient></defs>\n'
        '<rect x="0.5" y="0.5" width="31" height="31" rx="6" fill="url(#g)"/>\n'
        f'<polygon points="{cone}" fill="#ffffff"/>\n'
        f'<g fill="none" stroke="#ffffff" stroke-width="{0.3 * k:.2f}">{arcs}</g>\n'
        '</svg>\n')


def write_bmp(path, img):
    row_len = (img.w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(img.px):  # bottom-up
        line = b"".join(bytes((round(b), round(g), round(r))) for r, g, b, _ in row)
        pixels += line + bytes(row_len - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, img.w, img.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    path.write_bytes(header + info + pixels)


def write_png_rgba(path, img):
    """Truecolour with alpha: the larger icons have more than 256 colours."""
    raw = bytearray()
    for row in img.px:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((round(r), round(g), round(b), round(a * 255))) if round(a * 255) else bytes(4)
    write_png_chunks(path, struct.pack(">IIBBBBB", img.w, img.h, 8, 6, 0, 0, 0), [], raw)


def write_png_chunks(path, header, chunks, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                     + b"".join(chunk(kind, data) for kind, data in chunks)
                     + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def write_png(path, img):
    index, raw = {}, bytearray()  # index: (r, g, b, a) -> palette slot, in first-use order
    for row in img.px:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            key = (0, 0, 0, 0) if round(a * 255) == 0 else (round(r), round(g), round(b), round(a * 255))
            raw.append(index.setdefault(key, len(index)))
    palette = list(index)
    assert len(palette) <= 256, len(palette)

    alphas = bytes(p[3] for p in palette).rstrip(b"\xff")
    chunks = [(b"PLTE", b"".join(bytes(p[:3]) for p in palette))] + ([(b"tRNS", alphas)] if alphas else [])
    write_png_chunks(path, struct.pack(">IIBBBBB", img.w, img.h, 8, 3, 0, 0, 0), chunks, raw)


if __name__ == "__main__":
    write_bmp(HERE / "logo.bmp", make_logo())
    write_png(HERE / "icon.png", make_icon())
    (HERE / "hicolor").mkdir(exist_ok=True)
    for size in HICOLOR_SIZES:
        write_png_rgba(HERE / "hicolor" / f"{size}.png", make_icon(size))
    (HERE / "hicolor" / "scalable.svg").write_text(icon_svg())
