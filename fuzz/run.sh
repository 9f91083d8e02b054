#!/usr/bin/env bash
# Runs fuzz targets one after the other, each for SECONDS, over its seed corpus (fuzz/corpus/<t>)
# and a work corpus in the build folder that collects what the fuzzer finds; the module readers
# also get the folder FUZZ_MODULES (the real modules beside the checkout) as a second corpus, the
# MIDI reader the folder FUZZ_MIDI (the real MIDI files beside it).
# Findings land in BUILD/fuzz-artifacts/<t>/; the run fails when a target found one. With
# FUZZ_KEEP_GOING=1 a target goes on after a finding (libFuzzer's fork mode with one worker), so
# that a long run collects every distinct fault instead of stopping at the first.
#
# usage: fuzz/run.sh BUILD SECONDS [TARGET...]     (no TARGET: all of them)
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(load_song module midi instrument_file bank sample_import sound_file clipboard settings setup_index)
fi
modules=${FUZZ_MODULES:-../shared/modules}
midi=${FUZZ_MIDI:-../shared/midi}

failed=0
for t in "${targets[@]}"; do
  program=$build/bin/fuzz_$t
  if [ ! -x "$program" ]; then
    echo "fuzz: no target $t in $build" >&2
    exit 2
  fi
  work=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  mkdir -p "$work" "$artifacts"
  corpora=("$work" "fuzz/corpus/$t")
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/" -dict="fuzz/$t.dict")
  if [ "${FUZZ_KEEP_GOING:-0}" = 1 ]; then
    options+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  fi
  if [ "$t" = load_song ] || [ "$t" = module ]; then
    [ -d "$modules" ] && corpora+=("$modules")
    options+=(-max_len=131072)
  fi
  if [ "$t" = midi ]; then
    [ -d "$midi" ] && corpora+=("$midi")
    options+=(-max_len=131072)
  fi
  echo "fuzz: $t for $seconds s" >&2
  log=$build/fuzz-$t.log
  "$program" "${options[@]}" "${corpora[@]}" >"$log" 2>&1
  status=$?
  grep -E '^#[0-9]+ +(INITED|DONE)|^stat::|^SUMMARY|ERROR:|^#[0-9]+: cov:' "$log" | tail -n 8 >&2
  if [ $status -ne 0 ]; then
    echo "fuzz: $t found a fault; see $log and $artifacts" >&2
    failed=1
  fi
done
exit $failed
