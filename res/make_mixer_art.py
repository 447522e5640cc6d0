#!/usr/bin/env python3
"""Draws the mixer strip's bitmaps and writes them as 24-bit .bmp files: the fader track (yellow
is transparent), the fader knob (black is transparent) and the level meter, unlit and lit.

Run from anywhere: python3 res/make_mixer_art.py. The sizes are the ones the strip draws at."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
YELLOW = (255, 255, 0)
BLACK = (0, 0, 0)


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def fader_track():
    # 40 x 160: a brushed dark panel with a recessed slot for the knob and a dB-like scale.
    # Knob centre travels from y 35 (volume 100) to y 104 (volume 0) at x 26.
    w, h = 40, 160
    px = [[YELLOW] * w for _ in range(h)]
    for y in range(14, 158):
        for x in range(1, 39):
            corner = (x in (1, 38)) and (y in (14, 157))
            if corner:
                continue
            shade = 36 + ((x * 7 + y * 3) % 5) - (y - 14) // 24
            px[y][x] = (shade, shade, shade + 4)
            if x == 1 or y == 14:
                px[y][x] = (62, 62, 68)  # light from the top left
            if x == 38 or y == 157:
                px[y][x] = (16, 16, 18)
    # The slot: a black groove with a shadowed left edge and a highlight on the right.
    for y in range(28, 112):
        px[y][24] = (10, 10, 12)
        px[y][25] = (0, 0, 1)
        px[y][26] = (0, 0, 1)
        px[y][27] = (6, 6, 8)
        px[y][28] = (70, 70, 78)
    # Scale marks every 10 %, longer at 100, 50 and 0; the unity mark is amber.
    for step in range(11):
        y = 35 + round(step * 6.9)
        long_mark = step in (0, 5, 10)
        colour = (230, 160, 40) if step == 0 else (150, 150, 165)
        for x in range(14 if long_mark else 16, 21):
            px[y][x] = colour
        for x in range(31, 34 if long_mark else 33):
            px[y][x] = mix(colour, (40, 40, 44), 0.4)
    return px


def knob():
    # 14 x 29: a metal fader cap with grip ridges and a white index line; rounded corners are
    # left black (transparent).
    w, h = 14, 29
    px = [[BLACK] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            if (x in (0, w - 1)) and (y in (0, h - 1)):
                continue
            t = abs(y - 14) / 14
            base = mix((205, 208, 215), (95, 98, 108), t)
            if x == 0 or y == 0:
                base = mix(base, (245, 245, 250), 0.5)
            if x == w - 1 or y == h - 1:
                base = mix(base, (30, 30, 34), 0.6)
            if y != 14 and 2 <= x <= w - 3 and y % 3 == 0 and 3 <= y <= h - 4:
                base = mix(base, (40, 40, 46), 0.45)
            if y == 14 and 1 <= x <= w - 2:
                base = (255, 255, 255)
            px[y][x] = tuple(max(1, c) for c in base)  # never pure black inside
    return px


def meter(lit):
    # 4 x 134 LED segments: red on top (the clip mark is the top 6 rows), amber, then green.
    w, h = 4, 134
    px = []
    for y in range(h):
        if y < 6:
            colour = (255, 40, 30)
        elif y < 34:
            colour = mix((255, 150, 20), (235, 215, 40), (y - 6) / 28)
        else:
            colour = mix((150, 230, 60), (30, 190, 70), (y - 34) / 100)
        if not lit:
            colour = mix(colour, (18, 18, 20), 0.82)
        gap = y % 3 == 2
        row = []
        for x in range(w):
            c = (12, 12, 14) if gap else colour
            if not gap and x == 0 and lit:
                c = mix(c, (255, 255, 255), 0.35)
            row.append(c)
        px.append(row)
    return px


if __name__ == "__main__":
    out = os.path.join(HERE, "bitmaps")
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "FaderTrack.bmp"), fader_track())
    write_bmp(os.path.join(out, "Knob.bmp"), knob())
    write_bmp(os.path.join(out, "MeterOff.bmp"), meter(False))
    write_bmp(os.path.join(out, "MeterOn.bmp"), meter(True))
