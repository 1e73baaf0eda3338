#!/usr/bin/env bash
# The GTK setup dialog as a viewer uses it: Escape cancels; Tab walks the controls in
# template order (resolution, anti-aliasing, Runit, Nah, Fullscreen, Vsync), Space
# ticks, Enter confirms; then the OpenGL window opens.
source "$(dirname "$0")/lib_shell.sh"
export FESTOONERY_UI=gtk

gtk_dialog() {
    local w
    for _ in $(seq 1 100); do
        w=$(xdotool search --onlyvisible --name '^Festoonery!$' 2>/dev/null | head -1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    return 1
}

fresh_run escape
printf 'width 800 height 600 flags 0\n' >"$run/default.cfg"
start_festoonery
if w=$(gtk_dialog); then press_in_window "$w" Escape; else fail "no GTK dialog"; fi
finish
expect_status 0 "$status"
expect_log "$run/out.log" 'Using SDL version 1\.2\.[0-9]+' 'Loading default configuration from default\.cfg' 'Bye!'
expect_file "$run/default.cfg" 'width 800 height 600 flags 0'

fresh_run keyboard
printf 'width 800 height 600 flags 0\n' >"$run/default.cfg"
start_festoonery
if w=$(gtk_dialog); then
    # From the resolution list: five tabs reach "&Vsync enable"; four back "&Fullscreen"
    # is skipped. Space unticks vsync; Enter on a check box confirms.
    press_in_window "$w" Tab Tab Tab Tab Tab space Return
else
    fail "no GTK dialog"
fi
wait_for "$run/out.log" 'Using GLEW' || fail "no window after Enter"
if win=$(sdl_window); then press_in_window "$win" Escape; else fail "no SDL window"; fi
finish
expect_status 0 "$status"
expect_file "$run/default.cfg" $'width 800\nheight 600\nflags 0\nsamples 4\nvsync 0'
expect_contains "$run/err.log" "[dialog] Festoonery! | Choose resolution; (800x600 of 18); Anti-aliasing; (4x of 5); <&Runit>; <&Nah>; [ ] &Fullscreen; [ ] &Vsync enable"
expect_contains "$run/err.log" "[dialog] answered ok"

fresh_run close_button
printf 'width 800 height 600 flags 0\n' >"$run/default.cfg"
start_festoonery
if w=$(gtk_dialog); then
    # Alt+N is the "&Nah" mnemonic.
    press_in_window "$w" alt+n
else
    fail "no GTK dialog"
fi
finish
expect_status 0 "$status"
expect_contains "$run/out.log" "Bye!"
expect_contains "$run/err.log" "[dialog] answered cancel"

report
