#!/usr/bin/env bash
# Screenshots of the mixer windows of a running Harmolith under Wine while a song plays into
# port 1: the mixer twice (lights and meter move), its context menu, and the mixers of ports 1
# and 2 docked to each other by dragging the second one against the first.
# Usage: scripts/mixer-shots.sh [FILE.mid]   (needs build/win64; writes build/shots/*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
song=${1:-/usr/share/games/openttd/baseset/openmsx/5432gone_redfarn.mid}
font=/usr/share/sounds/sf2/FluidR3_GM.sf2
out="$root/build/shots"
rm -rf "$out"
mkdir -p "$out/install/lang"
cp "$root/build/win64/src/app/Harmolith.exe" "$out/install/"
cp "$root"/lang/*.lang "$out/install/lang/"
cat >"$out/install/Harmolith.conf" <<CONF
[Advanced]
AdditionalBuffer=100
DevicesCount=2
[SoundFonts]
sf1=Z:${font//\//\\}
sf1.enabled=3
sf1.preload=0
[Mixer]
OpenStatus=1
ChannelVolume=100;90;100;80;100;100;70;100;100;100;100;100;100;100;100;100
[Windows]
Mixer=40,40,716,231
CONF

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT
winpath() { echo "Z:${1//\//\\}"; }
shot() { import -display "$DISPLAY" -window root "$out/$1.png"; echo "$out/$1.png"; }
wine reg add 'HKLM\SOFTWARE\Tarnwick Harmolith' /v path /t REG_SZ /d "$(winpath "$out/install")" /reg:64 /f >/dev/null 2>&1
for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' /v midi1 /t REG_SZ \
        /d Harmolith.dll /reg:$view /f >/dev/null 2>&1
done

wine explorer /desktop=hml,1280x800 "$(winpath "$out/install/Harmolith.exe")" >/dev/null 2>&1 &
client="$root/build/win64/tools/midiclient/harmolith-client.exe"
wine "$client" wait-for-synth=30000 >/dev/null
sleep 2
wine "$client" port=0 open "play=$(winpath "$song")" close >/dev/null 2>&1 &
player=$!

sleep 8
shot mixer-playing-1
sleep 1.3
shot mixer-playing-2

# The context menu: a right click on a strip.
xdotool mousemove 200 200 click 3
sleep 1.5
shot mixer-context-menu
xdotool key Escape
sleep 0.5

# Port 2's mixer from the tray menu (Mixers, then its second entry), then dragged by its caption
# to just below port 1's mixer, where it docks.
xdotool mousemove 1268 790 click 3
sleep 1
xdotool key Down Right Down Return
sleep 2
# It opens centred on the desktop: 705 x 223 at (287, 287). Grab its caption and bring its top
# edge within a caption height of the first mixer's bottom edge (263).
xdotool mousemove 450 298 mousedown 1
for step in 420,296 360,292 300,288 250,283 203,279; do
    sleep 0.2
    xdotool mousemove "${step%,*}" "${step#*,}"
done
sleep 0.3
xdotool mouseup 1
sleep 1
shot mixers-docked
