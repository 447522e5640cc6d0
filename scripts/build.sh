#!/usr/bin/env bash
# Configures and builds one or more of the project's configurations:
#   native  Linux, clang, AddressSanitizer + UndefinedBehaviorSanitizer, fuzz targets (build/native)
#   win64   Windows x64 with mingw-w64, the build we run and test under Wine (build/win64)
#   win32   Windows i686 with mingw-w64: the program and tools, compiled and linked only
#           (build/win32; its tests could not run here)
#   release Linux, optimised, no tests and no sanitizers (build/release)
#   plain   Linux, clang, tests without sanitizers (build/plain): for the tests that count
#           allocations, which AddressSanitizer's own allocator defeats
# With no argument native, win64 and win32 are built. CONFIG:TARGET[,TARGET...] builds only those
# targets (and what they need), e.g. release:harmolith-render.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(native win64 win32)
jobs=${HML_JOBS:-$(nproc)}

for request in "${configs[@]}"; do
    config=${request%%:*}
    targets=()
    if [ "$config" != "$request" ]; then
        IFS=, read -ra targets <<<"${request#*:}"
        targets=("--target" "${targets[@]}")
    fi
    dir="$root/build/$config"
    case "$config" in
    native)
        args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
              -DHML_SANITIZE=ON -DHML_FUZZ=ON) ;;
    release)
        # Native optimised build without sanitizers, for benchmarks and the command-line tools.
        args=(-DCMAKE_BUILD_TYPE=Release -DHML_TESTS=OFF) ;;
    plain)
        args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    win64)
        args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    win32)
        args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
              -DHML_TESTS=OFF) ;;
    *)
        echo "build.sh: unknown configuration '$config'" >&2
        exit 2 ;;
    esac
    # Worktrees of one checkout share compiled objects through ccache when it is installed.
    if command -v ccache >/dev/null; then
        args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")} CCACHE_NOHASHDIR=1
    fi
    # Configure every time: new subsystem folders join only at configure time.
    cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
    echo "build: $request" >&2
    if ! cmake --build "$dir" -j "$jobs" "${targets[@]}" | sed '/^\[/d'; then
        echo "build.sh: $config failed" >&2
        exit 1
    fi
done
