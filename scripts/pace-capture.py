#!/usr/bin/env python3
"""Takes the raw audio Wine plays into ALSA's file plugin and writes it to a file no faster
than a sound card would consume it, so that timing in the capture is real time. Every time the
device is opened again the audio is appended, so a test reads from where its own audio starts.

Usage: pace-capture.py OUTPUT [RATE [BYTES_PER_FRAME]]  (defaults: 48000 Hz, 4 bytes)
"""
import fcntl
import sys
import time

F_SETPIPE_SZ = 1031


def main():
    out_path = sys.argv[1]
    rate = int(sys.argv[2]) if len(sys.argv) > 2 else 48000
    frame = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    bytes_per_second = rate * frame
    # A sound card holds a little audio ahead; let the writer run this far in front.
    ahead = bytes_per_second // 50
    # A pipe normally buffers a third of a second of audio, which the writer would fill at
    # once; keep it to one page.
    try:
        fcntl.fcntl(sys.stdin.fileno(), F_SETPIPE_SZ, 4096)
    except OSError:
        pass
    start = None
    written = 0
    with open(out_path, "ab", buffering=0) as out:
        while True:
            chunk = sys.stdin.buffer.read(4096)
            if not chunk:
                break
            if start is None:
                start = time.monotonic()
            out.write(chunk)
            written += len(chunk)
            due = start + (written - ahead) / bytes_per_second
            delay = due - time.monotonic()
            if delay > 0:
                time.sleep(delay)


if __name__ == "__main__":
    main()
