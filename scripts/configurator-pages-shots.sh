#!/usr/bin/env bash
# Screenshots of the MIDI device, Shortcuts, Updates and About pages in English and German, each
# in a stand-in frame (PagesScreenshotTest.DISABLED_PosesForScreenshots of test_configurator_window).
# Usage: scripts/configurator-pages-shots.sh [output folder]   (needs build/win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-$root/build/shots}"
mkdir -p "$out"
rm -f "$out"/cfg3-*.pose "$out"/cfg3-*.done

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT

HML_SHOTS_DIR="$(winepath -w "$out")" WINEDEBUG=-all wine \
    "$root/build/win64/tests/configurator/test_configurator_window.exe" \
    --gtest_also_run_disabled_tests --gtest_filter=PagesScreenshotTest.DISABLED_PosesForScreenshots \
    >"$out/cfg3-shots.log" 2>&1 &
poser=$!
for lang in en de; do
    for page in midi midi-notice shortcuts updates about; do
        name="cfg3-$page-$lang"
        for _ in $(seq 600); do
            [ -f "$out/$name.pose" ] && break
            sleep 0.2
        done
        geometry=$(tr -d '\r\n' <"$out/$name.pose")
        import -display "$DISPLAY" -window root -crop "$geometry" +repage "$out/$name.png"
        touch "$out/$name.done"
        echo "$out/$name.png"
    done
done
wait "$poser" || true
rm -f "$out"/cfg3-*.pose "$out"/cfg3-*.done
