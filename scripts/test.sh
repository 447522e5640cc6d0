#!/usr/bin/env bash
# Sets up the machine, builds every configuration and runs every test: native (sanitizers and
# bounded fuzzing) and the Windows x64 build under Wine in a throwaway prefix. Ends with the line
# "N passed, N failed" and a non-zero status when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh || { echo "0 passed, 1 failed"; exit 1; }
if ! scripts/build.sh native win64 win32; then
    echo "0 passed, 1 failed"
    exit 1
fi

passed=0
failed=0
# Adds the totals from one CTest run's summary line to passed/failed.
count() {
    local log=$1 line total bad
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        grep -q 'No tests were found' "$log" && return 0
        failed=$((failed + 1)) # the run itself broke
        return 0
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

echo "== native tests" >&2
ctest --test-dir build/native -j "$(nproc)" --output-on-failure 2>&1 | tee "$log_dir/native.log" | tail -n 25
count "$log_dir/native.log"

echo "== Windows tests under Wine" >&2
source scripts/wine-env.sh
if hml_wine_start; then
    # One at a time: several tests set the same machine-wide registry value. A test that fails
    # runs once more: now and then Wine fails to start a process at all (exit status without a
    # line of output); the log keeps both attempts.
    ctest --test-dir build/win64 -j 1 --output-on-failure --repeat until-pass:2 2>&1 |
        tee "$log_dir/wine.log" | tail -n 25
    count "$log_dir/wine.log"
else
    failed=$((failed + 1))
fi
hml_wine_stop

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
