#!/usr/bin/env python3
"""Writes the decoder test material: FLAC files of a signal the tests rebuild exactly (so a
lossless decode is checked sample for sample) and a short Ogg Vorbis tone. Needs flac and sox.
Run from this folder; the outputs are committed."""
import struct, subprocess, wave


def signal(frames, channels, bits):
    # Keep in step with DecoderSignal() in DecodersTest.cpp.
    seed = 1
    out = []
    for i in range(frames):
        row = []
        for c in range(channels):
            seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
            noise = ((seed >> 16) & 63) - 32
            tri = abs((i * 3) % 400 - 200) * 100 - 10000
            seg = i // 3000
            if seg == 1:
                v = 0  # silence: constant subframes
            elif seg == 2:
                v = (tri // 256) * 256  # low bits zero: wasted bits
            elif seg == 3:
                v = ((seed >> 8) & 0xFFFF) - 32768  # full-scale noise: verbatim subframes
            elif c == 1:
                v = tri + noise + 500  # close to the other channel: stereo decorrelation
            else:
                v = tri + noise
            row.append(v << (bits - 16))
        out.append(row)
    return out


def write(name, frames, channels, bits, flags):
    data = signal(frames, channels, bits)
    fmt = '<' + ('h' if bits == 16 else 'i') * channels
    raw = b''
    for row in data:
        if bits == 16:
            raw += struct.pack(fmt, *row)
        else:
            raw += b''.join(struct.pack('<i', v)[:3] for v in row)
    with wave.open('tmp.wav', 'wb') as w:
        w.setnchannels(channels)
        w.setsampwidth(bits // 8)
        w.setframerate(44100)
        w.writeframes(raw)
    subprocess.run(['flac', '-s', '-f', *flags, '-o', name, 'tmp.wav'], check=True)


write('stereo16.flac', 15000, 2, 16, ['-8'])
write('stereo16-fixed.flac', 15000, 2, 16, ['-0', '--blocksize=1152'])
write('mono24.flac', 15000, 1, 24, ['-5'])
subprocess.run(['sox', '-n', '-r', '22050', '-c', '1', 'tone440.ogg', 'synth', '0.5', 'sine', '440',
                'vol', '0.5'], check=True)
subprocess.run(['rm', '-f', 'tmp.wav'], check=True)
