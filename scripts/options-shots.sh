#!/usr/bin/env bash
# Screenshots of the Options page in a stand-in frame, the output device menu and the client
# blacklist editor, in English and German, posed by a test of test_configurator_window
# (OptionsPageTest.DISABLED_PosesForScreenshots).
# Usage: scripts/options-shots.sh   (needs build/win64; writes build/shots/cfg2-*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/shots"
mkdir -p "$out"
rm -f "$out"/cfg2-*.pose "$out"/cfg2-*.done "$out"/cfg2-*.png

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT

HML_SHOTS_DIR="$out" WINEDEBUG=-all wine "$root/build/win64/tests/configurator/test_configurator_window.exe" \
    --gtest_also_run_disabled_tests --gtest_filter=OptionsPageTest.DISABLED_PosesForScreenshots >"$out/cfg2-shots.log" 2>&1 &
poser=$!
for lang in en de; do
    for shot in options devicemenu blacklist blacklist-clients; do
        name="cfg2-$shot-$lang"
        for _ in $(seq 600); do
            [ -f "$out/$name.pose" ] && break
            sleep 0.2
        done
        read -r x y w h < <(tr -d '\r' <"$out/$name.pose")
        [ "$x" -lt 0 ] && { w=$((w + x)); x=0; }
        [ "$y" -lt 0 ] && { h=$((h + y)); y=0; }
        import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
        touch "$out/$name.done"
        echo "$out/$name.png"
    done
done
wait "$poser" || true
rm -f "$out"/cfg2-*.pose "$out"/cfg2-*.done
