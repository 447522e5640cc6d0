#!/usr/bin/env bash
# Loudness of single presets, harmolith-render against Debian's FluidSynth with the same font in
# the same run: the resonant-filter presets and a few plain ones for contrast. Reverb and chorus
# are off on both, so the figure is the voice itself. Prints "preset ours-LUFS theirs-LUFS
# difference correlation" per row.
# Usage: bench/render/preset_loudness_vs_fluidsynth.sh
# Environment: HML_BENCH_SF2 (font, default FluidR3_GM), HML_RENDER (a harmolith-render to
# measure instead of the one built from this tree, e.g. an older build for a before/after table).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
font=${HML_BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target harmolith-render hml_fidelity | sed '/^\[/d; /no work to do/d'
render=${HML_RENDER:-$build/tools/render/harmolith-render}
fidelity="$build/bench/render/hml_fidelity"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# name:program (or name:drums:keys, comma-separated)
presets=("Charang:84" "Sweep Pad:95" "Sitar:104" "Synth Bass 1:38" "Synth Brass 1:62"
         "Calliope:82" "Bowed Glass:92" "Hi-hats:drums:42,44,46" "Piano:0" "Strings:48"
         "Flute:73")
printf '%-16s %8s %8s %7s %6s\n' preset ours theirs diff corr
for entry in "${presets[@]}"; do
    IFS=: read -r name program keys <<<"$entry"
    mid="$tmp/p.mid"
    if [ "$program" = drums ]; then
        python3 "$root/bench/render/make_preset_mid.py" "$mid" drums ${keys//,/ }
    else
        python3 "$root/bench/render/make_preset_mid.py" "$mid" "$program"
    fi
    "$render" -q --sf2 "$font" --rate 48000 -R 0 -C 0 --out "$tmp" "$mid" >/dev/null
    fluidsynth -q -F "$tmp/theirs.wav" -r 48000 -R 0 -C 0 -i "$font" "$mid" >/dev/null 2>&1
    read -r a b d c < <("$fidelity" "$tmp/p.wav" "$tmp/theirs.wav")
    printf '%-16s %8s %8s %7s %6s\n' "$name" "$a" "$b" "$d" "$c"
done
