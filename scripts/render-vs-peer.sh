#!/usr/bin/env bash
# Renders every module (.mod, .s3m) of a folder to WAV with tmw-cli and with openmpt123 (linear
# interpolation, no volume ramping, 44.1 kHz 16-bit stereo), each as a whole process, and prints
# per module and over the set: seconds of audio, wall-clock seconds (the best of RUNS runs) and
# real-time factors, and the ratio of tmw-cli's throughput to the peer's.
#
#   scripts/render-vs-peer.sh TMW_CLI [FOLDER] [RUNS] [-- extra tmw-cli render options]
set -euo pipefail
cli=$(realpath "$1")
folder=${2:-../shared/modules}
runs=${3:-3}
shift $(($# < 3 ? $# : 3))
[ "${1:-}" = "--" ] && shift
extra=("$@")
command -v openmpt123 >/dev/null || { echo "openmpt123 is missing (scripts/install-deps.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of audio in a WAV file.
seconds() { python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); print(w.getnframes() / w.getframerate())' "$1"; }
# "wall cpu": the best wall-clock time of RUNS runs of a command and the processor time (user and
# system, all threads) of that run, in seconds.
best_of() {
    python3 - "$runs" "$@" <<'TIMING'
import os, subprocess, sys, time
runs, command = int(sys.argv[1]), sys.argv[2:]
best = None
for _ in range(runs):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if best is None or wall < best[0]:
        best = (wall, usage.ru_utime + usage.ru_stime)
print('%.4f %.4f' % best)
TIMING
}

for input in "$folder"/*.mod "$folder"/*.s3m; do
    [ -f "$input" ] || continue
    name=$(basename "$input")
    # The peer writes its WAV beside the input: it reads a link in the work folder.
    ln -sf "$(realpath "$input")" "$work/$name"
    tmw=$(best_of "$cli" render "${extra[@]}" "$input" "$work/tmw.wav")
    peer=$(best_of openmpt123 --render --force --quiet --no-progress --filter 2 --ramping 0 \
        --samplerate 44100 --channels 2 --no-float --dither 0 --output-type wav "$work/$name")
    echo "$name $(seconds "$work/tmw.wav") $tmw $(seconds "$work/$name.wav") $peer" >>"$work/lines"
    rm -f "$work/$name.wav" "$work/tmw.wav"
done

# Throughput is seconds of audio per second; the ratio is tmw-cli's over the peer's.
python3 - "$work/lines" <<'SUMMARY'
import sys
rows = [line.split() for line in open(sys.argv[1])]
print('%-32s %8s | %8s %6s %6s | %8s %6s %6s | %6s %6s' % ('module', 'audio_s', 'tmw_s', 'x', 'cpu_x',
      'peer_s', 'x', 'cpu_x', 'ratio', 'cpu'))
sums = [0.0] * 6
worst = None
for name, ta, tw, tc, pa, pw, pc in rows:
    ta, tw, tc, pa, pw, pc = map(float, (ta, tw, tc, pa, pw, pc))
    if ta == 0 or pa == 0:
        print('%-32s no sound from one of them: not counted' % name)
        continue
    ratio = (ta / tw) / (pa / pw)
    cpu_ratio = (ta / max(tc, 1e-4)) / (pa / max(pc, 1e-4))
    print('%-32s %8.1f | %8.4f %6.0f %6.0f | %8.4f %6.0f %6.0f | %6.2f %6.2f' % (
        name, ta, tw, ta / tw, ta / max(tc, 1e-4), pw, pa / pw, pa / max(pc, 1e-4), ratio, cpu_ratio))
    for i, value in enumerate((ta, tw, tc, pa, pw, pc)):
        sums[i] += value
    if worst is None or ratio < worst[1]:
        worst = (name, ratio)
ta, tw, tc, pa, pw, pc = sums
print('%-32s %8.1f | %8.4f %6.0f %6.0f | %8.4f %6.0f %6.0f | %6.2f %6.2f' % (
    'whole set', ta, tw, ta / tw, ta / max(tc, 1e-4), pw, pa / pw, pa / max(pc, 1e-4), (ta / tw) / (pa / pw), (ta / max(tc, 1e-4)) / (pa / max(pc, 1e-4))))
if worst:
    print('slowest ratio: %s %.2f' % worst)
SUMMARY
