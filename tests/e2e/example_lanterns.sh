#!/usr/bin/env bash
# The lanterns example (examples/lanterns), made of the engine's scenes only, under a
# private Xvfb: it plays its song to the end with its five scenes and its modulator,
# and its capture gives a different frame every half second of music.
set -uo pipefail

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"
run="$BUILD_DIR/examples/lanterns/run"
binary="$run/lanterns"
[ -x "$binary" ] || { echo "FAIL: no example program at $binary"; exit 1; }
[ -f "$run/data.mvt" ] || { echo "FAIL: no data.mvt in $run"; exit 1; }

. "$SOURCE_DIR/tests/e2e/lib_production.sh"

"$binary" --help >"$work/help.txt" 2>&1
grep -q "^lanterns: Lanterns over a harbour" "$work/help.txt" && pass "--help names the example" ||
  fail "--help: $(head -3 "$work/help.txt")"

# --- plays: the whole 29-second song from its own archive, then an orderly end ----------
mkdir -p "$work/play"
ln -s "$run/data.mvt" "$work/play/data.mvt"
(cd "$work/play" && timeout 120 "$binary" >out.log 2>err.log)
status=$?
if [ $status -eq 0 ] && grep -q '=== Done loading 5 scene(s) ===' "$work/play/out.log" &&
   grep -q "found modulator 'kick glow' for track 'Kick'" "$work/play/out.log" &&
   ! grep -q 'BaroqueScript' "$work/play/out.log"; then
  pass "plays to the end of its music with the engine's scenes, from an archive without the greeting's font"
else
  fail "play: status $status; $(tail -5 "$work/play/out.log") $(tail -3 "$work/play/err.log")"
fi

# --- capture: every frame of the whole song differs from every other --------------------
(cd "$run" && "$binary" --capture "$work/frames" --size 160x90 --fps 2 --quiet) >"$work/capture.log" 2>&1
status=$?
count=$(ls "$work/frames" 2>/dev/null | grep -c '^frame_[0-9]*\.png$')
distinct=$(sha256sum "$work"/frames/frame_*.png 2>/dev/null |
  cut -d' ' -f1 | sort -u | wc -l)
if [ $status -eq 0 ] && [ "$count" -ge 56 ] && [ "$distinct" = "$count" ]; then
  pass "--capture writes $count frames, all different"
else
  fail "--capture: status $status, $count frames, $distinct different; $(tail -3 "$work/capture.log")"
fi

finish
