#!/usr/bin/env bash
# Builds Festoonery and plays it from its runtime folder (build/run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build -DFESTOONERY_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
cd build/run
exec ./festoonery "$@"
