#!/usr/bin/env bash
# FluidR3_GM converted to SFZ by polyphone (one instrument per program, a folder per bank)
# against FluidR3_GM.sf2 itself, both rendered by us at 48 kHz: integrated loudness difference
# and 50 ms RMS envelope correlation per song. The SFZ set is mapped through list entries: program
# N of bank B as preset N of bank B, drum kits as presets of bank 128.
# Goal: correlation >= 0.95 and loudness within 1 dB on every song. Builds the optimised tools
# first (build/release). Usage:
#   bench/render/sfz_vs_sf2.sh [FILE.mid...]
# Environment: HML_BENCH_SF2 (font), HML_BENCH_SFZ_DIR (keeps the conversion between runs),
# HML_BENCH_SFZ_RESCALE=1: polyphone writes an attenuation of N cB as volume=-0.01588*N dB where
# the SoundFont (as FluidSynth and we play it) attenuates 0.04 dB per cB; this rescales its
# volume opcodes, to tell the converter's loss from ours.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
font=${HML_BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
files=("$@")
[ ${#files[@]} -eq 0 ] && files=(/usr/share/games/openttd/baseset/openmsx/*.mid)
"$root/scripts/setup.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target hml_render_list hml_fidelity | sed '/^\[/d; /no work to do/d'
render="$build/bench/render/hml_render_list"
fidelity="$build/bench/render/hml_fidelity"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sfz=${HML_BENCH_SFZ_DIR:-$tmp/sfz}
stem=$(basename "${font%.*}")
if [ ! -d "$sfz/$stem" ]; then
    mkdir -p "$sfz"
    QT_QPA_PLATFORM=offscreen polyphone -3 -i "$font" -d "$sfz" -c 110 >/dev/null
fi
if [ "${HML_BENCH_SFZ_RESCALE:-0}" = 1 ]; then
    mkdir -p "$tmp/rescaled"
    cp -r "$sfz/$stem" "$tmp/rescaled/"
    find "$tmp/rescaled" -name '*.sfz' -print0 | xargs -0 python3 -c '
import re, sys
for path in sys.argv[1:]:
    text = open(path, encoding="latin-1").read()
    text = re.sub(r"^volume=(-?[0-9.]+)", lambda m: "volume=%.4f" % (float(m.group(1)) * 0.04 / 0.01588), text, flags=re.M)
    open(path, "w", encoding="latin-1").write(text)'
    sfz="$tmp/rescaled"
fi
echo "-1 0 $font" >"$tmp/sf2.list"
: >"$tmp/sfz.list"
for dir in "$sfz/$stem"/[0-9][0-9][0-9]; do
    bank=$((10#$(basename "$dir")))
    for f in "$dir"/*.sfz; do
        program=$((10#$(basename "$f" | cut -c1-3)))
        echo "$program $bank $f" >>"$tmp/sfz.list"
    done
done
echo "$(wc -l <"$tmp/sfz.list") SFZ instruments from $font"
mkdir -p "$tmp/sf2" "$tmp/sfzout"
t0=$(date +%s.%N)
"$render" "$tmp/sf2.list" "$tmp/sf2" "${files[@]}"
t1=$(date +%s.%N)
"$render" "$tmp/sfz.list" "$tmp/sfzout" "${files[@]}"
t2=$(date +%s.%N)
# The peer renders the SF2 with the same voice limit and linear interpolation, one file at a time.
echo "interp 1" >"$tmp/linear.cmd"
for f in "${files[@]}"; do
    fluidsynth -q -F "$tmp/fs.wav" -r 48000 -o synth.polyphony=256 -f "$tmp/linear.cmd" \
        -i "$font" "$f" >/dev/null 2>&1
done
t3=$(date +%s.%N)
printf 'render wall time: ours SF2 %.1f s, ours SFZ %.1f s, FluidSynth SF2 %.1f s (loading included)\n' \
    "$(echo "$t1 - $t0" | bc)" "$(echo "$t2 - $t1" | bc)" "$(echo "$t3 - $t2" | bc)"
printf 'speed against FluidSynth on the SF2: ours SF2 %.2fx, ours SFZ %.2fx\n' \
    "$(echo "($t3 - $t2) / ($t1 - $t0)" | bc -l)" "$(echo "($t3 - $t2) / ($t2 - $t1)" | bc -l)"
printf '%-28s %8s %8s %7s %6s\n' file sf2_LUFS sfz_LUFS dLUFS env_r
failed=0 worst_db=0 worst_r=1
for f in "${files[@]}"; do
    name=$(basename "${f%.*}")
    read -r a b ddb r < <("$fidelity" "$tmp/sfzout/$name.wav" "$tmp/sf2/$name.wav")
    printf '%-28.28s %8.2f %8.2f %+7.2f %6.3f\n' "$name" "$b" "$a" "$ddb" "$r"
    worst_db=$(awk -v d="$ddb" -v w="$worst_db" 'BEGIN { d = d < 0 ? -d : d; print (d > w ? d : w) }')
    worst_r=$(awk -v r="$r" -v w="$worst_r" 'BEGIN { print (r < w ? r : w) }')
    if awk -v d="$ddb" -v r="$r" 'BEGIN { exit !((d > 1 || d < -1) || r < 0.95) }'; then
        failed=$((failed + 1))
    fi
done
printf 'largest loudness difference %.2f dB; lowest envelope correlation %.3f\n' "$worst_db" \
    "$worst_r"
[ "$failed" -eq 0 ] || { echo "$failed song(s) outside 1 dB / 0.95"; exit 1; }
