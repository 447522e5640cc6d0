#!/usr/bin/env python3
"""Appends the raw audio read from standard input (parec's output) to a file, flushing every chunk
at once so that tests see the audio as it is played. With a second argument, also writes one
line per chunk to that file: the time it arrived (CLOCK_MONOTONIC_RAW, in seconds, the clock of
Wine's QueryPerformanceCounter) and the capture's size in bytes after it.

Usage: record-capture.py OUTPUT [TIMES]
"""
import os
import sys
import time


def main():
    out_path = sys.argv[1]
    times_path = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
    source = sys.stdin.buffer.raw
    total = 0
    times = open(times_path, "a", buffering=1) if times_path else None
    with open(out_path, "ab", buffering=0) as out:
        while True:
            chunk = source.read(4096)
            if not chunk:
                break
            now = time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
            out.write(chunk)
            total += len(chunk)
            if times:
                times.write(f"{now:.6f} {total}\n")
    if times:
        times.close()


if __name__ == "__main__":
    main()
