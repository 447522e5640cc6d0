# Sourced by the test and run scripts: a throwaway Wine prefix with its own HOME, a virtual X
# display and a persistent wineserver. Never touches the user's own prefix.
# After sourcing: WINEPREFIX, DISPLAY, HOME (for ~/.asoundrc) are exported; hml_wine_stop ends all.

hml_wine_start() {
    HML_WINE_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/harmolith-wine.XXXXXX")
    export HML_WINE_ROOT
    export HML_REAL_HOME="${HOME:-/root}"
    export HOME="$HML_WINE_ROOT/home"
    export WINEPREFIX="$HML_WINE_ROOT/prefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$HOME"
    # Audio goes to a file, paced at 48 kHz 16-bit stereo so that timing in it is real time.
    export HML_CAPTURE="$HML_WINE_ROOT/capture.raw"
    local pacer
    pacer="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/pace-capture.py"
    cat >"$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" file "|python3 $pacer $HML_CAPTURE" format "raw" }
ASOUND

    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$HML_WINE_ROOT/display" \
        >/dev/null 2>&1 &
    HML_XVFB_PID=$!
    local display="" i
    for i in $(seq 200); do
        display=$(cat "$HML_WINE_ROOT/display" 2>/dev/null || true)
        [ -n "$display" ] && break
        sleep 0.05
    done
    if [ -z "$display" ]; then
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"

    wineboot -i >/dev/null 2>&1
    wineserver -p
    # A crashing test program ends at once instead of waiting in the debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /t REG_SZ /d '' /f >/dev/null 2>&1
    # The prefix is ready once wineboot has returned and the server stays.
    wine cmd /c exit >/dev/null 2>&1 || true
}

hml_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${HML_XVFB_PID:-}" ] && kill "$HML_XVFB_PID" 2>/dev/null || true
    [ -n "${HML_WINE_ROOT:-}" ] && rm -rf "$HML_WINE_ROOT"
    export HOME="${HML_REAL_HOME:-$HOME}"
}
