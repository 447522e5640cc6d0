#!/usr/bin/env python3
"""Writes a short Standard MIDI File that plays one General MIDI program (or drum keys), for
per-preset loudness comparisons.

usage: make_preset_mid.py OUT.mid PROGRAM        (a melodic program 0-127: a phrase over 3 octaves)
       make_preset_mid.py OUT.mid drums KEY...   (channel 10: the keys in turn, 8 per second)
"""
import sys

from smf import track, write

PPQ = 480  # 120 beats per minute: 960 ticks per second


def main():
    out, what = sys.argv[1], sys.argv[2]
    events = []  # (tick, bytes)
    if what == "drums":
        keys = [int(k) for k in sys.argv[3:]]
        for i in range(32):
            k = keys[i % len(keys)]
            events += [(i * 120, bytes([0x99, k, 100])), (i * 120 + 100, bytes([0x89, k, 0]))]
    else:
        events.append((0, bytes([0xC0, int(what)])))
        t = 10
        for key in (48, 55, 60, 64, 67, 72, 76, 79):
            events += [(t, bytes([0x90, key, 100])), (t + 700, bytes([0x80, key, 0]))]
            t += 480
        for key in (48, 60, 64, 67):  # a held chord
            events += [(t, bytes([0x90, key, 100])), (t + 1900, bytes([0x80, key, 0]))]
    # A second of quiet at the end lets the last notes' releases sound.
    last = max(tick for tick, _ in events)
    events.append((last + 960, b"\xff\x01\x00"))
    write(out, [track(events)], PPQ)


main()
