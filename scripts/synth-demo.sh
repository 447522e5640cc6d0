#!/usr/bin/env bash
# Runs Harmolith.exe under Wine as an installation would (the registry value "path", the
# installation folder with Harmolith.conf naming Debian's General MIDI SoundFont for port 1, the
# lang folder, the driver registered), plays a MIDI file into port 1 with the test client, and
# leaves what Wine played in a WAV file and a screenshot of the tray menu.
# Usage: scripts/synth-demo.sh [FILE.mid]   (needs build/win64; scripts/run.sh calls it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
song=${1:-/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid}
font=/usr/share/sounds/sf2/FluidR3_GM.sf2
out="$root/build/demo"
rm -rf "$out"
mkdir -p "$out/install/lang"
cp "$root/build/win64/src/app/Harmolith.exe" "$out/install/"
cp "$root"/lang/*.lang "$out/install/lang/"
cat >"$out/install/Harmolith.conf" <<CONF
[Advanced]
AdditionalBuffer=100
[SoundFonts]
sf1=Z:${font//\//\\}
sf1.enabled=1
sf1.preload=0
CONF

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT
winpath() { echo "Z:${1//\//\\}"; }
wine reg add 'HKLM\SOFTWARE\Tarnwick Harmolith' /v path /t REG_SZ /d "$(winpath "$out/install")" /reg:64 /f >/dev/null 2>&1
for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' /v midi1 /t REG_SZ \
        /d Harmolith.dll /reg:$view /f >/dev/null 2>&1
done

wine explorer /desktop=hml,1280x800 "$(winpath "$out/install/Harmolith.exe")" >"$out/synth.log" 2>&1 &
client="$root/build/win64/tools/midiclient/harmolith-client.exe"
wine "$client" wait-for-synth=30000 >/dev/null
sleep 1
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
