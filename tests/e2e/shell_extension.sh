#!/usr/bin/env bash
# A missing OpenGL extension asks the viewer: Cancel ends the run with status 1, OK
# goes on. Mesa's MESA_EXTENSION_OVERRIDE hides extensions from a real context.
source "$(dirname "$0")/lib_shell.sh"
export FESTOONERY_UI=script
table="GLEW_ARB_vertex_program GLEW_ARB_fragment_program GLEW_ARB_multitexture GLEW_ARB_vertex_shader
GLEW_ARB_fragment_shader GLEW_ARB_multisample GLEW_ARB_point_sprite GLEW_EXT_texture_filter_anisotropic
GLEW_ARB_vertex_buffer_object GLEW_EXT_framebuffer_object GLEW_ARB_texture_non_power_of_two
GLEW_ARB_texture_float GLEW_ARB_draw_buffers"

box_text() {
    printf '%s' "[box] Extension $1 not supported! | Extension $1 not supported, which means this demo probably won't run very well or at all. If you still want to risk it, press OK. \\n\\n(Side effects may include bubonic plague, outbreaks of cholera, Spontaneous Massive Existence Failures and other conditions too horrible for mere words. The author of this application does not take responsibility for any damages, injuries or death resulting from the erroneous use of this product.)"
}

# The extension names asked about, in order.
asked() { sed -n 's/^\[box\] Extension \([A-Za-z_]*\) not supported! .*/\1/p' "$run/err.log"; }

# The names asked must follow the table's order.
expect_table_order() {
    local last=0 name index
    for name in $(asked); do
        index=$(printf '%s\n' $table | grep -nx "$name" | cut -d: -f1)
        [ -n "$index" ] || { fail "asked about $name, which is not checked"; continue; }
        [ "$index" -gt "$last" ] || fail "$name asked out of order"
        last=$index
    done
}

expect_start_lines() {
    expect_log_starts "$run/out.log" \
        'Using SDL version 1\.2\.[0-9]+' \
        'Loading default configuration from default\.cfg' \
        'Saving default configuration to default\.cfg' \
        'Created 640x480 surface with [0-9]+ samples' \
        'Using GLEW [0-9.]+'
}

# One extension fully removed: one question; Cancel ends with 1, OK goes on.
export MESA_EXTENSION_OVERRIDE=-GL_ARB_texture_non_power_of_two
fresh_run npot_cancel
printf 'width 640 height 480 flags 0\n' >"$run/default.cfg"
FESTOONERY_ANSWERS=ok,cancel start_festoonery
finish
expect_status 1 "$status"
[ "$(asked)" = GLEW_ARB_texture_non_power_of_two ] || fail "questions: $(asked)"
expect_contains "$run/err.log" "$(box_text GLEW_ARB_texture_non_power_of_two)"
expect_contains "$run/err.log" "[box] answered cancel"
expect_start_lines

# OK goes on with the start-up. Mesa then gives a context that cannot hold the
# production's non-power-of-two picture, so the run ends in order at the first OpenGL
# call that fails: a box and status 1, never a crash.
expect_went_on() {
    expect_contains "$run/out.log" "Reading datafile data.mvt..."
    expect_status 1 "$status"
    grep -qE '^\[box\] (Error in file|OpenGL error detected)' "$run/err.log" ||
        fail "no orderly fatal box after going on: $(grep '^\[box\]' "$run/err.log")"
}

fresh_run npot_ok
printf 'width 640 height 480 flags 0\n' >"$run/default.cfg"
FESTOONERY_ANSWERS=ok,ok start_festoonery
finish
[ "$(asked)" = GLEW_ARB_texture_non_power_of_two ] || fail "questions: $(asked)"
expect_start_lines
expect_went_on

# GL_ARB_point_sprite: Mesa says it cannot disable it, yet GLEW then reports it (and a
# few others with it) missing. Every question comes in table order; the first Cancel ends.
export MESA_EXTENSION_OVERRIDE=-GL_ARB_point_sprite
fresh_run point_sprite_cancel
printf 'width 640 height 480 flags 0\n' >"$run/default.cfg"
FESTOONERY_ANSWERS=ok,cancel start_festoonery
finish
expect_status 1 "$status"
[ "$(asked | wc -l)" -eq 1 ] || fail "Cancel must end at the first question: $(asked)"
expect_contains "$run/err.log" "[box] answered cancel"
expect_start_lines

fresh_run point_sprite_ok
printf 'width 640 height 480 flags 0\n' >"$run/default.cfg"
FESTOONERY_ANSWERS=ok start_festoonery
finish
expect_contains "$run/err.log" "$(box_text GLEW_ARB_point_sprite)"
expect_table_order
expect_start_lines
# That context has no GLSL shader objects left: the first shader program names the
# missing entry point.
expect_contains "$run/err.log" "does not offer glCreateShaderObjectARB"
expect_went_on

report
