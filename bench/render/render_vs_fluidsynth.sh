#!/usr/bin/env bash
# CPU seconds per second of audio of harmolith-render against FluidSynth, rendering the same MIDI
# files with the same SoundFont at 48 kHz to 16-bit WAV. Builds the optimised renderer first
# (build/release, only its target). Usage:
#   bench/render/render_vs_fluidsynth.sh [FILE.mid...]
# Default files: OpenTTD's openMSX set; font: FluidR3_GM. Prints one line per file and the
# ratio of the totals (ours / FluidSynth; below 1 means we use less CPU).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
font=${HML_BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
files=("$@")
[ ${#files[@]} -eq 0 ] && files=(/usr/share/games/openttd/baseset/openmsx/*.mid)
command -v fluidsynth >/dev/null || { echo "fluidsynth is not installed" >&2; exit 2; }

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target harmolith-render | sed '/^\[/d'
render="$build/tools/render/harmolith-render"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# CPU seconds (user + system) of a command, from bash's own timing of it.
cpu() {
    local TIMEFORMAT='%3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'
}

ours_cpu=0 ours_audio=0 fs_cpu=0 fs_audio=0
printf '%-32s %10s %10s %10s %10s\n' file ours_cpu/s fs_cpu/s ours_len fs_len
for f in "${files[@]}"; do
    name=$(basename "${f%.*}")
    a=$(cpu "$render" --sf2 "$font" --rate 48000 --format wav16 --out "$tmp" "$f")
    la=$(soxi -D "$tmp/$name.wav")
    b=$(cpu fluidsynth -F "$tmp/$name.fs.wav" -r 48000 -q -i "$font" "$f")
    lb=$(soxi -D "$tmp/$name.fs.wav")
    rm -f "$tmp/$name.wav" "$tmp/$name.fs.wav"
    printf '%-32.32s %10.4f %10.4f %10.1f %10.1f\n' "$name" "$(echo "$a / $la" | bc -l)" \
        "$(echo "$b / $lb" | bc -l)" "$la" "$lb"
    ours_cpu=$(echo "$ours_cpu + $a" | bc); ours_audio=$(echo "$ours_audio + $la" | bc)
    fs_cpu=$(echo "$fs_cpu + $b" | bc); fs_audio=$(echo "$fs_audio + $lb" | bc)
done
ours=$(echo "$ours_cpu / $ours_audio" | bc -l)
theirs=$(echo "$fs_cpu / $fs_audio" | bc -l)
printf 'total: ours %.4f, fluidsynth %.4f CPU s per audio s; ratio %.2f\n' "$ours" "$theirs" \
    "$(echo "$ours / $theirs" | bc -l)"
