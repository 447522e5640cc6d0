#!/usr/bin/env bash
# Runs Harmolith.exe under Wine as an installation would (the registry value "path", the
# installation folder with Harmolith.conf naming Debian's General MIDI SoundFont for port 1, the
# lang folder, the driver registered), plays a MIDI file into port 1 with the test client, and
# leaves what Wine played in a WAV file and a screenshot of the tray menu.
# Usage: scripts/synth-demo.sh [FILE.mid]   (needs build/win64; scripts/run.sh calls it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
song=${1:-/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid}
out="$root/build/demo"
mkdir -p "$out"

source "$root/scripts/wine-env.sh"
source "$root/scripts/synth-install.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT
winpath() { hml_winpath "$1"; }
hml_install_synth "$out/install"
hml_start_synth "$out/install" "$out/synth.log"
client="$root/build/win64/tools/midiclient/harmolith-client.exe"
start=$(stat -c %s "$HML_CAPTURE" 2>/dev/null || echo 0)
echo "playing $song into Harmolith #1 ..."
wine "$client" port=0 open "play=$(winpath "$song")" sleep=2500 close
sleep 1

# The tray menu: a right click on the notification area's icon.
DISPLAY=$DISPLAY xdotool mousemove 1268 790 click 3 >/dev/null 2>&1 || true
sleep 1
import -display "$DISPLAY" -window root "$out/tray-menu.png" 2>/dev/null || true
DISPLAY=$DISPLAY xdotool key Escape >/dev/null 2>&1 || true

tail -c +"$((start + 1))" "$HML_CAPTURE" >"$out/played.raw"
sox -t raw -r 48000 -e signed -b 16 -c 2 "$out/played.raw" "$out/harmolith.wav"
rm -f "$out/played.raw"
echo "Wine played: $out/harmolith.wav"
sox "$out/harmolith.wav" -n stats 2>&1 | grep -E 'Length|RMS lev|Pk lev' || true
echo "tray menu:   $out/tray-menu.png"

# What Wine played against the offline render of the same song and font (scripts/run.sh renders
# it first).
reference="$root/build/render/$(basename "${song%.*}").wav"
compare="$root/build/release/tools/compare/harmolith-compare"
if [ -f "$reference" ] && [ -x "$compare" ]; then
    echo
    echo "The recording against the offline render ($reference):"
    "$compare" "$reference" "$out/harmolith.wav" || true
fi
