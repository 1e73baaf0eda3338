# Helpers for the shell's end-to-end tests (sourced). Each test runs the program in a
# private folder of its own (the runtime folder is shared), on a private Xvfb (the
# display given in DISPLAY only when Xvfb is missing), with Mesa's software renderer.
set -uo pipefail

: "${RUNTIME_DIR:?RUNTIME_DIR must name the runtime folder of the build}"
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
unset FESTOONERY_UI FESTOONERY_ANSWERS MESA_EXTENSION_OVERRIDE

failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-e2e.XXXXXX")
. "${SOURCE_DIR:?}/scripts/lib_xvfb.sh"
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A private X server per script: tests running in parallel must not send their key
# presses to each other's windows.
if command -v Xvfb >/dev/null; then start_private_xvfb; fi
[ -n "${DISPLAY:-}" ] || skip_without_display "no display and no Xvfb"
echo "display $DISPLAY"

# fresh_run NAME: a new working folder $run with its own copy of the program and the
# build's asset archive.
fresh_run() {
    run="$work/$1"
    mkdir -p "$run"
    cp "$RUNTIME_DIR/festoonery" "$run/festoonery"
    [ -e "$RUNTIME_DIR/data.mvt" ] && ln -s "$RUNTIME_DIR/data.mvt" "$run/data.mvt"
    echo "== $1"
}

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

prefix='^[0-9]{4}-[0-9]{2}-[0-9]{2} [ 12][0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]{3} '
# Mesa writes this line to stdout itself when an override cannot take an extension away.
foreign="^Warning: extension '[A-Za-z_]+' cannot be disabled\$"

# The log without its timestamp prefixes; a line of ours without a prefix fails.
log_text() {
    local file=$1
    if grep -vE "$foreign" "$file" | grep -vqE "$prefix"; then
        fail "log lines without the timestamp prefix in $file:"
        grep -vE "$foreign" "$file" | grep -vE "$prefix" >&2
    fi
    grep -vE "$foreign" "$file" | cut -c25-
}

# expect_log FILE LINE...: the log, without prefixes, is exactly these lines (regexes).
# expect_log_starts FILE LINE...: the log begins with these lines (a run that went on
# to load the production logs more).
expect_log_starts() {
    whole_log=no expect_log "$@"
}
expect_log() {
    local file=$1
    shift
    local actual
    actual=$(log_text "$file")
    local i=1 expected
    for expected in "$@"; do
        local line
        line=$(printf '%s\n' "$actual" | sed -n "${i}p")
        if ! printf '%s\n' "$line" | grep -qE "^($expected)\$"; then
            fail "log line $i: expected /$expected/, got '$line'"
        fi
        i=$((i + 1))
    done
    local count=0
    [ -n "$actual" ] && count=$(printf '%s\n' "$actual" | grep -c '')
    if [ "${whole_log:-yes}" = yes ]; then
        [ "$count" -eq $# ] || fail "log has $count lines, expected $#:"$'\n'"$actual"
    else
        [ "$count" -ge $# ] || fail "log has $count lines, expected at least $#:"$'\n'"$actual"
    fi
}

expect_status() {
    [ "$2" -eq "$1" ] || fail "exit status: expected $1, got $2"
}

expect_contains() {  # FILE TEXT (fixed string)
    grep -qF -- "$2" "$1" || { fail "$1 lacks '$2'"; sed 's/^/    /' "$1"; }
}

expect_file() {  # PATH EXPECTED-CONTENTS
    local actual
    actual=$(cat "$1" 2>/dev/null || echo "(missing)")
    [ "$actual" = "$2" ] || fail "$1: expected"$'\n'"$2"$'\n'"got"$'\n'"$actual"
}

# start_festoonery: runs ./festoonery in $run in the background (pid in $pid), stdout
# in $run/out.log, stderr in $run/err.log. SDL turns SIGTERM into a quit request, so
# the timeout ends with SIGKILL when that is not enough.
start_festoonery() {
    (cd "$run" && exec timeout -k 5 60 ./festoonery >out.log 2>err.log) &
    pid=$!
}

# finish: waits for the background run and sets $status.
finish() {
    wait "$pid"
    status=$?
}

# wait_for FILE REGEX: up to 30 s for a line to appear.
wait_for() {
    for _ in $(seq 1 300); do
        grep -qE -- "$2" "$1" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || { grep -qE -- "$2" "$1" 2>/dev/null; return; }
        sleep 0.1
    done
    return 1
}

# program_pid: the festoonery process under the timeout wrapper ($pid).
program_pid() {
    pgrep -P "$pid" 2>/dev/null | head -1
}

# sdl_window: the visible window of the running program (SDL's names cannot be searched).
sdl_window() {
    local prog w
    for _ in $(seq 1 100); do
        prog=$(program_pid)
        if [ -n "$prog" ]; then
            w=$(xdotool search --onlyvisible --pid "$prog" 2>/dev/null | tail -1)
            [ -n "$w" ] && { echo "$w"; return 0; }
        fi
        sleep 0.1
    done
    return 1
}

press_in_window() {  # WINDOW KEY...
    local w=$1
    shift
    xdotool windowfocus --sync "$w" >/dev/null 2>&1 || xdotool windowfocus "$w"
    xdotool key --delay 80 "$@"
}

report() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "all passed"
    exit 0
}
