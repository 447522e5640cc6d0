#!/usr/bin/env python3
"""Interpolation quality per segment of the shared interpolation material, ours against the peers'
recordings (FluidSynth linear and 4th order, sfizz linear and sinc).

Each render is cut into the material's segments (the MIDI file's notes grouped by gaps of more
than a second). Per 4096-frame window (Hann, hop 2048) the wanted part is what an ideal resampler
keeps, taken from sfizz's sinc recording: the bins within 3 of a spectral peak no more than 60 dB
below the window's strongest. Everything else in a rendering is unwanted energy; the figures are
its share of the window's energy in dB, the median and the worst 10 % of windows per segment.

usage: interpolation_vs_peers.py NAME=OURS.wav [NAME=OURS.wav...]
(render with: harmolith-render -q --sinc -R 0 -C 0 --rate 48000 --sf2 interpolation_test.sf2
 --out DIR interpolation_test.mid). Needs numpy and sox.
"""
import glob, os, struct, subprocess, sys, tempfile
import numpy as np

ROOT = os.path.dirname(os.path.abspath(__file__))
MATERIAL = glob.glob(os.path.join(ROOT, '../../../shared/testdata/*/interpolation'))[0]
N, HOP = 4096, 2048


def read(path):
    with tempfile.NamedTemporaryFile(suffix='.raw') as t:
        subprocess.run(['sox', path, '-t', 'raw', '-e', 'floating-point', '-b', '32', '-c', '1',
                        t.name], check=True)
        return np.fromfile(t.name, dtype='<f4')


def segments(mid):
    """Note spans in seconds, grouped by silences of more than a second."""
    d = open(mid, 'rb').read()
    ppq = struct.unpack('>H', d[12:14])[0]
    tempo, notes, pos = 500000, [], 14
    while pos < len(d):
        n = struct.unpack('>I', d[pos + 4:pos + 8])[0]
        tr, i, tick, status, events = d[pos + 8:pos + 8 + n], 0, 0, 0, []
        pos += 8 + n
        while i < len(tr):
            v = 0
            while True:
                v = (v << 7) | (tr[i] & 0x7F); i += 1
                if tr[i - 1] < 0x80: break
            tick += v
            if tr[i] == 0xFF:
                kind, ln = tr[i + 1], tr[i + 2]
                if kind == 0x51: events.append((tick, 'tempo', int.from_bytes(tr[i + 3:i + 6], 'big')))
                i += 3 + ln; continue
            if tr[i] >= 0x80: status = tr[i]; i += 1
            hi = status & 0xF0
            if hi in (0xC0, 0xD0): i += 1; continue
            a, b = tr[i], tr[i + 1]; i += 2
            if hi == 0x90 and b > 0: events.append((tick, 'on', a))
            elif hi == 0x80 or (hi == 0x90 and b == 0): events.append((tick, 'off', a))
        notes += events
    notes.sort(key=lambda e: e[0])
    sec, last, t, spans, on = 0.0, 0, 0.0, [], {}
    for tick, kind, x in notes:
        t += (tick - last) * tempo / ppq / 1e6; last = tick
        if kind == 'tempo': tempo = x
        elif kind == 'on': on[x] = t
        elif x in on: spans.append((on.pop(x), t))
    spans.sort()
    groups = []
    for a, b in spans:
        if groups and a < groups[-1][1] + 1.0: groups[-1][1] = max(groups[-1][1], b)
        else: groups.append([a, b])
    return groups


def onset(x):
    return int(np.argmax(np.abs(x) > 1e-3))


def measure(x, ref, a, b):
    w = np.hanning(N)
    out = []
    for s in range(int(a * 48000), int(b * 48000) - N, HOP):
        X = np.abs(np.fft.rfft(x[s:s + N] * w)) ** 2
        R = np.abs(np.fft.rfft(ref[s:s + N] * w)) ** 2
        if X.sum() < 1e-9 or R.max() < 1e-12: continue
        strong = R > R.max() * 1e-6
        peaks = strong & (R >= np.roll(R, 1)) & (R >= np.roll(R, -1))
        wanted = np.convolve(peaks.astype(float), np.ones(7), 'same') > 0
        out.append(10 * np.log10(max(X[~wanted].sum() / X.sum(), 1e-15)))
    return np.median(out), np.percentile(out, 90)


def main():
    rec = os.path.join(MATERIAL, 'recordings')
    ref = read(os.path.join(rec, 'sfizz (10 - sinc).flac'))
    ref = ref[onset(ref):]
    renders = [(f.split('=', 1)[0], f.split('=', 1)[1]) for f in sys.argv[1:]]
    renders += [(os.path.basename(p)[:-5], p) for p in sorted(glob.glob(os.path.join(rec, '*.flac')))]
    segs = segments(os.path.join(MATERIAL, 'interpolation_test.mid'))
    first = segs[0][0]
    print('%-26s' % 'unwanted dB (median/p90)' + ''.join('  seg %d %5.1f-%5.1fs' % (i + 1, a, b) for i, (a, b) in enumerate(segs)))
    for name, path in renders:
        x = read(path)
        x = x[onset(x):]
        n = min(len(x), len(ref))
        row = [measure(x[:n], ref[:n], a - first, b - first) for a, b in segs]
        print('%-26s' % name + ''.join('  %7.1f / %7.1f' % r for r in row))


main()
