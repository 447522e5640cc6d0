#!/usr/bin/env bash
# harmolith-render as a user runs it: WAV, FLAC and MP3 of one song decode to the same length
# and are not silent; a broken file among good ones gets one error line, a failing exit status
# and no output, while the others still render; names with spaces and non-ASCII letters survive.
# usage: render_cli_test.sh HARMOLITH-RENDER SOURCE-ROOT
set -u
render=$1
root=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

python3 "$root/bench/render/make_stress_mid.py" "$tmp/Bärenlied song.mid" 2 2
mkdir "$tmp/out"
for format in wav16 flac mp3; do
    check "renders $format" "$render" --out "$tmp/out" --format "$format" "$tmp/Bärenlied song.mid"
done
wav="$tmp/out/Bärenlied song.wav"
frames=$(soxi -s "$wav")
check "the WAV holds the song and its decay" [ "$frames" -gt $((2 * 48000)) ]
check "FLAC decodes to the WAV's length" [ "$(soxi -s "$tmp/out/Bärenlied song.flac")" = "$frames" ]
lame --quiet --decode "$tmp/out/Bärenlied song.mp3" "$tmp/mp3.wav"
check "MP3 decodes to the WAV's length" [ "$(soxi -s "$tmp/mp3.wav")" = "$frames" ]
rms=$(sox "$wav" -n stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
check "the render is not silent (RMS $rms dB)" awk -v r="$rms" 'BEGIN { exit !(r > -40) }'

printf 'MThd\0\0\0\6\0\1\0\2\1\340MTrk\0\0\1\0\220' >"$tmp/broken.mid"
cp "$tmp/Bärenlied song.mid" "$tmp/good.mid"
"$render" --out "$tmp/out" "$tmp/broken.mid" "$tmp/good.mid" >"$tmp/stdout" 2>"$tmp/stderr"
status=$?
check "a failed file fails the run" [ "$status" -eq 1 ]
check "one error line names the broken file" \
    [ "$(grep -c 'broken.mid' "$tmp/stderr")" -eq 1 -a "$(wc -l <"$tmp/stderr")" -eq 1 ]
check "the broken file leaves nothing behind" [ ! -e "$tmp/out/broken.wav" ]
check "the next file still renders" [ -s "$tmp/out/good.wav" ]
check "no partial files" [ -z "$(find "$tmp/out" -name '*part*')" ]

"$render" --out "$tmp/missing" "$tmp/good.mid" 2>/dev/null
check "a missing output folder is a usage error" [ $? -eq 2 ]
"$render" --voices 0 "$tmp/good.mid" 2>/dev/null
check "an out-of-range option is a usage error" [ $? -eq 2 ]
exit $((fails != 0))
