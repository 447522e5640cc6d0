#!/usr/bin/env bash
# Screenshots of the converter window of a running Harmolith under Wine: the empty list with its
# help text, and a list of three files while a batch runs (progress bar and log). The window is
# posed by a test of test_app (ConverterProcessTest.DISABLED_PosesForScreenshots).
# Usage: scripts/converter-shots.sh   (needs build/win64; writes build/shots/converter-*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/shots"
mkdir -p "$out"
rm -f "$out"/converter-*.pose "$out"/converter-*.done "$out"/converter-*.png

source "$root/scripts/wine-env.sh"
set +e
hml_wine_start
set -e
trap hml_wine_stop EXIT

HML_SHOTS_DIR="$out" WINEDEBUG=-all wine "$root/build/win64/tests/app/test_app.exe" \
    --gtest_also_run_disabled_tests --gtest_filter=ConverterProcessTest.DISABLED_PosesForScreenshots >"$out/converter-shots.log" 2>&1 &
poser=$!
for name in converter-empty converter-running; do
    for _ in $(seq 600); do
        [ -f "$out/$name.pose" ] && break
        sleep 0.2
    done
    import -display "$DISPLAY" -window root "$out/$name.png"
    touch "$out/$name.done"
    echo "$out/$name.png"
done
wait "$poser" || true
rm -f "$out"/converter-*.pose "$out"/converter-*.done
