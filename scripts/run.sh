#!/usr/bin/env bash
# The main job: installs what is needed, builds every configuration and shows what works so far.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh native win64 win32

echo
echo "Harmolith is built:"
echo "  Windows x64: $root/build/win64   (tests run under Wine)"
echo "  Windows x86: $root/build/win32   (compiled and linked)"
echo "  Linux:       $root/build/native  (portable core, sanitizers)"
echo
echo "What works so far: the configuration store (Harmolith.conf through the registry value),"
echo "the SoundFont list and mixer state records, the mixer gain rules and the localization with"
echo "English and German language files. The synth process, its tray window and the audio"
echo "engine are still being built; 'scripts/test.sh' runs every test."
