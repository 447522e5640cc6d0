#!/usr/bin/env bash
# harmolith-render against Debian's FluidSynth, both rendering offline with FluidR3_GM at 48 kHz,
# effects on, linear interpolation and the same voice limit, measured in the same run.
#   1. Real music (OpenTTD's openMSX set, or the files given): CPU seconds per audio second of
#      each, and how closely the renderings agree: integrated loudness difference (LUFS) and the
#      correlation of 50 ms RMS envelopes. Every file must render, decode and not be silent.
#   2. A generated dense General MIDI piece (bench/render/make_dense_gm.py), the same measures.
#   3. A generated stress file (16 channels, hundreds of notes at once) at several voice limits:
#      voices per core at real time, after subtracting each synthesizer's start-up cost.
# Builds the optimised tools first (build/release). Usage:
#   bench/render/render_vs_fluidsynth.sh [FILE.mid...]
# Environment: HML_BENCH_SF2 (font), HML_BENCH_VOICES (limit of part 1, default 256),
# HML_BENCH_LIMITS (part 3, default "128 512 1024"), HML_BENCH_STRESS_SECONDS (default 20),
# HML_BENCH_DENSE_SECONDS (part 2, default 180),
# HML_BENCH_NO_CHORUS=1 (part 1 with both choruses off: FluidSynth's returns far louder than ours,
# which hides every other difference on fonts with large chorus sends).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
font=${HML_BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
voices=${HML_BENCH_VOICES:-256}
limits=${HML_BENCH_LIMITS:-128 512 1024}
stress_seconds=${HML_BENCH_STRESS_SECONDS:-20}
files=("$@")
[ ${#files[@]} -eq 0 ] && files=(/usr/share/games/openttd/baseset/openmsx/*.mid)
# A fresh machine gets the peers and the music first (quiet when everything is there).
"$root/scripts/setup.sh"
for tool in fluidsynth sox soxi bc python3; do
    command -v $tool >/dev/null || { echo "$tool is not installed (scripts/setup.sh)" >&2; exit 2; }
done

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF >/dev/null
cmake --build "$build" -j "${HML_JOBS:-2}" --target harmolith-render hml_fidelity | sed '/^\[/d; /no work to do/d'
render="$build/tools/render/harmolith-render"
fidelity="$build/bench/render/hml_fidelity"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# FluidSynth's default is 4th-order interpolation; its shell command sets linear, like ours.
echo "interp 1" >"$tmp/linear.cmd"

# CPU seconds (user + system) of a command, from bash's own timing of it; fails with it.
cpu() {
    local TIMEFORMAT='%3U %3S' out
    out=$({ time "$@" >/dev/null 2>"$tmp/err"; } 2>&1) || { cat "$tmp/err" >&2; return 1; }
    echo "$out" | awk '{ print $1 + $2 }'
}
ours_fx=() theirs_fx=()
if [ "${HML_BENCH_NO_CHORUS:-0}" = 1 ]; then
    ours_fx=(--chorus 0) theirs_fx=(-C 0)
fi
ours() { # ours LIMIT IN.mid -> IN's name .wav in $tmp
    cpu "$render" --sf2 "$font" --rate 48000 --voices "$1" --format wav16 "${ours_fx[@]}" \
        --out "$tmp" "$2"
}
theirs() { # theirs LIMIT IN.mid OUT.wav
    cpu fluidsynth -q -F "$3" -r 48000 -o synth.polyphony="$1" -f "$tmp/linear.cmd" \
        "${theirs_fx[@]}" -i "$font" "$2"
}
div() { echo "scale=6; $1 / $2" | bc -l; }
# Best of three runs of a command: the cheapest is the one least disturbed by the rest of the
# machine.
best() {
    local v m=
    for _ in 1 2 3; do
        v=$("$@")
        m=$(awk -v v="$v" -v m="$m" 'BEGIN { print (m == "" || v < m ? v : m) }')
    done
    echo "$m"
}

chorus="effects on"
[ ${#ours_fx[@]} -eq 0 ] || chorus="reverb on, chorus off"
# music TITLE FILE...: the table of part 1 and its totals.
music() {
    local title=$1 f name a b wav rms len ddb r
    shift
    echo "== $title: FluidR3_GM, 48 kHz, $chorus, linear interpolation, $voices voices"
    printf '%-28s %9s %9s %7s %7s %7s %6s\n' file audio_s ours_cpu fs_cpu speed dLUFS env_r
    local ours_cpu=0 fs_cpu=0 audio=0 worst_db=0 worst_r=1 slowest=
    for f in "$@"; do
        name=$(basename "${f%.*}")
        if ! a=$(ours "$voices" "$f"); then
            echo "FAILED: harmolith-render could not render $f"
            failed=$((failed + 1))
            continue
        fi
        wav="$tmp/$name.wav"
        rms=$(sox "$wav" -n stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
        if [ -z "$rms" ] || [ "$(echo "$rms < -60" | bc -l)" = 1 ]; then
            echo "FAILED: $f rendered silent or undecodable (RMS $rms dB)"
            failed=$((failed + 1))
        fi
        b=$(theirs "$voices" "$f" "$tmp/$name.fs.wav")
        len=$(soxi -D "$wav")
        read -r _ _ ddb r < <("$fidelity" "$wav" "$tmp/$name.fs.wav")
        rm -f "$wav" "$tmp/$name.fs.wav"
        printf '%-28.28s %9.1f %9.3f %7.3f %6.2fx %+7.2f %6.3f\n' "$name" "$len" "$a" "$b" \
            "$(div "$b" "$a")" "$ddb" "$r"
        ours_cpu=$(echo "$ours_cpu + $a" | bc)
        fs_cpu=$(echo "$fs_cpu + $b" | bc)
        audio=$(echo "$audio + $len" | bc)
        worst_db=$(awk -v d="$ddb" -v w="$worst_db" 'BEGIN { d = d < 0 ? -d : d; print (d > w ? d : w) }')
        worst_r=$(awk -v r="$r" -v w="$worst_r" 'BEGIN { print (r < w ? r : w) }')
        slowest=$(awk -v s="$(div "$b" "$a")" -v m="$slowest" 'BEGIN { print (m == "" || s < m ? s : m) }')
    done
    printf 'total: %.1f s of audio; CPU per audio second ours %.4f, FluidSynth %.4f\n' "$audio" \
        "$(div "$ours_cpu" "$audio")" "$(div "$fs_cpu" "$audio")"
    printf 'speed ratio (FluidSynth CPU / ours): %.2fx overall, %.2fx on the slowest file; largest loudness difference %.2f dB; lowest envelope correlation %.3f\n' \
        "$(div "$fs_cpu" "$ours_cpu")" "$slowest" "$worst_db" "$worst_r"
}
failed=0
music "Real music" "${files[@]}"
echo
# Dense music stresses the engine as the openMSX set does not: a generated General MIDI piece with
# long sustained layers on every channel, 200-400 voices at once.
python3 "$root/bench/render/make_dense_gm.py" "$tmp/dense_gm.mid" "${HML_BENCH_DENSE_SECONDS:-180}"
music "Dense music" "$tmp/dense_gm.mid"

echo
echo "== Voices per core at real time: stress file of $stress_seconds s, 16 channels"
python3 "$root/bench/render/make_stress_mid.py" "$tmp/stress.mid" "$stress_seconds"
python3 "$root/bench/render/make_stress_mid.py" "$tmp/idle.mid" 1 1
# Start-up cost (loading the font, the first block) measured on a one-second file.
ours_idle=$(best ours 64 "$tmp/idle.mid")
fs_idle=$(best theirs 64 "$tmp/idle.mid" "$tmp/idle.fs.wav")
printf '%-8s %12s %12s %7s\n' limit ours fluidsynth ratio
for limit in $limits; do
    a=$(best ours "$limit" "$tmp/stress.mid")
    b=$(best theirs "$limit" "$tmp/stress.mid" "$tmp/stress.fs.wav")
    va=$(echo "$limit * $stress_seconds / ($a - $ours_idle)" | bc -l)
    vb=$(echo "$limit * $stress_seconds / ($b - $fs_idle)" | bc -l)
    printf '%-8s %12.0f %12.0f %6.2fx\n' "$limit" "$va" "$vb" "$(div "$va" "$vb")"
done
rm -f "$tmp"/stress*.wav "$tmp"/idle*.wav
[ "$failed" -eq 0 ] || { echo "$failed file(s) failed"; exit 1; }
