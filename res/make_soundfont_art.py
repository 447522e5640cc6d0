#!/usr/bin/env python3
"""Draws the SoundFonts page's button icons and its two 24 x 24 port-box bitmaps.

Run from anywhere: python3 res/make_soundfont_art.py. Icons reuse the shape helpers and the
.ico writer of make_icons.py; the port boxes are 24-bit .bmp files whose magenta pixels are
drawn transparent."""

import os

from make_icons import HERE, key_arrow, minus_icon, plus_icon, rect, rounded_rect, write_ico
from make_mixer_art import write_bmp

MAGENTA = (255, 0, 255)


def edit_icon(x, y):
    # A pencil lying from bottom-left to top-right.
    u, v = (x + y) / 2, (y - x)
    if abs(v) > 0.16 or not 0.12 < u < 0.9:
        return None
    if u > 0.78:
        return (230, 120, 130, 255)
    if u < 0.24:
        return (60, 50, 40, 255)
    if u < 0.32:
        return (235, 205, 150, 255)
    return (240, 190, 40, 255)


def sheet(x, y):
    # A page with a folded corner, the list file.
    if not rect(x, y, 0.18, 0.06, 0.72, 0.94):
        return None
    if x > 0.56 and y < 0.22 and (x - 0.56) > (y - 0.06):
        return None
    if 0.26 < x < 0.62 and any(abs(y - r) < 0.025 for r in (0.38, 0.5, 0.62, 0.74)):
        return (130, 140, 160, 255)
    return (250, 250, 245, 255)


def import_icon(x, y):
    # An arrow coming into the page from the right.
    if rect(x, y, 0.55, 0.46, 0.95, 0.56) or (0.4 < x < 0.62 and abs(y - 0.51) < (0.62 - x)):
        return (40, 150, 60, 255)
    return sheet(x, y)


def export_icon(x, y):
    # An arrow leaving the page to the right.
    if rect(x, y, 0.4, 0.46, 0.78, 0.56) or (0.76 < x < 0.98 and abs(y - 0.51) < (0.98 - x)):
        return (40, 90, 190, 255)
    return sheet(x, y)


def up_icon(x, y):
    return key_arrow(x, y, True)


def down_icon(x, y):
    return key_arrow(x, y, False)


def port_box(lit):
    # A rounded key cap: green and lit for a port that uses the font, grey when not.
    face = (90, 200, 90) if lit else (200, 200, 205)
    edge = (30, 110, 40) if lit else (120, 120, 128)
    rows = []
    for py in range(24):
        row = []
        for px in range(24):
            x, y = (px + 0.5) / 24, (py + 0.5) / 24
            if not rounded_rect(x, y, 0.06, 0.06, 0.94, 0.94, 0.2):
                row.append(MAGENTA)
            elif not rounded_rect(x, y, 0.14, 0.14, 0.86, 0.86, 0.14):
                row.append(edge)
            else:
                shine = int(30 * (1 - y))
                row.append(tuple(min(255, c + shine) for c in face))
        rows.append(row)
    return rows


ICONS = {
    "SfAdd.ico": plus_icon,
    "SfRemove.ico": minus_icon,
    "SfEdit.ico": edit_icon,
    "SfUp.ico": up_icon,
    "SfDown.ico": down_icon,
    "SfImport.ico": import_icon,
    "SfExport.ico": export_icon,
}

if __name__ == "__main__":
    for name, draw in ICONS.items():
        write_ico(os.path.join(HERE, "icons", name), draw, (16, 24, 32))
    write_bmp(os.path.join(HERE, "bitmaps", "PortOn.bmp"), port_box(True))
    write_bmp(os.path.join(HERE, "bitmaps", "PortOff.bmp"), port_box(False))
