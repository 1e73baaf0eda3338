#!/usr/bin/env bash
# Builds Festoonery and captures the greeting to a video with its soundtrack:
#   bash scripts/video.sh [festoonery-capture options] [OUTPUT]
# OUTPUT (default greeting.mp4) is relative to the folder this is started from. With no
# display set it renders on a private Xvfb with Mesa's software renderer, which is much
# slower than a GPU at 1920x1080.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/deps.sh" video
cmake -S "$repo" -B "$repo/build" -DFESTOONERY_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$repo/build" -j"$(nproc)"

. "$repo/scripts/lib_xvfb.sh"
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || { echo "could not start Xvfb" >&2; exit 1; }
fi
[ $# -gt 0 ] || set -- greeting.mp4
"$repo/build/run/festoonery-capture" "$@"
