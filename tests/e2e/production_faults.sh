#!/usr/bin/env bash
# The demo and festoonery-capture on damaged and unusual inputs: a pipe or a folder as
# data.mvt, a pipe as default.cfg, a file-size limit while the settings are saved, and
# archives whose fonts are damaged. Each ends in order (the box and status 1, or the
# logged line and on), never hangs and never dies of a signal.
source "$(dirname "$0")/lib_shell.sh"
export FESTOONERY_UI=script FESTOONERY_ANSWERS=ok
TOOL="${BUILD_DIR:?}/tools/festoonery-tool/festoonery-tool"
capture="$RUNTIME_DIR/festoonery-capture"

# run_demo [FILE-SIZE-LIMIT]: runs ./festoonery in $run to its end, all output in
# $run/out.log (through a pipe, which no file-size limit cuts), status in $status.
run_demo() {
    (cd "$run" && (ulimit -f "${1:-unlimited}" && exec timeout -k 5 60 ./festoonery) 2>&1 | cat >out.log)
    status=$?
}

fresh_run settings_pipe_and_no_archive
rm -f "$run/data.mvt"
mkfifo "$run/default.cfg"
run_demo
expect_status 1 "$status"
expect_contains "$run/out.log" "No default configuration file found... oh well, moving on."
expect_contains "$run/out.log" 'Failed to open data file data.mvt for reading.\nNo such file or directory'

fresh_run archive_pipe
rm -f "$run/data.mvt" && mkfifo "$run/data.mvt"
run_demo
expect_status 1 "$status"
expect_contains "$run/out.log" 'Failed to open data file data.mvt for reading.\nNot a regular file (a pipe, device or socket)'

fresh_run archive_folder
rm -f "$run/data.mvt" && mkdir "$run/data.mvt"
run_demo
expect_status 1 "$status"
expect_contains "$run/out.log" 'Failed to open data file data.mvt for reading.\nIs a directory'

# A failed save only logs its line (no SIGXFSZ); the run then stops at the missing archive.
fresh_run file_size_limit
rm -f "$run/data.mvt"
printf 'width 640\nheight 480\nflags 0\nsamples 0\nvsync 0\n' >"$run/default.cfg"
run_demo 0
expect_status 1 "$status"
expect_contains "$run/out.log" "Failed to save default configuration to default.cfg... oh well, moving on."
expect_contains "$run/out.log" 'Failed to open data file data.mvt for reading.'
expect_file "$run/default.cfg" $'width 640\nheight 480\nflags 0\nsamples 0\nvsync 0'

# Archives with a damaged font: the loose tree with the font replaced, packed by the tool.
packed_with_font() {  # FONT-NAME CONTENTS-COMMAND OUT
    local tree="$work/tree-$1"
    mkdir -p "$tree/data" && cp -r "$SOURCE_DIR/data/common" "$tree/data/"
    eval "$2" >"$tree/data/common/fonts/$1"
    (cd "$tree" && "$TOOL" pack -o "$3" >/dev/null) || fail "packing with a damaged $1"
    rm -rf "$tree"
}
packed_with_font courier_new.ttf "head -c 1000 '$SOURCE_DIR/data/common/fonts/courier_new.ttf'" "$work/cut_courier.mvt"
packed_with_font BaroqueScript.ttf "printf 'garbage'" "$work/garbage_baroque.mvt"

for case in cut_courier:courier_new garbage_baroque:BaroqueScript; do
    archive=${case%%:*} font=${case#*:}
    fresh_run "$archive"
    rm -f "$run/data.mvt" && cp "$work/$archive.mvt" "$run/data.mvt"
    printf 'width 320\nheight 180\nflags 0\nsamples 0\nvsync 0\n' >"$run/default.cfg"
    run_demo
    expect_status 1 "$status"
    expect_contains "$run/out.log" "Failed to load font data/common/fonts/$font.ttf: FreeType error"
done

# The capture stops the same way and removes the output folders it made itself.
echo "== capture with a damaged font"
if [ -x "$capture" ]; then
    (cd "$work" && exec timeout -k 5 120 "$capture" --archive garbage_baroque.mvt --size 64x36 --samples 0 \
        --from 0b --to 1b made/frames) >"$work/capture.log" 2>&1
    status=$?
    expect_status 1 "$status"
    expect_contains "$work/capture.log" "Failed to load font data/common/fonts/BaroqueScript.ttf: FreeType error"
    [ ! -e "$work/made" ] || fail "the failed capture left $(find "$work/made")"
else
    fail "no festoonery-capture at $capture"
fi

# --words for a party: words the demo cannot take are refused with status 2, their form
# before anything starts, a character no installed font draws before the first frame; words it
# can take are drawn in place of its own.
fresh_run words
(cd "$run" && timeout -k 5 60 ./festoonery --words "a,b,c" >out.log 2>&1)
expect_status 2 $?
expect_contains "$run/out.log" 'festoonery: bad --words: expected exactly 8 words separated by commas, got 3: "a", "b", "c"'
[ -e "$run/default.cfg" ] && fail "--words refused after the settings were touched"
(cd "$run" && timeout -k 5 60 ./festoonery --words "a,Hi 𑼄,c,d,e,f,g,h" >out.log 2>&1)
expect_status 2 $?
expect_contains "$run/out.log" 'festoonery: word 2 ("Hi 𑼄"): U+11F04 KAWI LETTER A (Kawi): no installed font draws it'
printf '%s\n' Happy 40th birthday 'Anna, dear!' Love from Bob 'and Eve' >"$run/words.txt"
(cd "$run" && timeout -k 5 10 ./festoonery --words-file words.txt >out.log 2>&1)
expect_status 124 $?
expect_contains "$run/out.log" 'Drawing the words of the command line: Happy, 40th, birthday, Anna, dear!, Love, from, Bob, and Eve'

report
