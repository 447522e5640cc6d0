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
jobs=${HML_JOBS:-1}

# Each program has its own cache entry, keyed by its source version and the recipe's number (a
# change of how it is built makes a new entry).
build_lame() {
    # Unicode file names: the frontend's wide-character entry point, which upstream leaves out
    # for mingw-w64; the decoder stays in for tests that decode the MP3s again.
    sed -i 's/defined( _WIN32 ) \&\& !defined(__MINGW32__)/defined( _WIN32 )/' \
        frontend/main.c frontend/get_audio.c frontend/parse.c
    ./configure -q --host=$host --disable-shared --enable-static --disable-gtktest \
        LDFLAGS=-static >/dev/null
    # Only the programs take wmain; configure's own test programs have main.
    make -s -j"$jobs" LDFLAGS="-static -municode" >/dev/null 2>&1
    cp frontend/lame.exe "$1"
}
build_flac() {
    # Without fortified calls: they would need libssp-0.dll beside the program.
    ./configure -q --host=$host --disable-shared --enable-static --disable-ogg \
        --disable-cpplibs --disable-doxygen-docs --disable-examples \
        --disable-stack-smash-protection CFLAGS="-O2 -fno-stack-protector" \
        CPPFLAGS="-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=0" LDFLAGS=-static >/dev/null
    make -s -j"$jobs" -C src/share >/dev/null 2>&1
    make -s -j"$jobs" -C src/libFLAC >/dev/null 2>&1
    make -s -j"$jobs" -C src/flac >/dev/null 2>&1
    cp src/flac/flac.exe "$1"
}

mkdir -p "$out"
for entry in lame:3 flac:2; do
    package=${entry%:*}
    recipe=${entry#*:}
    ver=$(version "$package")
    cache="$cache_root/$package-${ver}_r$recipe"
    if [ ! -x "$cache/$package.exe" ]; then
        work=$(mktemp -d)
        echo "encoders: building $package $ver for $host" >&2
        (cd "$work" && apt-get source -qq "$package=$ver" >/dev/null 2>&1 &&
            cd "$package"-*/ && "build_$package" "$work/$package.exe")
        $host-strip "$work/$package.exe"
        # Users copy one file: the program may need nothing but system libraries.
        if $host-objdump -p "$work/$package.exe" | sed -n 's/.*DLL Name: //p' |
            grep -viqE '^(kernel32|msvcrt|user32|advapi32|shell32|ws2_32)\.dll$'; then
            echo "build-encoders: $package.exe needs more than system libraries" >&2
            exit 1
        fi
        # Whole or not at all: the cache entry appears only with its program in it.
        $sudo rm -rf "$cache.tmp"
        $sudo mkdir -p "$cache.tmp"
        $sudo cp "$work/$package.exe" "$cache.tmp/"
        $sudo mv "$cache.tmp" "$cache"
        rm -rf "$work"
    fi
    cp "$cache/$package.exe" "$out/"
    echo "encoders: $out/$package.exe ($package $ver)" >&2
done
