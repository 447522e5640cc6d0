# Sourced after wine-env.sh: installs Harmolith.exe into a folder the way the installer would
# (the registry value "path", Harmolith.conf naming Debian's General MIDI SoundFont for every
# port, the lang folder, the driver registered) and starts it on a Wine desktop.
#   hml_install_synth FOLDER [CONF-LINES-FOR-ADVANCED]   then   hml_start_synth FOLDER LOG

hml_winpath() { echo "Z:${1//\//\\}"; }

hml_install_synth() {
    local folder=$1 advanced=${2:-}
    local root font=/usr/share/sounds/sf2/FluidR3_GM.sf2
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    rm -rf "$folder"
    mkdir -p "$folder/lang"
    cp "$root/build/win64/src/app/Harmolith.exe" "$folder/"
    cp "$root"/lang/*.lang "$folder/lang/"
    cat >"$folder/Harmolith.conf" <<CONF
[Advanced]
$advanced
[SoundFonts]
sf1=Z:${font//\//\\}
sf1.enabled=15
sf1.preload=0
CONF
    wine reg add 'HKLM\SOFTWARE\Tarnwick Harmolith' /v path /t REG_SZ /d "$(hml_winpath "$folder")" \
        /reg:64 /f >/dev/null 2>&1
    local view
    for view in 32 64; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' /v midi1 \
            /t REG_SZ /d Harmolith.dll /reg:$view /f >/dev/null 2>&1
    done
}

# Starts the installed synth and waits until clients can reach it.
hml_start_synth() {
    local folder=$1 log=$2 root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    wine explorer /desktop=hml,1280x800 "$(hml_winpath "$folder/Harmolith.exe")" >"$log" 2>&1 &
    wine "$root/build/win64/tools/midiclient/harmolith-client.exe" wait-for-synth=30000 >/dev/null
    sleep 1
}
