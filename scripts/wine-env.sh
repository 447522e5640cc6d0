# Sourced by the test and run scripts: a throwaway Wine prefix with its own HOME, a virtual X
# display, a virtual sound card and a persistent wineserver. Never touches the user's own prefix
# or sound server.
# After sourcing and hml_wine_start: WINEPREFIX, DISPLAY, HOME, PULSE_SERVER and HML_CAPTURE are
# exported; hml_wine_stop ends all.

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
    # The sound card is a PulseAudio null sink: it takes audio at the pace of a real card (ALSA's
    # null device has no clock, and Wine then misjudges what is queued). Everything the sink plays
    # is recorded to HML_CAPTURE as raw 16-bit stereo at 48 kHz, continuously from here on, silence
    # included: a test reads from where its own audio starts. HML_CAPTURE_TIMES, when set, names
    # a file that gets one line "seconds bytes" (CLOCK_MONOTONIC_RAW, the clock of Wine's
    # QueryPerformanceCounter) per chunk the recorder receives.
    export HML_CAPTURE="$HML_WINE_ROOT/capture.raw"
    export XDG_RUNTIME_DIR="$HML_WINE_ROOT/pulse-run"
    mkdir -p "$XDG_RUNTIME_DIR"
    cat >"$HML_WINE_ROOT/pulse.pa" <<PULSE
load-module module-native-protocol-unix
load-module module-null-sink sink_name=card rate=48000 channels=2 format=s16le
set-default-sink card
PULSE
    pulseaudio -n -F "$HML_WINE_ROOT/pulse.pa" --daemonize=yes --exit-idle-time=-1 \
        --log-target=file:"$HML_WINE_ROOT/pulse.log" >/dev/null 2>&1
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    # Wine's pulse driver asks the server for only about 15 ms of buffer and refills it from a
    # timer thread that Wine does not run in real time; a late tick then leaves holes that no
    # client could prevent. A sound card holds more: let the server keep up to 60 ms. This adds
    # no latency of its own (the server plays what it has); it only stops Wine's jitter from
    # being heard.
    export PULSE_LATENCY_MSEC=60
    local recorder
    recorder="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/record-capture.py"
    parec -d card.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=5 |
        python3 "$recorder" "$HML_CAPTURE" "${HML_CAPTURE_TIMES:-}" &
    HML_RECORDER_PID=$!
    for i in $(seq 100); do
        [ -s "$HML_CAPTURE" ] && break
        sleep 0.05
    done

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
    # The server that wineboot started is not persistent (Debian's wrapper starts every server
    # with -p0): it shuts down as soon as the last program ends, and a test program that starts
    # in that moment dies at once without a line of output. `wineserver -p` cannot change a
    # running server, so let this one end first and then start ours.
    wineserver -w
    wineserver -p
    if ! hml_wine_server_persistent; then
        echo "wine-env: the wineserver is not persistent" >&2
        return 1
    fi
    # A crashing test program ends at once instead of waiting in the debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /t REG_SZ /d '' /f >/dev/null 2>&1
    # The prefix is ready once wineboot has returned and the server stays.
    wine cmd /c exit >/dev/null 2>&1 || true
}

# True when the prefix's wineserver runs with an unlimited -p (the last such option counts).
hml_wine_server_persistent() {
    local pid arg last=""
    for pid in $(pgrep -x wineserver64) $(pgrep -x wineserver32) $(pgrep -x wineserver); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
            continue
        while IFS= read -r arg; do
            case "$arg" in -p* | --persistent*) last=$arg ;; esac
        done < <(tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline")
        [ "$last" = -p ] || [ "$last" = --persistent ]
        return
    done
    return 1
}

hml_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${HML_RECORDER_PID:-}" ] && kill "$HML_RECORDER_PID" 2>/dev/null || true
    [ -n "${PULSE_SERVER:-}" ] && pactl exit >/dev/null 2>&1 || true
    [ -n "${HML_XVFB_PID:-}" ] && kill "$HML_XVFB_PID" 2>/dev/null || true
    [ -n "${HML_WINE_ROOT:-}" ] && rm -rf "$HML_WINE_ROOT"
    export HOME="${HML_REAL_HOME:-$HOME}"
}
