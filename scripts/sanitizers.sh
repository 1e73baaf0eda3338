#!/usr/bin/env bash
# The whole program under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan):
# festoonery-capture draws a few frames of every section at a small size, and every saved
# fuzz input (tests/fuzz/corpus and crashes) is replayed with leak detection. Any finding
# in the engine's own code fails; leaks inside the OpenGL driver and the libraries it
# loads are suppressed by name (scripts/sanitizers.supp). Needs a display and
# LIBGL_ALWAYS_SOFTWARE=1, as scripts/test.sh sets them up. Exits non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-asan
jobs=$(nproc)

cmake -S . -B "$build" -DFESTOONERY_TESTS=ON -DFESTOONERY_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The build packs data.mvt with the instrumented tool: leaks are looked for below, not
# while packing.
ASAN_OPTIONS=detect_leaks=0 cmake --build "$build" -j"$jobs" \
  --target festoonery-capture festoonery-archive replays >/dev/null

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=0
export LSAN_OPTIONS=suppressions=$root/scripts/sanitizers.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export FESTOONERY_UI=script FESTOONERY_ANSWERS= SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
unset FESTOONERY_DATA

status=0
work=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-sanitizers.XXXXXX")
trap 'rm -rf "$work"' EXIT
report=$root/$build/sanitizer-findings.txt
: >"$report"

# finding NAME LOG: true (and the report copied) when the log holds a sanitizer report.
finding() {
  if grep -Eq 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: (Address|Undefined|Leak)' "$2"; then
    { echo "== $1"; cat "$2"; } >>"$report"
    return 0
  fi
  return 1
}

# Two frames from each section: the greeting alone, picture and oscilloscope, and the
# starfield with the fireworks, drawn by the GL and, with 4 samples, splatted by the CPU
# (a frame this small takes the GL's way by itself).
for range in 0b:1b:auto:0 30b:31b:auto:0 60b:61b:auto:0 60b:61b:cpu:4; do
  IFS=: read -r from to particles samples <<<"$range"
  range=$from:$to
  [ "$particles" = auto ] || range="$range ($particles, $samples samples)"
  frames=$work/frames-$from-$particles
  log=$work/capture-$from-$particles.log
  if (cd "$root/$build/run" && ./festoonery-capture --size 160x90 --fps 2 --samples "$samples" \
        --particles "$particles" --from "$from" --to "$to" --quiet "$frames") >"$log" 2>&1 \
      && ! finding "capture $range" "$log"; then
    echo "sanitizers: capture $range clean ($(ls "$frames" | wc -l) frames)"
  else
    finding "capture $range" "$log" || { echo "== capture $range failed"; tail -20 "$log"; } >>"$report"
    echo "sanitizers: capture $range FAILED (see $report)"
    status=1
  fi
done

# Every saved fuzz input, each target's replay in one process, leaks checked at exit.
for replay in "$root/$build"/tests/*_replay; do
  name=$(basename "$replay" _replay)
  log=$work/replay-$name.log
  if (cd "$root/$build" && "$replay" "$root/tests/fuzz/corpus/$name" "$root/tests/fuzz/crashes/$name") \
        >"$log" 2>&1 && ! finding "replay $name" "$log"; then
    inputs=0
    for folder in "$root/tests/fuzz/corpus/$name" "$root/tests/fuzz/crashes/$name"; do
      if [ -d "$folder" ]; then inputs=$((inputs + $(find "$folder" -type f | wc -l))); fi
    done
    echo "sanitizers: replay $name clean ($inputs inputs)"
  else
    finding "replay $name" "$log" || { echo "== replay $name failed"; tail -20 "$log"; } >>"$report"
    echo "sanitizers: replay $name FAILED (see $report)"
    status=1
  fi
done

[ "$status" = 0 ] || { echo "sanitizer findings:"; head -100 "$report"; }
exit $status
