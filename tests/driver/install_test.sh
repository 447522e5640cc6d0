#!/usr/bin/env bash
# The setup as a user meets it, in a fresh Wine prefix: a silent install, a short MIDI file played
# on "Harmolith #1" by a program that uses winmm only (the driver starts the synth), the
# recording checked for the file's notes in order, then a silent uninstall that must leave no
# file, registry value or driver registration behind.
#   install_test.sh SETUP.exe harmolith-play.exe
set -euo pipefail
setup=$1
player=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
# Also when CTest ends the test for taking too long: the prefix's programs must not outlive it.
trap hml_wine_stop EXIT
trap 'exit 1' TERM INT
hml_wine_start

fail() {
    echo "install_test: $*" >&2
    exit 1
}
# Debian's Python, which has numpy (a python3 earlier in PATH may not).
python=/usr/bin/python3
drivers32='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Drivers32'
# Whether a registry value or key exists: reg query KEY [/v NAME] VIEW.
exists() { wine reg query "$@" >/dev/null 2>&1; }
driver_slots() { wine reg query "$drivers32" "/reg:$1" 2>/dev/null | grep -ic 'harmolith.dll' || true; }

c="$WINEPREFIX/drive_c"
install="$c/Program Files/Harmolith"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Harmolith"

# The values of the Drivers32 key (a fresh prefix has no such key).
slots() { { wine reg query "$drivers32" "/reg:$1" 2>/dev/null || true; } | tr -d '\r' | grep REG_ | sort || true; }
slots64_before=$(slots 64)
slots32_before=$(slots 32)

echo "== silent install" >&2
timeout 120 wine "$setup" /S >"$HML_WINE_ROOT/setup.log" 2>&1 || fail "the setup failed"
for f in Harmolith.exe Harmolith.conf Uninstall.exe lang/1033.lang soundfonts/TimGM6mb.sf2; do
    [ -f "$install/$f" ] || fail "not installed: $f"
done
[ -d "$install/encoders" ] || fail "no encoders folder"
[ -f "$c/windows/system32/Harmolith.dll" ] || fail "no 64-bit driver"
[ -f "$c/windows/syswow64/Harmolith.dll" ] || fail "no 32-bit driver"
exists 'HKLM\SOFTWARE\Tarnwick Harmolith' /v path /reg:64 || fail "no registry value path"
[ "$(driver_slots 64)" = 1 ] || fail "the driver is not in one 64-bit Drivers32 slot"
[ "$(driver_slots 32)" = 1 ] || fail "the driver is not in one 32-bit Drivers32 slot"
grep -q 'TimGM6mb.sf2' "$install/Harmolith.conf" || fail "the configuration names no SoundFont"
ls "$menu"/*.lnk >&2 || fail "no Start-menu entries"
exists 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Harmolith &&
    fail "autostart is an option, off unless chosen"

echo "== play through winmm" >&2
song="$HML_WINE_ROOT/scale.mid"
# Flute (program 73, almost a sine) at 120 bpm: A4, E5, A5, 0.6 s each with 0.15 s between.
"$python" - "$song" <<'PY'
import struct, sys
def vlq(n):
    out = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        out.insert(0, 0x80 | (n & 0x7F))
    return bytes(out)
events = bytes([0x00, 0xC0, 73])
for key in (69, 76, 81):
    events += vlq(72) + bytes([0x90, key, 110]) + vlq(288) + bytes([0x80, key, 0])
events += vlq(480) + bytes([0xFF, 0x2F, 0x00])
track = b"MTrk" + struct.pack(">I", len(events)) + events
head = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480)
open(sys.argv[1], "wb").write(head + track)
PY
start=$(stat -c %s "$HML_CAPTURE")
cp "$player" "$HML_WINE_ROOT/harmolith-play.exe"
# Its output goes to a file, not a pipe: the synth the driver starts inherits it and lives on.
timeout 60 wine "$HML_WINE_ROOT/harmolith-play.exe" "$(winepath -w "$song")" \
    >"$HML_WINE_ROOT/play.log" 2>&1 || { cat "$HML_WINE_ROOT/play.log" >&2; fail "the player failed"; }
grep -v '^ALSA' "$HML_WINE_ROOT/play.log" | tr -d '\r' >&2
sleep 1
"$python" - "$HML_CAPTURE" "$start" <<'PY' || fail "the recording does not hold the notes"
import sys
import numpy as np
data = open(sys.argv[1], "rb").read()[int(sys.argv[2]):]
left = np.frombuffer(data[: len(data) // 4 * 4], dtype="<i2")[::2].astype(float) / 32768
window = 4800  # 100 ms
freqs = np.fft.rfftfreq(window, 1 / 48000)
band = (freqs > 300) & (freqs < 1200)
found = {}
for i in range(len(left) // window):
    chunk = left[i * window:(i + 1) * window]
    if np.sqrt(np.mean(chunk ** 2)) < 0.003:
        continue
    spectrum = np.abs(np.fft.rfft(chunk * np.hanning(window)))
    peak = freqs[band][np.argmax(spectrum[band])]
    for key, f in ((69, 440.0), (76, 659.26), (81, 880.0)):
        if abs(peak - f) < f * 0.03:
            found.setdefault(key, i)
print("first heard (100 ms windows):", found, file=sys.stderr)
keys = [found.get(k) for k in (69, 76, 81)]
sys.exit(0 if None not in keys and keys == sorted(keys) else 1)
PY

echo "== silent uninstall" >&2
timeout 60 wine "$install/Uninstall.exe" /S >"$HML_WINE_ROOT/uninstall.log" 2>&1 ||
    fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself in the temporary folder.
for _ in $(seq 300); do
    [ -e "$install" ] || break
    sleep 0.1
done
[ -e "$install" ] && { find "$install" >&2; fail "files are left in the installation folder"; }
[ -e "$c/windows/system32/Harmolith.dll" ] && fail "the 64-bit driver is left"
[ -e "$c/windows/syswow64/Harmolith.dll" ] && fail "the 32-bit driver is left"
[ -e "$menu" ] && fail "the Start-menu entries are left"
exists 'HKLM\SOFTWARE\Tarnwick Harmolith' /reg:64 && fail "the registry key is left"
exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Harmolith' /reg:64 &&
    fail "the uninstall entry is left"
[ "$(slots 64)" = "$slots64_before" ] || fail "the 64-bit Drivers32 key differs from before"
[ "$(slots 32)" = "$slots32_before" ] || fail "the 32-bit Drivers32 key differs from before"
echo "install_test: installed, played and removed" >&2
