#!/usr/bin/env bash
# Builds lame.exe and flac.exe for Windows x64 from Debian's own source packages with mingw-w64,
# for the converter's tests with the real encoders. The programs are kept in a machine-wide cache
# keyed by the source versions and copied to build/encoders, so they are built once per machine.
# Usage: scripts/build-encoders.sh [output folder]   (default: build/encoders)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/encoders}
cache_root=${HML_ENCODER_CACHE:-/var/cache/harmolith-encoders}
host=x86_64-w64-mingw32
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# apt-get source needs the source index: one deb-src entry beside the binary ones.
src_list=/etc/apt/sources.list.d/harmolith-src.sources
if ! apt-cache showsrc lame >/dev/null 2>&1 || [ -z "$(apt-cache showsrc lame 2>/dev/null)" ]; then
    if [ ! -f "$src_list" ]; then
        $sudo tee "$src_list" >/dev/null <<'LIST'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
LIST
    fi
    $sudo apt-get update -qq >/dev/null
fi

version() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -1; }
lame_version=$(version lame)
flac_version=$(version flac)
# The recipe's own number: a change of how they are built makes a new cache entry.
recipe=2
cache="$cache_root/lame-${lame_version}_flac-${flac_version}_r$recipe"

if [ ! -x "$cache/lame.exe" ] || [ ! -x "$cache/flac.exe" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cd "$work"
    echo "encoders: building lame $lame_version and flac $flac_version for $host" >&2
    apt-get source -qq "lame=$lame_version" "flac=$flac_version" >/dev/null 2>&1
    jobs=${HML_JOBS:-1}

    (cd lame-*/ && ./configure -q --host=$host --disable-shared --enable-static \
        --disable-gtktest --disable-decoder LDFLAGS=-static >/dev/null &&
        make -s -j"$jobs" >/dev/null 2>&1)
    # Without fortified calls: they would need libssp-0.dll beside the program.
    (cd flac-*/ && ./configure -q --host=$host --disable-shared --enable-static --disable-ogg \
        --disable-cpplibs --disable-doxygen-docs --disable-examples \
        --disable-stack-smash-protection CFLAGS="-O2 -fno-stack-protector" \
        CPPFLAGS="-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=0" LDFLAGS=-static >/dev/null &&
        make -s -j"$jobs" -C src/share >/dev/null 2>&1 &&
        make -s -j"$jobs" -C src/libFLAC >/dev/null 2>&1 &&
        make -s -j"$jobs" -C src/flac >/dev/null 2>&1)

    staged="$work/staged"
    mkdir -p "$staged"
    cp lame-*/frontend/lame.exe "$staged/lame.exe"
    cp flac-*/src/flac/flac.exe "$staged/flac.exe"
    $host-strip "$staged"/*.exe
    # Users copy one file: the programs may need nothing but system libraries.
    for exe in "$staged"/*.exe; do
        if $host-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' |
            grep -viqE '^(kernel32|msvcrt|user32|advapi32|shell32|ws2_32)\.dll$'; then
            echo "build-encoders: $exe needs more than system libraries" >&2
            exit 1
        fi
    done
    $sudo mkdir -p "$cache_root"
    # Whole or not at all: the cache folder appears only with both programs in it.
    $sudo rm -rf "$cache.tmp"
    $sudo cp -r "$staged" "$cache.tmp"
    $sudo mv "$cache.tmp" "$cache"
fi

mkdir -p "$out"
cp "$cache/lame.exe" "$cache/flac.exe" "$out/"
echo "encoders: $out (lame $lame_version, flac $flac_version)" >&2
