#!/usr/bin/env bash
# Our FLAC decoder against the reference libFLAC (Debian's flac tool), in the same run: a render of
# an openMSX song as 16-bit stereo and as 24-bit mono FLAC, each decoded to memory by ours and to
# /dev/null by `flac -d` (best of five CPU times), encoded without an MD5 sum so that libFLAC
# only decodes, as ours does. Prints seconds and the ratio (libFLAC / ours;
# above 1 means ours is faster). Builds the optimised tools first (build/release).
# Usage: bench/decode/decode_vs_libflac.sh [FILE.mid]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
song=${1:-/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid}
"$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target hml_decode_bench harmolith-render | sed '/^\[/d; /no work to do/d'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/render/harmolith-render" -q -o "$tmp/song.wav" --format wav24 "$song" >/dev/null
sox "$tmp/song.wav" -b 16 "$tmp/stereo16.wav"
sox "$tmp/song.wav" -b 24 -c 1 "$tmp/mono24.wav"
flac -s -5 --no-md5-sum -o "$tmp/stereo16.flac" "$tmp/stereo16.wav"
flac -s -8 --no-md5-sum -o "$tmp/mono24.flac" "$tmp/mono24.wav"
cpu() {
    local TIMEFORMAT='%3U %3S' best= v
    for _ in 1 2 3 4 5; do
        v=$({ time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        best=$(awk -v v="$v" -v m="$best" 'BEGIN { print (m == "" || v < m ? v : m) }')
    done
    echo "$best"
}
printf '%-14s %8s %8s %8s\n' file ours_s libflac_s ratio
for f in stereo16 mono24; do
    ours=$("$build/bench/decode/hml_decode_bench" "$tmp/$f.flac" | awk '{ print $(NF-1) }')
    theirs=$(cpu flac -s -d -f -o /dev/null "$tmp/$f.flac")
    printf '%-14s %8.3f %8.3f %7.2fx\n' "$f" "$ours" "$theirs" "$(echo "$theirs / $ours" | bc -l)"
done
