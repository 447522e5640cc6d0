#!/usr/bin/env bash
# harmolith-render as a user runs it: WAV, FLAC and MP3 of one song decode to the same length
# and are not silent; a broken file among good ones gets one error line, a failing exit status
# and no output, while the others still render; names with spaces and non-ASCII letters survive.
# Several files at once (-j) give the same files and lines as one at a time.
# The options as other command-line synthesizers have them: -o FILE takes the format from its
# extension, short forms, -q, -h and --version; usage errors exit with 2 and write nothing.
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

# Several files at once come out as with one: the same bytes, the lines in the inputs' order,
# and a broken file among them one error line and a failing status.
mkdir "$tmp/j1" "$tmp/j3"
for n in 4 1 3 2; do python3 "$root/bench/render/make_stress_mid.py" "$tmp/j$n.mid" "$n" 2; done
"$render" -q -j 1 --out "$tmp/j1" "$tmp"/j[1-4].mid >"$tmp/lines1"
"$render" -q -j 3 --out "$tmp/j3" "$tmp"/j[1-4].mid "$tmp/broken.mid" >"$tmp/lines3" 2>"$tmp/err3"
check "-j fails the run with a broken file" [ $? -eq 1 ]
check "-j writes one error line" [ "$(wc -l <"$tmp/err3")" -eq 1 ]
check "-j prints the lines in the inputs' order" \
    [ "$(sed 's/ -> .*//' "$tmp/lines1")" = "$(sed 's/ -> .*//' "$tmp/lines3")" ]
for n in 1 2 3 4; do
    check "-j renders j$n.wav as one job does" cmp -s "$tmp/j1/j$n.wav" "$tmp/j3/j$n.wav"
done

"$render" --out "$tmp/missing" "$tmp/good.mid" 2>/dev/null
check "a missing output folder is a usage error" [ $? -eq 2 ]
"$render" --voices 0 "$tmp/good.mid" 2>/dev/null
check "an out-of-range option is a usage error" [ $? -eq 2 ]

# One output file, its format from the extension; short options reach the render.
mkdir "$tmp/one"
"$render" -q -o "$tmp/one/Song.FLAC" -r 44100 -K 1 -R 0 -C 0 -p 64 "$tmp/good.mid" >/dev/null
check "-o writes the one file it names" [ "$(ls "$tmp/one")" = Song.FLAC ]
check "-o takes the format from the extension" [ "$(soxi -t "$tmp/one/Song.FLAC")" = flac ]
check "-r sets the rate" [ "$(soxi -r "$tmp/one/Song.FLAC")" = 44100 ]
"$render" -q -o "$tmp/one/wide.wav" -T wav24 "$tmp/good.mid" >/dev/null
check "-T picks a format of the extension" [ "$(soxi -b "$tmp/one/wide.wav")" = 24 ]
usage_error() { # usage_error DESCRIPTION ARGUMENTS...: exit status 2, a message, no file written
    "$render" "${@:2}" >/dev/null 2>"$tmp/stderr"
    check "$1 is a usage error" [ $? -eq 2 -a -s "$tmp/stderr" ]
}
usage_error "an unknown extension" -o "$tmp/one/x.ogg" "$tmp/good.mid"
usage_error "-o with a format of another extension" -o "$tmp/one/x.wav" -T mp3 "$tmp/good.mid"
usage_error "-o with two files" -o "$tmp/one/x.wav" "$tmp/good.mid" "$tmp/good.mid"
usage_error "-o into a missing folder" -o "$tmp/missing/x.wav" "$tmp/good.mid"
usage_error "-o with --out" -o "$tmp/one/x.wav" --out "$tmp/one" "$tmp/good.mid"
usage_error "an unknown option" -Z "$tmp/good.mid"
usage_error "an option without its value" "$tmp/good.mid" -o
usage_error "no MIDI file" -q
check "usage errors write nothing" [ "$(ls "$tmp/one" | wc -l)" -eq 2 ]

"$render" -h >"$tmp/help"
check "-h prints the options and succeeds" [ $? -eq 0 -a "$(grep -c -- '-q, --quiet' "$tmp/help")" -eq 1 ]
check "the help names %CUSTOMPARAMS% with single percent signs" \
    grep -q ' (%CUSTOMPARAMS%)$' "$tmp/help"
version=$("$render" --version)
check "--version prints the version and succeeds" [ $? -eq 0 ]
check "--version names the program ($version)" grep -qE '^harmolith-render [0-9]+(\.[0-9]+)+$' <<<"$version"

# The progress bar goes to a terminal only, and -q leaves it out.
script -qec "'$render' -o '$tmp/one/tty.wav' '$tmp/good.mid'" /dev/null >"$tmp/tty" 2>&1
check "a terminal shows the progress bar" grep -q '100%' "$tmp/tty"
script -qec "'$render' -q -o '$tmp/one/tty.wav' '$tmp/good.mid'" /dev/null >"$tmp/tty" 2>&1
check "-q leaves the progress bar out" [ "$(grep -c '%' "$tmp/tty")" -eq 0 ]
check "-q still reports the file" grep -q 'tty.wav' "$tmp/tty"
exit $((fails != 0))
