#!/usr/bin/env python3
"""Draws Harmolith's icons and writes them as .ico files (32-bit colour with alpha, several sizes).

Run from anywhere: python3 res/make_icons.py. The shapes are described in a 0..1 square and
sampled 4x4 per pixel for smooth edges, so every size comes from the same drawing."""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


def circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x, y, x0, y0, x1, y1):
    return x0 <= x <= x1 and y0 <= y <= y1


# Each drawing returns the colour (r, g, b, a) at a point or None for transparent.
def app_icon(x, y):
    # A dark stone slab with a bright note head and stem: the "lith" that sings.
    if not rounded_rect(x, y, 0.06, 0.02, 0.94, 0.98, 0.16):
        return None
    if circle(x, y, 0.42, 0.70, 0.14):
        return (255, 196, 64, 255)
    if rect(x, y, 0.50, 0.22, 0.58, 0.70):
        return (255, 196, 64, 255)
    if rect(x, y, 0.50, 0.22, 0.76, 0.32):
        return (255, 196, 64, 255)
    shade = int(60 + 50 * (1 - y))
    return (30, shade, shade + 40, 255)


def configure_icon(x, y):
    # A gear: a ring with eight teeth.
    dx, dy = x - 0.5, y - 0.5
    d = math.hypot(dx, dy)
    a = math.atan2(dy, dx)
    tooth = math.cos(a * 8) > 0.2
    if d < 0.15:
        return None
    if d < 0.33 or (tooth and d < 0.46):
        return (110, 120, 135, 255)
    return None


def panic_icon(x, y):
    # A red stop octagon with a white bar.
    dx, dy = abs(x - 0.5), abs(y - 0.5)
    if max(dx, dy) > 0.46 or dx + dy > 0.65:
        return None
    if dx < 0.30 and dy < 0.08:
        return (255, 255, 255, 255)
    return (210, 40, 40, 255)


def about_icon(x, y):
    # A blue disc with a white "i".
    if not circle(x, y, 0.5, 0.5, 0.46):
        return None
    if circle(x, y, 0.5, 0.28, 0.07) or rect(x, y, 0.43, 0.42, 0.57, 0.78):
        return (255, 255, 255, 255)
    return (40, 100, 200, 255)


def mixer_icon(x, y):
    # Three fader tracks with their knobs at different heights.
    for cx, knob in ((0.22, 0.35), (0.5, 0.65), (0.78, 0.45)):
        if rect(x, y, cx - 0.10, knob - 0.07, cx + 0.10, knob + 0.07):
            return (240, 170, 40, 255)
        if rect(x, y, cx - 0.03, 0.06, cx + 0.03, 0.94):
            return (70, 80, 95, 255)
    return None


def converter_icon(x, y):
    # A sheet of music turning into a sound wave: a note on the left, a green wave on the right.
    if circle(x, y, 0.22, 0.72, 0.12) or rect(x, y, 0.29, 0.20, 0.35, 0.72):
        return (40, 60, 90, 255)
    if 0.45 <= x <= 0.96:
        wave = 0.5 + 0.28 * math.sin((x - 0.45) * 4 * math.pi) * (1 - (x - 0.45))
        if abs(y - wave) < 0.07:
            return (40, 160, 80, 255)
    return None


def letter_s(x, y, x0, y0, x1, y1):
    # A 5 x 7 pixel-font "S" stretched over the box.
    rows = ("01111", "10000", "10000", "01110", "00001", "00001", "11110")
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    col = int((x - x0) / (x1 - x0) * 5)
    row = int((y - y0) / (y1 - y0) * 7)
    return rows[row][col] == "1"


def speaker(x, y):
    # A speaker cone facing right, in the left half.
    if rect(x, y, 0.08, 0.36, 0.30, 0.64):
        return True
    if 0.30 <= x <= 0.52:
        half = 0.14 + (x - 0.30) * 1.3
        return abs(y - 0.5) <= half
    return False


