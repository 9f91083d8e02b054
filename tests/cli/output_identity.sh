#!/usr/bin/env bash
# What tmw-cli makes of every demo song and every real module beside the checkout, as SHA-256
# lines: rendered at four output formats (between them mono and stereo, 8- and 16-bit output,
# with and without interpolation; the first also on one and on three mixing threads), and converted
# to a song file, S3M and MOD. Rewrites of the loaders, the player or the exporters must leave
# every line as it is.
#
#   output_identity.sh TMW_CLI DEMO_FOLDER MODULE_FOLDER          prints the lines
#   output_identity.sh TMW_CLI DEMO_FOLDER MODULE_FOLDER EXPECTED compares them with a file
set -euo pipefail
cli=$1 demos=$2 modules=$3 expected=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=("$demos"/*.sn2)
if [ -d "$modules" ]; then
    inputs+=("$modules"/*.mod "$modules"/*.s3m)
elif [ -n "$expected" ]; then
    echo "no module folder at $modules: only the demo songs are compared" >&2
fi

lines() {
    local input name out
    for input in "${inputs[@]}"; do
        name=$(basename "$input")
        out="$work/out"
        "$cli" render "$input" "$out.wav" >/dev/null
        local rendered
        rendered=$(sha256sum <"$out.wav" | cut -d' ' -f1)
        echo "$rendered  render-44100-stereo-16 $name"
        # Any number of mixing threads gives the same bytes: only a difference adds a line.
        for threads in 1 3; do
            "$cli" render --threads "$threads" "$input" "$out.wav" >/dev/null
            local again
            again=$(sha256sum <"$out.wav" | cut -d' ' -f1)
            [ "$again" = "$rendered" ] || echo "$again  render-44100-stereo-16-threads-$threads $name"
        done
        "$cli" render --rate 22050 --mono --8bit --no-interpolate "$input" "$out.wav" >/dev/null
        echo "$(sha256sum <"$out.wav" | cut -d' ' -f1)  render-22050-mono-8 $name"
        "$cli" render --rate 32000 --mono "$input" "$out.wav" >/dev/null
        echo "$(sha256sum <"$out.wav" | cut -d' ' -f1)  render-32000-mono-16 $name"
        "$cli" render --rate 48000 --8bit "$input" "$out.wav" >/dev/null
        echo "$(sha256sum <"$out.wav" | cut -d' ' -f1)  render-48000-stereo-8 $name"
        "$cli" convert "$input" "$out.sn2" >/dev/null
        echo "$(sha256sum <"$out.sn2" | cut -d' ' -f1)  convert-sn2 $name"
        for format in s3m mod; do
            "$cli" convert --format "$format" "$input" "$out.$format" >/dev/null 2>&1 || true
            if [ -f "$out.$format" ]; then
                echo "$(sha256sum <"$out.$format" | cut -d' ' -f1)  convert-$format $name"
            else
                echo "refused  convert-$format $name"
            fi
            rm -f "$out.$format"
        done
        rm -f "$out.wav" "$out.sn2"
    done
}

if [ -z "$expected" ]; then
    lines
    exit 0
fi
lines >"$work/actual"
# Without the module folder only the demo lines can be compared.
[ -d "$modules" ] || grep -F '.sn2' "$expected" >"$work/expected" || true
[ -d "$modules" ] && cp "$expected" "$work/expected"
if ! diff -u "$work/expected" "$work/actual"; then
    echo "tmw-cli's output changed for the inputs above" >&2
    exit 1
fi
