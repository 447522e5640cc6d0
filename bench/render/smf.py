"""Standard MIDI File writing for the benchmark generators."""
import struct


def var_len(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def track(events):
    """events: (tick, bytes) pairs; returns an MTrk chunk ending with End of Track. At one tick,
    note-offs come before the other events."""
    data = b""
    now = 0
    for tick, msg in sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 != 0x80)):
        data += var_len(tick - now) + msg
        now = tick
    data += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def write(path, tracks, ppq):
    """A format 1 file of the given MTrk chunks (format 0 when there is one)."""
    header = b"MThd" + struct.pack(">IHHH", 6, 0 if len(tracks) == 1 else 1, len(tracks), ppq)
    with open(path, "wb") as f:
        f.write(header + b"".join(tracks))
