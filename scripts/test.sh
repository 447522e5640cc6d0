#!/usr/bin/env bash
# Sets up the machine, builds every configuration, checks the formatting (one failure when a file
# is not formatted) and runs every test: native (sanitizers and bounded fuzzing), the
# allocation-counting tests in a build without sanitizers, and the Windows x64 build under Wine
# in a throwaway prefix. Ends with the line
# "N passed, N failed, N skipped, N flaky" and a non-zero status when anything failed.
# A skipped test lacked its material; with CI=true (where all material is installed) a skip
# counts as a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

summary() { echo "$passed passed, $failed failed, $skipped skipped, $flaky flaky"; }
passed=0
failed=0
skipped=0
flaky=0

# Tests that count allocations; AddressSanitizer replaces the allocator, so they run in the
# plain build only.
allocation_tests='AllocateNothing'

if ! scripts/setup.sh || ! scripts/build.sh native win64 win32 plain:test_audio; then
    failed=1
    summary
    exit 1
fi

# Adds one CTest run's results to the totals. CTest counts a skipped test as passed; it lists it
# under "did not run" as "(Skipped)". A test whose second attempt passed is flaky: it counts as
# passed and is named. A run without a summary line (it broke, or found no tests) is a failure.
count() {
    local log=$1 what=$2 line total bad skips names
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        echo "test.sh: $what: no tests ran" >&2
        failed=$((failed + 1))
        return 0
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    # Disabled tests are outside CTest's total; they are named so that they are not forgotten.
    names=$(sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \(Disabled\)$/\1/p' "$log")
    [ -n "$names" ] && echo "$what: disabled:" $names >&2
    names=$(sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \(Skipped\)$/\1/p' "$log")
    skips=$(grep -c . <<<"$names")
    [ -n "$names" ] && echo "$what: skipped:" $names >&2
    if [ -n "$names" ] && [ "${CI:-}" = true ]; then
        echo "test.sh: a skip is a failure in CI, where all test material is installed" >&2
        bad=$((bad + skips))
        skips=0
    fi
    passed=$((passed + total - bad - skips))
    failed=$((failed + bad))
    skipped=$((skipped + skips))
    # A retry is printed without the "N/M" counter in front.
    names=$(sed -nE 's/^[[:space:]]+Test +#[0-9]+: ([^ ]+) \.+ +Passed.*/\1/p' "$log")
    if [ -n "$names" ]; then
        echo "$what: flaky (passed on the second try):" $names >&2
        flaky=$((flaky + $(grep -c . <<<"$names")))
    fi
}

echo "== formatting" >&2
scripts/check-format.sh || failed=$((failed + 1))

log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

echo "== native tests" >&2
ctest --test-dir build/native -j "$(nproc)" -E "$allocation_tests" --output-on-failure 2>&1 |
    tee "$log_dir/native.log" | tail -n 25
count "$log_dir/native.log" native

echo "== allocation tests without sanitizers" >&2
ctest --test-dir build/plain -R "$allocation_tests" --output-on-failure 2>&1 |
    tee "$log_dir/plain.log" | tail -n 25
count "$log_dir/plain.log" plain

echo "== Windows tests under Wine" >&2
source scripts/wine-env.sh
if hml_wine_start; then
    # One at a time: several tests set the same machine-wide registry value. A test that fails
    # runs once more, and counts as flaky when that passes; the log keeps both attempts.
    ctest --test-dir build/win64 -j 1 --output-on-failure --repeat until-pass:2 2>&1 |
        tee "$log_dir/wine.log" | tail -n 25
    count "$log_dir/wine.log" Wine
else
    failed=$((failed + 1))
fi
hml_wine_stop

summary
[ "$failed" -eq 0 ]
