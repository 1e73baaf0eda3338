#!/usr/bin/env bash
# The whole production as a user runs it, without a person: festoonery under Xvfb with
# scripted boxes and the silent audio driver plays to the end of its music, logs every
# loading line, warns about no uniform, and ends by itself with status 0.
set -uo pipefail

: "${SOURCE_DIR:?}" "${BUILD_DIR:?}" "${RUNTIME_DIR:?}"
binary="$RUNTIME_DIR/festoonery"
[ -x "$binary" ] || { echo "FAIL: no festoonery binary at $binary"; exit 1; }
[ -f "$RUNTIME_DIR/data.mvt" ] || { echo "FAIL: no data.mvt in $RUNTIME_DIR"; exit 1; }

work="$BUILD_DIR/e2e-production-run"
rm -rf "$work"
mkdir -p "$work"
ln -s "$RUNTIME_DIR/data.mvt" "$work/data.mvt"

. "$SOURCE_DIR/scripts/lib_xvfb.sh"
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || skip_without_display "no display, and Xvfb could not be started"
fi

export FESTOONERY_UI=script FESTOONERY_ANSWERS= SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1
unset FESTOONERY_DATA

start=$(date +%s)
(cd "$work" && timeout 400 "$binary" >stdout.log 2>stderr.log)
status=$?
elapsed=$(( $(date +%s) - start ))

fail=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}

check "exit status 0 (got $status)" test "$status" -eq 0
log="$work/stdout.log"
for line in "=== Loading Scenes ===" " \[ImageDisplay\]" " \[BirthText\]" " \[Oscilloscope\]" \
            " \[Starfield\]" " \[Fireworks\]" "=== Done loading 5 scene(s) ===" "streaming file \["; do
  check "log has '$line'" grep -q -- "$line" "$log"
done
# The scene lines come in timeline order.
order=$(grep -o -E ' \[(ImageDisplay|BirthText|Oscilloscope|Starfield|Fireworks)\]$' "$log" | tr -d ' []\n')
check "scenes load in timeline order ($order)" test "$order" = "ImageDisplayBirthTextOscilloscopeStarfieldFireworks"
# Every uniform of the greeting's programs is the engine's or set by its scenes.
check "no warning about a uniform or a modulator name" \
  bash -c "! grep -q -E 'Warning - (uniform|syncValue)' '$log'"
check "no error, warning or extension box" \
  bash -c "! grep -q -E '^\[box\] (Error|OpenGL error|ERROR|Extension)' '$work/stderr.log'"

# It played to the end of the music: the run lasted at least the stream's length.
length=$(grep -o -E 'streaming file \[[0-9]+ bytes\] [0-9]+:[0-9]{2}' "$log" | grep -o -E '[0-9]+:[0-9]{2}$' | head -1)
if [ -n "$length" ]; then
  seconds=$(( 10#${length%%:*} * 60 + 10#${length##*:} ))
  check "ran ${elapsed}s, at least the music's ${seconds}s" test "$elapsed" -ge "$seconds"
else
  check "the log gives the music's length" false
fi

if [ "$fail" -ne 0 ]; then
  echo "--- stdout (tail)"; tail -n 40 "$log"
  echo "--- stderr (tail)"; tail -n 20 "$work/stderr.log"
fi
exit $fail
