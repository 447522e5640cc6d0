#!/usr/bin/env bash
# Note-to-sound latency of Harmolith under Wine: from a note-on written to the ring to its first
# sample reaching the sound server, median / 90th / 99th percentile over COUNT notes. First the
# floor of the set-up (a client that writes a click straight to the device when asked), then
# the synth at the default settings, with AdditionalBuffer 0 and 1000, and with a busy client
# (the port's fast mode). The synth's own share is its figure minus the floor.
# Usage: bench/latency/latency_bench.sh [COUNT]   (default 100)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
count=${1:-100}
cd "$root"
scripts/setup.sh
scripts/build.sh win64 >/dev/null

out="$root/build/latency"
mkdir -p "$out"
export HML_CAPTURE_TIMES="$out/times.txt"
rm -f "$HML_CAPTURE_TIMES"
source scripts/wine-env.sh
source scripts/synth-install.sh
set +e # some of the prefix's set-up steps answer non-zero
hml_wine_start
set -e
trap hml_wine_stop EXIT
bench="$root/build/win64/bench/latency/hml_latency_bench.exe"
run() {
    wine "$bench" "$@" "$(hml_winpath "$HML_CAPTURE")" "$(hml_winpath "$HML_CAPTURE_TIMES")"
}
# The busy flag goes last.
run_synth() {
    local label=$1 advanced=$2 busy=${3:-}
    hml_install_synth "$out/install" "$advanced"
    hml_start_synth "$out/install" "$out/synth.log"
    printf '%-34s' "$label"
    wine "$bench" synth "$count" "$(hml_winpath "$HML_CAPTURE")" \
        "$(hml_winpath "$HML_CAPTURE_TIMES")" $busy
    wine "$root/build/win64/tools/midiclient/harmolith-client.exe" >/dev/null 2>&1 || true
    wineserver -k >/dev/null 2>&1 || true
    sleep 1
    wineserver -p || true
}

printf '%-34s' "floor (click straight to device)"
run probe "$count"
run_synth "synth, default settings" ""
run_synth "synth, AdditionalBuffer=0" "AdditionalBuffer=0"
run_synth "synth, AdditionalBuffer=1000" "AdditionalBuffer=1000"
run_synth "synth, default, busy client" "" busy
