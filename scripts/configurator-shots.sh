#!/usr/bin/env bash
# Screenshots of the configurator, every page in English and German, and of the SoundFont
# editor. The windows are posed by a test of test_configurator_window
# (ConfiguratorTest.DISABLED_PosesForScreenshots).
# Usage: scripts/configurator-shots.sh [out-dir]   (needs build/win64; default build/shots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/build/shots"}
mkdir -p "$out"
rm -f "$out"/cfg*.pose "$out"/cfg*.done

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT

HML_SHOTS_DIR="$out" WINEDEBUG=-all wine "$root/build/win64/tests/configurator/test_configurator_window.exe" \
    --gtest_also_run_disabled_tests --gtest_filter=ConfiguratorTest.DISABLED_PosesForScreenshots >"$out/cfg1-shots.log" 2>&1 &
poser=$!
pages="midi options shortcuts updates about"
names="cfg1-soundfonts-en $(for p in $pages; do printf 'cfg-frame-%s-en ' "$p"; done)"
names+="cfg1-soundfonts-de $(for p in $pages; do printf 'cfg-frame-%s-de ' "$p"; done)"
for name in $names cfg1-editor-de cfg1-editor-en; do
    for _ in $(seq 600); do
        [ -f "$out/$name.pose" ] && break
        sleep 0.2
    done
    import -display "$DISPLAY" -window root "$out/$name.png"
    touch "$out/$name.done"
    echo "$out/$name.png"
done
wait "$poser" || true
rm -f "$out"/cfg*.pose "$out"/cfg*.done
