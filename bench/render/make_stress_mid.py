#!/usr/bin/env python3
"""Writes a dense Standard MIDI File for the polyphony benchmarks.

All 16 channels play sustained instruments (strings, organs, pads, choirs; drums on channel 10).
Every beat each melodic channel starts a cluster of notes that lasts four beats, so several
hundred notes sound at once and the voice limit, not the music, decides how many voices play.

usage: make_stress_mid.py OUT.mid [SECONDS] [NOTES_PER_BEAT]
"""
import sys

from smf import track, write

PPQ = 480
BEAT_SECONDS = 0.5  # 120 beats per minute
# Sustaining General MIDI programs, one per melodic channel.
PROGRAMS = [48, 49, 19, 16, 52, 88, 89, 91, 50, 44, 42, 95, 61, 20, 92]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    per_beat = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    beats = int(seconds / BEAT_SECONDS)
    tempo = [(0, b"\xff\x51\x03" + int(BEAT_SECONDS * 1e6).to_bytes(3, "big"))]
    tracks = [track(tempo)]
    melodic = [c for c in range(16) if c != 9]
    for index, ch in enumerate(melodic):
        ev = [(0, bytes([0xC0 | ch, PROGRAMS[index]])), (0, bytes([0xB0 | ch, 7, 100]))]
        for beat in range(beats):
            start = beat * PPQ
            # The last notes end with the file instead of four beats later.
            stop = min(start + 4 * PPQ, beats * PPQ)
            for n in range(per_beat):
                key = 36 + (index * 7 + beat * 5 + n * 3) % 60
                ev.append((start, bytes([0x90 | ch, key, 70 + (n * 11) % 50])))
                ev.append((stop, bytes([0x80 | ch, key, 0])))
        tracks.append(track(ev))
    drums = []
    for step in range(beats * 4):  # sixteenth notes
        t = step * PPQ // 4
        for key in (36, 42) if step % 2 == 0 else (38, 46):
            drums.append((t, bytes([0x99, key, 100])))
            drums.append((t + PPQ // 8, bytes([0x89, key, 0])))
    tracks.append(track(drums))
    write(sys.argv[1], tracks, PPQ)


if __name__ == "__main__":
    main()
