#!/usr/bin/env bash
# harmolith-render on four files with -j 1 and with -j N (default 2): wall time of each (best of
# three) and whether the outputs are byte-identical. FluidR3_GM, 48 kHz, 16-bit WAV.
# Usage: bench/render/jobs_scaling.sh [N] [FILE.mid x4]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${1:-2}
shift || true
files=("$@")
[ ${#files[@]} -eq 0 ] && files=($(ls /usr/share/games/openttd/baseset/openmsx/*.mid | head -n 4))
font=${HML_BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target harmolith-render | sed '/^\[/d; /no work to do/d'
render="$build/tools/render/harmolith-render"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
wall() { # wall JOBS DIR: best of three wall-clock seconds
    local best= t TIMEFORMAT=%R
    mkdir -p "$2"
    for _ in 1 2 3; do
        t=$( { time "$render" --sf2 "$font" -q -j "$1" --out "$2" "${files[@]}" >/dev/null \
            2>&1; } 2>&1)
        best=$(awk -v v="$t" -v m="$best" 'BEGIN { print (m == "" || v < m ? v : m) }')
    done
    echo "$best"
}
one=$(wall 1 "$tmp/one")
many=$(wall "$jobs" "$tmp/many")
same=yes
for f in "$tmp"/one/*; do
    cmp -s "$f" "$tmp/many/$(basename "$f")" || same=no
done
printf 'four files: -j 1 %.2f s, -j %d %.2f s wall; ratio %.2f; outputs identical: %s\n' \
    "$one" "$jobs" "$many" "$(echo "$many / $one" | bc -l)" "$same"