def muted_icon(x, y):
    # The speaker struck through by a red cross: the channel is silent.
    d1, d2 = abs((x - 0.60) - (y - 0.30)), abs((x - 0.60) + (y - 0.30) - 0.40)
    if 0.58 <= x <= 0.98 and 0.28 <= y <= 0.72 and (d1 < 0.07 or d2 < 0.07):
        return (235, 60, 50, 255)
    if speaker(x, y):
        return (200, 200, 210, 255)
    return None


def not_muted_icon(x, y):
    # The speaker with two sound waves.
    d = math.hypot(x - 0.46, y - 0.5)
    if x > 0.56 and (abs(d - 0.24) < 0.045 or abs(d - 0.40) < 0.045) and abs(y - 0.5) < (x - 0.46):
        return (110, 200, 120, 255)
    if speaker(x, y):
        return (150, 150, 160, 255)
    return None


def solo_badge(x, y, lit):
    if not rounded_rect(x, y, 0.06, 0.06, 0.94, 0.94, 0.2):
        return None
    if letter_s(x, y, 0.30, 0.20, 0.72, 0.82):
        return (40, 30, 0, 255) if lit else (150, 150, 160, 255)
    if lit:
        glow = int(40 * (1 - y))
        return (250, 200 + glow // 2, 40, 255)
    return (58, 58, 66, 255)


def soloed_icon(x, y):
    return solo_badge(x, y, True)


def not_soloed_icon(x, y):
    return solo_badge(x, y, False)


def load_icon(x, y):
    # An open folder.
    if rect(x, y, 0.06, 0.22, 0.40, 0.32) or rect(x, y, 0.06, 0.30, 0.80, 0.84):
        if y > 0.46 and x > 0.06 + (0.84 - y) * 0.25:
            return (250, 205, 90, 255)
        return (215, 160, 50, 255)
    if 0.46 <= y <= 0.84 and 0.16 + (0.84 - y) * 0.25 <= x <= 0.96 - (0.84 - y) * 0.10:
        return (250, 205, 90, 255)
    return None


def save_icon(x, y):
    # A floppy disk.
    if not rounded_rect(x, y, 0.08, 0.08, 0.92, 0.92, 0.06):
        return None
    if rect(x, y, 0.24, 0.08, 0.72, 0.38):
        return (220, 225, 235, 255) if not rect(x, y, 0.56, 0.14, 0.66, 0.32) else (50, 70, 120, 255)
    if rect(x, y, 0.20, 0.54, 0.80, 0.92):
        return (245, 245, 250, 255) if (int(y * 30) % 3) else (170, 170, 180, 255)
    return (50, 90, 170, 255)


def copy_icon(x, y):
    # Two sheets, one over the other.
    front = rect(x, y, 0.36, 0.30, 0.90, 0.94)
    back = rect(x, y, 0.10, 0.06, 0.64, 0.70)
    if front:
        edge = not rect(x, y, 0.40, 0.34, 0.86, 0.90)
        line = rect(x, y, 0.46, 0.44, 0.80, 0.80) and int(y * 20) % 3 == 0
        return (70, 80, 100, 255) if edge or line else (250, 250, 255, 255)
    if back:
        edge = not rect(x, y, 0.14, 0.10, 0.60, 0.66)
        return (70, 80, 100, 255) if edge else (205, 210, 220, 255)
    return None


def reset_icon(x, y):
    # A circular arrow turning back.
    d = math.hypot(x - 0.5, y - 0.54)
    a = math.degrees(math.atan2(y - 0.54, x - 0.5))
    if abs(d - 0.32) < 0.075 and not (-100 < a < -40):
        return (90, 170, 235, 255)
    # Arrow head at the open end (top right).
    hx, hy = x - 0.66, y - 0.20
    if hx > -0.02 and hy < 0.22 and hx + hy < 0.22 and hy > -0.04 and hx < 0.24:
        if hy > -0.04 + hx * 0.0 and (hx - 0.0) < 0.22 - hy:
            return (90, 170, 235, 255)
    return None


def windows_mixer_icon(x, y):
    # A speaker in front of two small faders.
    for cx, knob in ((0.70, 0.40), (0.88, 0.66)):
        if rect(x, y, cx - 0.07, knob - 0.05, cx + 0.07, knob + 0.05):
            return (240, 170, 40, 255)
        if rect(x, y, cx - 0.02, 0.12, cx + 0.02, 0.88):
            return (120, 130, 145, 255)
    if speaker(x * 1.05, y):
        return (70, 130, 210, 255)
    return None


def plus_icon(x, y):
    # A green plus: files join the list.
    if rect(x, y, 0.42, 0.12, 0.58, 0.88) or rect(x, y, 0.12, 0.42, 0.88, 0.58):
        return (40, 160, 70, 255)
    return None


def minus_icon(x, y):
    # A red bar: files leave the list.
    if rect(x, y, 0.12, 0.42, 0.88, 0.58):
        return (200, 50, 50, 255)
    return None


def key_arrow(x, y, up):
    # A blue triangle pointing up or down: one semitone higher or lower.
    ty = y if up else 1 - y
    if 0.2 <= ty <= 0.8 and abs(x - 0.5) <= (ty - 0.2) * 0.6:
        return (50, 100, 200, 255)
    return None


def key_up_icon(x, y):
    return key_arrow(x, y, True)


def key_down_icon(x, y):
    return key_arrow(x, y, False)


def key_reset_icon(x, y):
    # A blue ring: back to the written key.
    d = math.hypot(x - 0.5, y - 0.5)
    if 0.22 <= d <= 0.36:
        return (50, 100, 200, 255)
    return None


def render(draw, size, samples=4):
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = draw((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if c:
                        acc[0] += c[0] * c[3]
                        acc[1] += c[1] * c[3]
                        acc[2] += c[2] * c[3]
                        acc[3] += c[3]
            n = samples * samples
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], acc[3] // n))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def dib(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for i, p in enumerate(row):
            if p[3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def write_ico(path, draw, sizes):
    images = [dib(render(draw, s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


ICONS = {
    "Harmolith.ico": (app_icon, (16, 24, 32, 48)),
    "Configure.ico": (configure_icon, (16, 24, 32)),
    "Panic.ico": (panic_icon, (16, 24, 32)),
    "About.ico": (about_icon, (16, 24, 32)),
    "Mixer.ico": (mixer_icon, (16, 24, 32)),
    "Converter.ico": (converter_icon, (16, 24, 32)),
    "Muted.ico": (muted_icon, (16, 24, 32)),
    "NotMuted.ico": (not_muted_icon, (16, 24, 32)),
    "Soloed.ico": (soloed_icon, (16, 24, 32)),
    "NotSoloed.ico": (not_soloed_icon, (16, 24, 32)),
    "MixerLoad.ico": (load_icon, (16, 24, 32)),
    "MixerSave.ico": (save_icon, (16, 24, 32)),
    "MixerCopy.ico": (copy_icon, (16, 24, 32)),
    "MixerReset.ico": (reset_icon, (16, 24, 32)),
    "WindowsMixer.ico": (windows_mixer_icon, (16, 24, 32)),
    "MixerLarge.ico": (mixer_icon, (32, 48)),
    "AddFiles.ico": (plus_icon, (16, 24, 32)),
    "RemoveFiles.ico": (minus_icon, (16, 24, 32)),
    "KeyDown.ico": (key_down_icon, (16, 24, 32)),
    "KeyReset.ico": (key_reset_icon, (16, 24, 32)),
    "KeyUp.ico": (key_up_icon, (16, 24, 32)),
}

if __name__ == "__main__":
    for name, (draw, sizes) in ICONS.items():
        write_ico(os.path.join(HERE, "icons", name), draw, sizes)
