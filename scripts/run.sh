#!/usr/bin/env bash
# The main job: installs what is needed, builds every configuration, and renders a General MIDI
# song that a Debian package ships with our own synthesizer to a WAV file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh native win64 win32 release

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
echo "Also built: the Windows program build/win64/src/app/Harmolith.exe (x64, tested under Wine)"
echo "and build/win32/src/app/Harmolith.exe (x86). The synth process, its shared-memory server,"
echo "ports and audio output work (scripts/test.sh plays notes from a client process into it and"
echo "checks the audio); its mixer, configurator and converter windows are still placeholders."
