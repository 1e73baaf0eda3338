# Sourced by the scripts that need a display of their own.
# start_private_xvfb: starts a 1920x1080 Xvfb on a display number it picks itself (no
# race with other servers starting), exports DISPLAY and sets xvfb_pid; the caller
# kills it when done. Returns 1 when none could be started.
start_private_xvfb() {
  local file
  file=$(mktemp "${TMPDIR:-/tmp}/festoonery-display.XXXXXX") || return 1
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -noreset -nolisten tcp 3>"$file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$file" ] && break; sleep 0.1; done
  if [ -s "$file" ]; then
    export DISPLAY=":$(head -1 "$file")"
    rm -f "$file"
    return 0
  fi
  kill "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  rm -f "$file"
  return 1
}

# skip_without_display REASON: for test scripts that found no display. Ends the script
# as skipped (status 77, the tests' SKIP_RETURN_CODE), or as failed when
# FESTOONERY_REQUIRE_GL is set (the test command sets it: there it must not skip).
skip_without_display() {
  if [ -n "${FESTOONERY_REQUIRE_GL:-}" ] && [ "$FESTOONERY_REQUIRE_GL" != 0 ]; then
    echo "FAIL: $1"
    exit 1
  fi
  echo "SKIP: $1; the OpenGL tests need a display (or Xvfb)"
  exit 77
}
