#!/usr/bin/env bash
# Screenshots of windows posed by a disabled test under Wine. The test writes "<name>.pose" into
# HML_SHOTS_DIR for each pose, holding the screen rectangle to keep ("x y width height") or
# nothing for the whole screen, and waits for "<name>.done"; this script takes the picture.
# Usage: scripts/posed-shots.sh SET [out-dir]   (needs build/win64; default build/shots)
#   converter     the converter window of a running Harmolith: empty, and while a batch runs
#   configurator  the configurator frame, every page in English and German, and the editor
#   options       the Options page, the output device menu and the blacklist editor
#   pages         the MIDI device, Shortcuts, Updates and About pages
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
set_name=${1:?usage: posed-shots.sh converter|configurator|options|pages [out-dir]}
out=${2:-"$root/build/shots"}
both() { for lang in en de; do for shot in "$@"; do printf '%s-%s ' "$shot" "$lang"; done; done; }
case "$set_name" in
converter)
    exe=tests/app/test_app.exe filter=ConverterProcessTest
    names="converter-empty converter-running" ;;
configurator)
    exe=tests/configurator/test_configurator_window.exe filter=ConfiguratorTest
    names="cfg1-soundfonts-en $(for p in midi options shortcuts updates about; do printf 'cfg-frame-%s-en ' "$p"; done)"
    names+="cfg1-soundfonts-de $(for p in midi options shortcuts updates about; do printf 'cfg-frame-%s-de ' "$p"; done)"
    names+="cfg1-editor-de cfg1-editor-en" ;;
options)
    exe=tests/configurator/test_configurator_window.exe filter=OptionsPageTest
    names=$(both cfg2-options cfg2-devicemenu cfg2-blacklist cfg2-blacklist-clients) ;;
pages)
    exe=tests/configurator/test_configurator_window.exe filter=PagesScreenshotTest
    names=$(both cfg3-midi cfg3-midi-notice cfg3-shortcuts cfg3-updates cfg3-about) ;;
*)
    echo "posed-shots.sh: unknown set '$set_name'" >&2
    exit 2 ;;
esac
mkdir -p "$out"
for name in $names; do rm -f "$out/$name.pose" "$out/$name.done" "$out/$name.png"; done

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT

HML_SHOTS_DIR="$out" WINEDEBUG=-all wine "$root/build/win64/$exe" \
    --gtest_also_run_disabled_tests --gtest_filter="$filter.DISABLED_PosesForScreenshots" \
    >"$out/$set_name-shots.log" 2>&1 &
poser=$!
for name in $names; do
    for _ in $(seq 600); do
        [ -f "$out/$name.pose" ] && break
        sleep 0.2
    done
    crop=()
    if read -r x y w h < <(tr -d '\r' <"$out/$name.pose") && [ -n "${h:-}" ]; then
        # A window partly off screen keeps its visible part.
        [ "$x" -lt 0 ] && { w=$((w + x)); x=0; }
        [ "$y" -lt 0 ] && { h=$((h + y)); y=0; }
        crop=(-crop "${w}x${h}+${x}+${y}" +repage)
    fi
    import -display "$DISPLAY" -window root "${crop[@]}" "$out/$name.png"
    touch "$out/$name.done"
    echo "$out/$name.png"
done
wait "$poser" || true
for name in $names; do rm -f "$out/$name.pose" "$out/$name.done"; done
