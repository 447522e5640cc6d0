#!/usr/bin/env bash
# Checks that every tracked .cpp and .h file is formatted with the project's .clang-format; names
# the files that are not. Fix them with `clang-format -i FILE`.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
files=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1 |
    sed -nE 's/^([^:]+):[0-9]+:[0-9]+: error: .*/\1/p' | sort -u)
if [ -n "$files" ]; then
    echo "check-format: not formatted with .clang-format:" >&2
    sed 's/^/  /' <<<"$files" >&2
    exit 1
fi
