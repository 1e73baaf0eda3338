# Helpers for the end-to-end scripts that run a production's program (sourced): a
# scratch folder $work, removed at the end; a private Xvfb where no display is set;
# boxes answered on standard error, the silent audio driver and the software renderer;
# fail, pass and finish (the summary and the exit status).
set -uo pipefail
: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"

work=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-production.XXXXXX") && [ -d "$work" ] \
  || { echo "FAIL: no scratch folder"; exit 1; }
. "$SOURCE_DIR/scripts/lib_xvfb.sh"
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || skip_without_display "no display, and Xvfb could not be started"
fi
export FESTOONERY_UI=script FESTOONERY_ANSWERS= SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1
unset FESTOONERY_DATA

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
finish() {
  [ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  echo "all passed"
  exit 0
}
