# Shared by the tool_*.sh tests: the tool, a scratch folder and small checks.
set -uo pipefail
TOOL="$BUILD_DIR/tools/festoonery-tool/festoonery-tool"
CRAFT="python3 $SOURCE_DIR/tests/e2e/mvt_craft.py"
[ -x "$TOOL" ] || { echo "no tool at $TOOL"; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-tool-test.XXXXXX")
# What the last check printed (kept apart from the files the tests make in $WORK).
OUT=$(mktemp) ERR=$(mktemp)
trap 'rm -rf "$WORK" "$OUT" "$ERR"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

# check NAME EXPECTED_STATUS STDERR_REGEX -- COMMAND...: runs the command, compares the
# exit status and stderr (the regex "^$" means: nothing at all), and that an error is
# one clean line with no box record.
check() {
    local name=$1 want=$2 regex=$3
    shift 4
    "$@" >"$OUT" 2>"$ERR"
    local got=$?
    local lines
    lines=$(wc -l <"$ERR")
    if [ "$got" != "$want" ]; then
        fail "$name: exit status $got, expected $want; stderr: $(cat "$ERR")"
    elif [ "$regex" = '^$' ] && [ -s "$ERR" ]; then
        fail "$name: expected no stderr, got: $(cat "$ERR")"
    elif [ "$regex" != '^$' ] && ! grep -Eq -- "$regex" "$ERR"; then
        fail "$name: stderr does not match /$regex/: $(cat "$ERR")"
    elif grep -q '^\[box\]' "$ERR" "$OUT"; then
        fail "$name: a box record leaked: $(cat "$ERR")"
    elif [ "$want" = 1 ] && [ "$lines" != 1 ]; then
        fail "$name: expected one error line, got $lines: $(cat "$ERR")"
    else
        pass "$name"
    fi
}

finish() {
    if [ "$failures" -gt 0 ]; then echo "$failures check(s) failed"; exit 1; fi
    echo "all checks passed"
}
