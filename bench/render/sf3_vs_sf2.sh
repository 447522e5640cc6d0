#!/usr/bin/env bash
# Compressed SoundFonts (SF3) against their sources and against FluidSynth, offline at 48 kHz
# with reverb and chorus off, measured in the same run with hml_fidelity (loudness difference in
# LU and the correlation of 50 ms RMS envelopes):
#   1. FluidR3_GM's SF3 conversion (sf3convert -z, made here) against FluidR3_GM.sf2, both ours.
#   2. The MuseScore General SF3 (Debian), ours against FluidSynth.
#   3. Loading time of each SF3: a one-note file rendered by each synthesizer (best of three).
# Usage: bench/render/sf3_vs_sf2.sh [FILE.mid...]   (default: OpenTTD's openMSX songs)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
muse=/usr/share/sounds/sf3/MuseScore_General_Lite.sf3
files=("$@")
[ ${#files[@]} -eq 0 ] && files=(/usr/share/games/openttd/baseset/openmsx/*.mid)
"$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target harmolith-render hml_fidelity | sed '/^\[/d; /no work to do/d'
render="$build/tools/render/harmolith-render"
fidelity="$build/bench/render/hml_fidelity"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sf3="$tmp/FluidR3_GM.sf3"
sf3convert -z "$sf2" "$sf3" >/dev/null 2>&1
mkdir -p "$tmp/a" "$tmp/b" "$tmp/c"

ours() { "$render" -q --sf2 "$1" --rate 48000 -R 0 -C 0 --out "$2" "$3" >/dev/null; }
printf '%-34s %22s %22s\n' song "SF3/SF2 (ours) LU corr" "MuseScore ours/Fluid"
for mid in "${files[@]}"; do
    name=$(basename "$mid" .mid)
    ours "$sf2" "$tmp/a" "$mid"
    ours "$sf3" "$tmp/b" "$mid"
    ours "$muse" "$tmp/c" "$mid"
    fluidsynth -q -F "$tmp/fluid.wav" -r 48000 -R 0 -C 0 -i "$muse" "$mid" >/dev/null 2>&1
    read -r _ _ d1 c1 < <("$fidelity" "$tmp/b/$name.wav" "$tmp/a/$name.wav")
    read -r _ _ d2 c2 < <("$fidelity" "$tmp/c/$name.wav" "$tmp/fluid.wav")
    printf '%-34s %15s %6s %15s %6s\n' "$name" "$d1" "$c1" "$d2" "$c2"
done

# Loading: one short note, so the time is the font's load (decoding every sample).
python3 "$root/bench/render/make_preset_mid.py" "$tmp/one.mid" drums 42
best() {
    local b=999999 t
    for _ in 1 2 3; do
        t=$( { TIMEFORMAT='%3R'; time "$@" >/dev/null 2>&1; } 2>&1 )
        b=$(echo "if ($t < $b) $t else $b" | bc -l)
    done
    echo "$b"
}
for font in "$sf3" "$muse"; do
    a=$(best "$render" -q --sf2 "$font" --rate 48000 --out "$tmp" "$tmp/one.mid")
    b=$(best fluidsynth -q -F "$tmp/one-fluid.wav" -r 48000 -i "$font" "$tmp/one.mid")
    printf 'load %-28s ours %6.2f s  FluidSynth %6.2f s  ratio %.2f\n' "$(basename "$font")" \
        "$a" "$b" "$(echo "$a / $b" | bc -l)"
done
