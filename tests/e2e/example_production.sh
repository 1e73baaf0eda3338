#!/usr/bin/env bash
# The example production (examples/hello) as a demo maker uses it, under a private Xvfb:
# it plays its song to the end and ends by itself, it runs in development mode (a shader
# broken from the start stands in until a save of the fix rebuilds it), and its
# program's --capture writes PNG frames that follow its modulator (the kick's ring).
set -uo pipefail

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"
run="$BUILD_DIR/examples/hello/run"
binary="$run/hello"
[ -x "$binary" ] || { echo "FAIL: no example program at $binary"; exit 1; }
[ -f "$run/data.mvt" ] || { echo "FAIL: no data.mvt in $run"; exit 1; }

. "$SOURCE_DIR/tests/e2e/lib_production.sh"

# --- plays: the whole 17-second song, then an orderly end -------------------------------
mkdir -p "$work/play"
ln -s "$run/data.mvt" "$work/play/data.mvt"
(cd "$work/play" && timeout 120 "$binary" >out.log 2>err.log)
status=$?
if [ $status -eq 0 ] && grep -q ' \[Pulse\]' "$work/play/out.log" &&
   grep -q '=== Done loading 1 scene(s) ===' "$work/play/out.log" &&
   grep -q 'Compiling and linking GLSL: data/hello/shaders/pulse.vert data/hello/shaders/pulse.frag' "$work/play/out.log"; then
  pass "plays to the end of its music with its own scene and program"
else
  fail "play: status $status; $(tail -5 "$work/play/out.log") $(tail -3 "$work/play/err.log")"
fi

# --- development mode: its own loose tree, its shader broken from the start -------------
# The run stays up with the driver's line and the files named, the saved fix is rebuilt,
# a uniform that misnames a modulator is logged once, SIGTERM ends it with status 0.
dev="$work/dev"
mkdir -p "$dev/data"
ln -s "$SOURCE_DIR/data/common" "$dev/data/common"
cp -r "$SOURCE_DIR/examples/hello/data" "$dev/data/hello"
good="$SOURCE_DIR/examples/hello/data/shaders/pulse.frag" frag="$dev/data/hello/shaders/pulse.frag"
sed 's/length(p)/length(q)/' "$good" >"$frag"
(cd "$dev" && exec timeout -k 5 120 "$binary" --dev >dev.log 2>&1) &
dev_pid=$!
until_logged() { for _ in $(seq 1 300); do grep -qE -- "$1" "$dev/dev.log" && return 0; sleep 0.1; done; return 1; }
pair='pulse\.vert \+ pulse\.frag'
until_logged '\[dev\] kept [0-9]+ states' &&
  grep -qE "\[dev\] shader $pair failed to build, drawing nothing until it builds: fragment shader compile failed: 0:[0-9]+\([0-9]+\): error: .q' undeclared" "$dev/dev.log" &&
  kill -0 "$dev_pid" && pass "--dev stays up on a shader broken from the start, naming it" ||
  fail "--dev broken: $(tail -3 "$dev/dev.log")"
cp "$good" "$frag"
until_logged "\[dev\] shader $pair built, drawing again" && until_logged '\[dev\] reloaded 1 shader programs' &&
  pass "--dev rebuilds the scene's own program when its fix is saved" || fail "--dev fix: $(tail -3 "$dev/dev.log")"
sed 's/kick_glow/kick_glw/g' "$good" >"$frag"
typo="Warning - uniform kick_glw of pulse.vert + pulse.frag: no modulator 'kick glw'; did you mean 'kick glow'?"
until_logged 'Warning - uniform kick_glw'; sleep 1
[ "$(grep -cF -- "$typo" "$dev/dev.log")" = 1 ] && pass "a misnamed modulator's uniform is logged once" ||
  fail "misnamed uniform: $(grep -F 'Warning - uniform' "$dev/dev.log")"
kill -TERM "$(pgrep -P "$dev_pid")"
wait "$dev_pid"
status=$?
[ $status -eq 0 ] && ! grep -q '^\[box\]' "$dev/dev.log" && pass "--dev ends with status 0" ||
  fail "--dev end: status $status"

# --- capture: frames numbered in the whole production, following the kick ---------------
cd "$work" || exit 1
"$binary" --capture --help >help.txt 2>&1
grep -q "Usage: hello --capture \[OPTIONS\] OUTPUT" help.txt && pass "--capture --help" ||
  fail "--capture --help: $(head -2 help.txt)"
# 25 fps from 2.0 s (beat 4, a kick) to 2.4 s: frame 51 is the kick's flash (beat 4.08),
# frame 59 lies after its release (beat 4.72).
(cd "$run" && "$binary" --capture "$work/frames" --size 96x54 --fps 25 --from 2s --to 2.4s --quiet) \
  >capture.log 2>&1
status=$?
count=$(ls frames 2>/dev/null | grep -c '^frame_0000[0-9][0-9]\.png$')
if [ $status -eq 0 ] && [ "$count" = 11 ] && [ -f frames/frame_000050.png ] && [ -f frames/frame_000060.png ]; then
  pass "--capture writes frames 50 to 60"
else
  fail "--capture: status $status, $count frames; $(tail -3 capture.log)"
fi
if [ -f frames/frame_000051.png ] && ! cmp -s frames/frame_000051.png frames/frame_000059.png; then
  pass "the kick's frame differs from the one after its release"
else
  fail "frames 51 and 59 are the same"
fi
# The same frames again: a capture depends only on its options.
(cd "$run" && "$binary" --capture "$work/again" --size 96x54 --fps 25 --from 2s --to 2.4s --quiet) \
  >/dev/null 2>&1
if cmp -s frames/frame_000051.png again/frame_000051.png; then
  pass "a second capture gives the same frame"
else
  fail "a second capture differs"
fi

finish
