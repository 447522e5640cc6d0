#!/usr/bin/env python3
"""Writes a dense General MIDI piece for the render benchmark: 14 melodic channels and drums
playing a chord progression with long sustained layers (strings, pads, choir, organ under the
sustain pedal), arpeggios, a bass line and a melody, so that 200-400 voices sound at once as in
busy orchestral or game music. Deterministic: the same file every time.

usage: make_dense_gm.py OUT.mid [SECONDS]   (default 180)
"""
import sys

from smf import track, write

PPQ = 480
BEAT_SECONDS = 0.5  # 120 beats per minute
# I - vi - IV - V - iii - vi - ii - V in C, as chord roots with their triads.
PROGRESSION = [(48, (0, 4, 7)), (45, (0, 3, 7)), (41, (0, 4, 7)), (43, (0, 4, 7)),
               (40, (0, 3, 7)), (45, (0, 3, 7)), (38, (0, 3, 7)), (43, (0, 4, 7, 10))]
BAR = 4 * PPQ


def chord_at(bar):
    return PROGRESSION[bar % len(PROGRESSION)]


def voiced(root, intervals, low, high):
    """The chord's notes between low and high, every octave."""
    notes = []
    for octave in range(-2, 6):
        for i in intervals:
            n = root + 12 * octave + i
            if low <= n <= high:
                notes.append(n)
    return notes


def sustained(ch, program, low, high, volume, bars, pedal=False, velocity=70):
    """Whole-bar chords held into the next bar (overlapping layers); optionally under the pedal."""
    ev = [(0, bytes([0xC0 | ch, program])), (0, bytes([0xB0 | ch, 7, volume])),
          (0, bytes([0xB0 | ch, 91, 60])), (0, bytes([0xB0 | ch, 93, 30]))]
    for bar in range(bars):
        root, intervals = chord_at(bar)
        start = bar * BAR
        stop = min(start + BAR + BAR // 4, bars * BAR)
        if pedal:
            ev += [(start, bytes([0xB0 | ch, 64, 0])), (start + 10, bytes([0xB0 | ch, 64, 127]))]
        for n in voiced(root, intervals, low, high):
            ev += [(start, bytes([0x90 | ch, n, velocity])), (stop, bytes([0x80 | ch, n, 0]))]
    if pedal:
        ev.append((bars * BAR, bytes([0xB0 | ch, 64, 0])))
    return ev


def arpeggio(ch, program, low, high, volume, bars, step):
    ev = [(0, bytes([0xC0 | ch, program])), (0, bytes([0xB0 | ch, 7, volume]))]
    for bar in range(bars):
        root, intervals = chord_at(bar)
        notes = voiced(root, intervals, low, high)
        for i, t in enumerate(range(bar * BAR, (bar + 1) * BAR, step)):
            n = notes[(i * 3) % len(notes)]
            ev += [(t, bytes([0x90 | ch, n, 60 + (i * 7) % 40])),
                   (t + 3 * step, bytes([0x80 | ch, n, 0]))]
    return ev


def bass(ch, program, bars):
    ev = [(0, bytes([0xC0 | ch, program])), (0, bytes([0xB0 | ch, 7, 110]))]
    for bar in range(bars):
        root, _ = chord_at(bar)
        for beat in range(4):
            n = root - 12 + (7 if beat == 2 else 0)
            t = bar * BAR + beat * PPQ
            ev += [(t, bytes([0x90 | ch, n, 100])), (t + PPQ - 20, bytes([0x80 | ch, n, 0]))]
    return ev


def melody(ch, program, bars):
    ev = [(0, bytes([0xC0 | ch, program])), (0, bytes([0xB0 | ch, 7, 105]))]
    for bar in range(bars):
        root, intervals = chord_at(bar)
        notes = voiced(root, intervals, 67, 84)
        for i in range(8):
            t = bar * BAR + i * PPQ // 2
            n = notes[(bar * 5 + i * 2) % len(notes)]
            ev += [(t, bytes([0x90 | ch, n, 90])), (t + PPQ // 2 + 120, bytes([0x80 | ch, n, 0]))]
    return ev


def drums(bars):
    ev = []
    for step in range(bars * 16):  # sixteenths
        t = step * PPQ // 4
        keys = [42]
        if step % 4 == 0:
            keys.append(36)
        if step % 8 == 4:
            keys += [38, 39]
        if step % 16 == 0:
            keys.append(49)
        if step % 16 == 14:
            keys += [45, 47]
        for k in keys:
            ev += [(t, bytes([0x99, k, 70 + (step * 13) % 50])),
                   (t + PPQ // 8, bytes([0x89, k, 0]))]
    return ev


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 180.0
    bars = max(1, int(seconds / (4 * BEAT_SECONDS)))
    tempo = [(0, b"\xff\x51\x03" + int(BEAT_SECONDS * 1e6).to_bytes(3, "big"))]
    tracks = [track(tempo)]
    parts = [
        sustained(0, 48, 48, 72, 100, bars),                 # strings
        sustained(1, 49, 60, 79, 90, bars),                  # slow strings
        sustained(2, 89, 48, 67, 95, bars),                  # warm pad
        sustained(3, 52, 60, 72, 90, bars),                  # choir
        sustained(4, 19, 43, 60, 80, bars, pedal=True),      # church organ under the pedal
        sustained(5, 61, 55, 67, 85, bars, velocity=90),     # brass section
        sustained(6, 0, 55, 76, 95, bars, pedal=True),       # piano under the pedal
        sustained(7, 95, 64, 76, 80, bars),                  # sweep pad
        arpeggio(8, 46, 55, 91, 90, bars, PPQ // 4),         # harp
        arpeggio(10, 11, 60, 96, 85, bars, PPQ // 2),        # vibraphone
        arpeggio(11, 24, 48, 76, 90, bars, PPQ // 4),        # nylon guitar
        bass(12, 33, bars),                                  # finger bass
        melody(13, 73, bars),                                # flute
        melody(14, 40, bars),                                # violin
    ]
    for ev in parts:
        tracks.append(track(ev))
    tracks.append(track(drums(bars)))
    write(sys.argv[1], tracks, PPQ)


if __name__ == "__main__":
    main()
