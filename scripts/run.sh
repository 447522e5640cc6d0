#!/usr/bin/env bash
# The main job: installs what is needed, builds the programs it runs (no tests, sanitizers or
# 32-bit build: scripts/test.sh builds those), and renders a General MIDI song that a Debian
# package ships with our own synthesizer to a WAV file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh release:harmolith-render,harmolith-compare win64:Harmolith,harmolith-client

song=/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid
out="$root/build/render"
mkdir -p "$out"
echo
build/release/tools/render/harmolith-render --out "$out" "$song"
wav="$out/$(basename "${song%.*}").wav"
echo
echo "Rendered $song"
echo "      to $wav"
sox "$wav" -n stats 2>&1 | grep -E 'Length|RMS lev|Pk lev' || true
echo
echo
echo "Now the synth itself: Harmolith.exe under Wine, fed by a client process through the"
echo "shared memory as the driver would, its audio captured from Wine's ALSA output."
scripts/synth-demo.sh "$song"
echo
echo "The configurator and converter windows are still placeholders."
