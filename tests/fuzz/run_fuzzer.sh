#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time on a copy of its seed corpus.
# Usage: run_fuzzer.sh FUZZER SEED_CORPUS WORK_DIR   (FUZZ_SECONDS, default 20)
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3
rm -rf "$work"; mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus/" 2>/dev/null || true
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
# An undefined-behaviour report is a finding like a crash: it stops the run and fails it
# (the targets are also built with -fno-sanitize-recover=all).
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
"$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -timeout=10 -close_fd_mask=2 \
  -artifact_prefix="$work/artifacts/" "$work/corpus"
