#!/usr/bin/env bash
# A fuzzing campaign that accumulates: every libFuzzer target (tests/fuzz/NAME_fuzz.cpp)
# runs for SECONDS (default 300) from its committed corpus, one target after another on
# one core; inputs that add coverage are merged back (-merge=1, smallest input per
# feature) into tests/fuzz/corpus/NAME/, and every crash, leak, timeout or out-of-memory
# input is copied to tests/fuzz/crashes/NAME/, where the tests replay it. Commit both
# folders afterwards.
#
# Usage: scripts/fuzz.sh [SECONDS] [NAME...]
#   FUZZ_NICE: nice level (default 10); FUZZ_BUILD: build folder (default build-fuzz);
#   FUZZ_MAX_FINDINGS: a target stops after this many findings (default 5): the same
#   fault is found again and again until it is fixed.
# Prints one line per target: executions, new corpus files, findings; the same lines
# go to BUILD/campaign/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
root=$PWD
build=${FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DFESTOONERY_LIBFUZZER=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers >/dev/null

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for source in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    names+=("$name")
  done
fi

campaign=$root/$build/campaign
mkdir -p "$campaign"
summary=$campaign/summary.txt
: >"$summary"
# Leaks are findings (except those of other libraries named in scripts/sanitizers.supp);
# undefined behaviour stops the run like a crash does.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$root/scripts/sanitizers.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

for name in "${names[@]}"; do
  fuzzer=$root/$build/tests/${name}_fuzzer
  corpus=$root/tests/fuzz/corpus/$name
  crashes=$root/tests/fuzz/crashes/$name
  work=$campaign/$name
  rm -rf "$work"
  mkdir -p "$work/new" "$work/artifacts" "$corpus"
  executions=0 findings=0
  deadline=$((SECONDS + seconds))
  # A finding ends libFuzzer's run; the next run goes on from what was found so far
  # until the target's time is used up.
  while [ $((deadline - SECONDS)) -gt 0 ]; do
    left=$((deadline - SECONDS))
    # Runs from the target's scratch folder: some targets write files by relative name.
    (cd "$work" && nice -n "${FUZZ_NICE:-10}" "$fuzzer" -max_total_time="$left" -rss_limit_mb=2048 \
        -timeout=10 -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/new" "$corpus") >"$work/run.log" 2>&1 || true
    cat "$work/run.log" >>"$work/all.log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/run.log" | tail -1)
    executions=$((executions + ${runs:-0}))
    found=0
    for artifact in "$work"/artifacts/*; do
      [ -f "$artifact" ] || continue
      mkdir -p "$crashes"
      cp "$artifact" "$crashes/"
      echo "  $name: finding $(basename "$artifact")"
      rm -f "$artifact"
      found=1 findings=$((findings + 1))
    done
    # libFuzzer stopped for something other than a finding (it could not start): stop.
    [ "$found" = 1 ] || break
    if [ "$findings" -ge "${FUZZ_MAX_FINDINGS:-5}" ]; then
      echo "  $name: $findings findings, stopping this target until they are fixed"
      break
    fi
  done
  before=$(find "$corpus" -type f | wc -l)
  (cd "$work" && "$fuzzer" -merge=1 -rss_limit_mb=2048 -timeout=10 -close_fd_mask=2 \
      "$corpus" "$work/new") >"$work/merge.log" 2>&1 || echo "  $name: merge failed, see $work/merge.log"
  after=$(find "$corpus" -type f | wc -l)
  line="$name: $executions executions in ${seconds} s, corpus $before -> $after files ($(du -sk --apparent-size "$corpus" | cut -f1) KiB), $findings findings"
  echo "$line" | tee -a "$summary"
done
