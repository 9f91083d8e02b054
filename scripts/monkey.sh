#!/usr/bin/env bash
# A monkey run of the composer: random keys and clicks under a virtual X display, for a while,
# looking for crashes and hangs. CI does not run it; a developer starts it after larger changes.
#
#   scripts/monkey.sh [--seconds N] [--seed S] [--song FILE] [--tmw PATH]
#
# Runs build/bin/tmw in a scratch home (its settings, recovery files and whatever the file
# dialogs write stay there) on a copy of the song. The same seed replays the same events. At
# the end the composer gets SIGTERM and must end within 10 seconds. A crash, a hang or an
# unclean end prints the seed and the last events and exits 1, and keeps the scratch folder.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
seconds=300
seed="$(date +%s)"
song="$here/data/demos/first-steps.sn2"
tmw="$here/build/bin/tmw"
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --song) song="$2"; shift 2 ;;
    --tmw) tmw="$2"; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "monkey.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

for tool in xdotool xvfb-run; do
  command -v "$tool" >/dev/null || { echo "monkey.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
[ -x "$tmw" ] || { echo "monkey.sh: $tmw not built (make build)" >&2; exit 2; }

# Without a display of our own, start again inside one.
if [ -z "${MONKEY_DISPLAY_READY:-}" ]; then
  export MONKEY_DISPLAY_READY=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --seconds "$seconds" --seed "$seed" \
    --song "$song" --tmw "$tmw"
fi

scratch="$(mktemp -d -t tunemill-monkey.XXXXXX)"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" \
  XDG_STATE_HOME="$scratch/home/.local/state" XDG_DATA_HOME="$scratch/home/.local/share"
mkdir -p "$HOME" "$scratch/work"
cp -- "$song" "$scratch/work/song.sn2"
log="$scratch/events.log"
: >"$log"
echo "monkey: seed $seed, $seconds s, scratch $scratch"

RANDOM="$seed"
keys=(Left Right Up Down Home End Prior Next Return Escape Tab space BackSpace Delete Insert
  a b c d e f g h i j k l m n o p q r s t u v w x y z 1 2 3 4 5 6 7 8 9 0 plus minus
  F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12 ctrl+z ctrl+y ctrl+c ctrl+x ctrl+v ctrl+a ctrl+n
  ctrl+o ctrl+s ctrl+e ctrl+w ctrl+Tab alt+f alt+e alt+v alt+w shift+Left shift+Right)

pid=0
start_tmw() {
  (cd "$scratch/work" && exec "$tmw" song.sn2) >>"$scratch/tmw.out" 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    xdotool search --pid "$pid" --onlyvisible --name Tunemill >/dev/null 2>&1 && return 0
    sleep 0.2
  done
}

fail() {
  echo "monkey: $1 (seed $seed); last events:" >&2
  tail -n 20 "$log" >&2
  echo "monkey: scratch folder kept: $scratch" >&2
  exit 1
}

start_tmw
deadline=$((SECONDS + seconds))
events=0
while [ $SECONDS -lt $deadline ]; do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    # Exit through the menu ends with 0: start again. Anything else is a crash.
    [ "$status" -eq 0 ] || fail "tmw ended with status $status"
    echo "restart" >>"$log"
    start_tmw
    continue
  fi
  if [ $((RANDOM % 3)) -eq 0 ]; then
    x=$((RANDOM % 1280)) y=$((RANDOM % 1024)) button=$((RANDOM % 3 + 1))
    echo "click $button at $x,$y" >>"$log"
    xdotool mousemove "$x" "$y" click "$button" 2>/dev/null || true
  else
    key="${keys[$((RANDOM % ${#keys[@]}))]}"
    echo "key $key" >>"$log"
    xdotool key --clearmodifiers "$key" 2>/dev/null || true
  fi
  events=$((events + 1))
  sleep 0.05
done

echo "end by SIGTERM" >>"$log"
kill -TERM "$pid" 2>/dev/null || true
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill -KILL "$pid"
  fail "tmw did not end within 10 s of SIGTERM (a hang)"
fi
wait "$pid" && status=0 || status=$?
[ "$status" -eq 0 ] || fail "tmw ended with status $status after SIGTERM"
echo "monkey: $events events, no crash, no hang"
rm -rf "$scratch"
