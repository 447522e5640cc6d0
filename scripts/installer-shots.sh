#!/usr/bin/env bash
# Screenshots of the setup on a Wine desktop: each page of an install with the defaults, the
# SoundFont page of an install without the bundled font, and the Start-menu folder it made.
# Usage: scripts/installer-shots.sh [out-dir]   (needs build/win64 with the setup; default
# build/shots). Files: installer-<n>-<page>.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/build/shots"}
setup="$root/build/win64/installer/harmolith-setup.exe"
[ -f "$setup" ] || { echo "installer-shots.sh: build the setup first (build.sh win64)" >&2; exit 1; }
mkdir -p "$out"

source "$root/scripts/wine-env.sh"
trap hml_wine_stop EXIT
trap 'exit 1' TERM INT
hml_wine_start

# Pages are driven from the keyboard: Return is each page's default button. Keys go to the window
# under the pointer, so the pointer rests on the desktop.
key() { xdotool mousemove 640 400 key "$@"; sleep 1.5; }
shot() { import -window root "$out/installer-$1.png"; echo "$out/installer-$1.png"; }
desktop() { wine explorer /desktop=hml,1280x800 "$@" >/dev/null 2>&1 & }

cp "$setup" "$HML_WINE_ROOT/setup.exe"
desktop "$HML_WINE_ROOT/setup.exe"
sleep 6
shot 1-welcome
key Return
key Down # the SoundFont, with its description
shot 2-components
key Return
shot 3-soundfont-licence
key Return
shot 4-folder
key Return
sleep 6 # installing
shot 5-installed
key Return
shot 6-finish
key Return # Finish, opening the configurator as offered
sleep 5
shot 7-configurator
xdotool mousemove 879 579 click 1 # its Cancel
sleep 1

# The Start menu: the desktop's taskbar shows once the synth's tray icon is there.
xdotool mousemove 25 790 click 1
sleep 1
xdotool mousemove 40 728
sleep 1
xdotool mousemove 120 728 mousemove 135 728
sleep 1.5
shot 8-start-menu
key Escape
key Escape
key Escape

# Again, without the bundled font: the page where the user names a SoundFont.
desktop "$HML_WINE_ROOT/setup.exe"
sleep 6
key Return
key Down
key space # untick TimGM6mb
key Return
shot 9-own-soundfont
key Escape
key Return # yes, quit
