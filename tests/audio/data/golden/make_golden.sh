#!/usr/bin/env bash
# Writes the stored renders GoldenRenderTest compares with: run it only when a change to what is
# heard is intended and measured. Usage: make_golden.sh [TEST_AUDIO_BINARY]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-$here/../../../../build/native/tests/audio/test_audio}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
HML_GOLDEN_WRITE=$tmp "$binary" --gtest_filter='GoldenRenderTest.*' >/dev/null
for raw in "$tmp"/*.raw; do
    name=$(basename "${raw%.raw}")
    sox -t raw -e floating-point -b 32 -c 2 -r 32000 "$raw" -b 24 "$here/$name.flac"
done
ls -l "$here"/*.flac
