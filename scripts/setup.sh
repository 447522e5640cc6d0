#!/usr/bin/env bash
# Installs every Debian package that building and testing Harmolith needs. Idempotent and quiet
# when everything is already there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ clang libstb-dev libclang-rt-14-dev clang-format googletest
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64
    # running and testing the Windows build
    wine wine64 xvfb xauth x11-utils imagemagick xdotool pulseaudio pulseaudio-utils
    # audio peers, material and measuring tools
    sox libsox-fmt-all fluidsynth fluid-soundfont-gm flac lame openttd-openmsx polyphone
    sf3convert musescore-general-soundfont-small
    # the Windows setup, and the General MIDI SoundFont it offers
    nsis timgm6mb-soundfont
    python3 python3-numpy
    # building the Windows encoders from Debian's sources (scripts/build-encoders.sh)
    dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq >/dev/null
    $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# lame.exe and flac.exe for the converter's tests; built once per machine, then copied.
"$(dirname "$0")/build-encoders.sh"

