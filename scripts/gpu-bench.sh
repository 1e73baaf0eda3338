#!/usr/bin/env bash
# The particle paths compared on a machine with an NVIDIA GPU: festoonery-bench --compare
# at 1920x1080 (4 samples, vsync off) under Xvfb, with GLX from the NVIDIA driver.
#
# Such a machine has no network and no development packages, so the work is split:
#   scripts/gpu-bench.sh prepare   here (network, Debian 12): builds festoonery-bench and
#                                  gathers into .gpu-bench/ what the GPU machine lacks (the
#                                  program's libraries, data.mvt, Xvfb and its libraries,
#                                  xkbcomp and the keyboard data, the glvnd and Mesa
#                                  packages)
#   scripts/gpu-bench.sh run       there, in the repository root with .gpu-bench carried:
#                                  unpacks, starts Xvfb, runs the benchmark; the table and
#                                  the JSON go to $OUT (or .gpu-bench/out)
# With the device tool of this workplace, after prepare:
#   run(command="bash scripts/gpu-bench.sh run", carry=[".gpu-bench"], timeout_s=600)
# Extra arguments after run go to festoonery-bench (for example --limit 300).
# Environment: BUILD_DIR (default build-gpu), LIMIT (default 300 frames per section).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bundle=$root/.gpu-bench
what=${1:-}
[ $# -gt 0 ] && shift

# Libraries the device machine has itself (the C library and its loader) or must take
# from the glvnd packages and the NVIDIA driver (libGL and friends): never bundled.
system_lib() {
  case "$(basename "$1")" in
    linux-vdso*|ld-linux*|libc.so*|libm.so*|libdl.so*|libpthread.so*|librt.so*) return 0 ;;
    libGL.so*|libGLX.so*|libGLdispatch.so*|libOpenGL.so*|libEGL.so*|libGLESv2.so*) return 0 ;;
  esac
  return 1
}

copy_libs() {  # copy_libs BINARY...: every shared library they load, into $bundle/lib
  local lib
  for lib in $(ldd "$@" | awk '/=> \//{print $3}' | sort -u); do
    system_lib "$lib" || cp -L "$lib" "$bundle/lib/"
  done
}

prepare() {
  local build=${BUILD_DIR:-build-gpu}
  bash scripts/deps.sh test
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
  fi
  cmake --build "$build" -j"$(nproc)" --target festoonery-bench festoonery-archive
  rm -rf "$bundle"
  mkdir -p "$bundle/bin" "$bundle/lib" "$bundle/debs" "$bundle/share"
  grep -qx '/.gpu-bench/' .git/info/exclude 2>/dev/null || echo '/.gpu-bench/' >> "$(git rev-parse --git-path info/exclude)"
  local runtime
  runtime=$(dirname "$(find "$build" -name festoonery-bench -type f -perm -u+x | head -1)")
  cp "$runtime/festoonery-bench" "$runtime/data.mvt" "$bundle/bin/"
  cp /usr/bin/Xvfb /usr/bin/xkbcomp "$bundle/bin/"
  copy_libs "$bundle/bin/festoonery-bench" /usr/bin/Xvfb /usr/bin/xkbcomp
  cp -r /usr/share/X11/xkb "$bundle/share/"
  # glvnd (the dispatching libGL the NVIDIA driver plugs into) and Mesa's DRI drivers,
  # which Xvfb's own GLX extension loads.
  local o=(-oAPT::Architecture=amd64 -oAPT::Architectures=amd64)
  (cd "$bundle/debs" && apt-get "${o[@]}" download libglvnd0 libgl1 libglx0 libopengl0 libegl1 \
      libgles2 libglx-mesa0 libgl1-mesa-dri libglapi-mesa)
  du -sh "$bundle"
  echo "prepared: on the GPU machine run 'bash scripts/gpu-bench.sh run' with .gpu-bench carried"
}

run_bench() {
  [ -x "$bundle/bin/festoonery-bench" ] || { echo "no $bundle: run 'scripts/gpu-bench.sh prepare' first" >&2; exit 1; }
  local out=${OUT:-$bundle/out}
  mkdir -p "$out"
  # The GL packages go to / as the device notes advise; everything else stays in the
  # bundle and is found through LD_LIBRARY_PATH.
  for f in "$bundle"/debs/*.deb; do dpkg -x "$f" /; done
  ldconfig
  # Xvfb calls xkbcomp and reads the keyboard data from their built-in places.
  [ -x /usr/bin/xkbcomp ] || cp "$bundle/bin/xkbcomp" /usr/bin/xkbcomp
  [ -d /usr/share/X11/xkb ] || { mkdir -p /usr/share/X11 && cp -r "$bundle/share/xkb" /usr/share/X11/xkb; }
  export LD_LIBRARY_PATH=$bundle/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  nvidia-smi --query-gpu=name,driver_version --format=csv,noheader > "$out/gpu.txt" 2>&1 || true
  local display=:97
  "$bundle/bin/Xvfb" "$display" -screen 0 1920x1080x24 -nolisten tcp -noreset > "$out/xvfb.log" 2>&1 &
  local xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X97 ] && break; sleep 0.2; done
  export DISPLAY=$display __GLX_VENDOR_LIBRARY_NAME=nvidia SDL_AUDIODRIVER=dummy
  unset LIBGL_ALWAYS_SOFTWARE
  cd "$bundle/bin"
  set -o pipefail
  ./festoonery-bench --compare --size 1920x1080 --samples 4 --limit "${LIMIT:-300}" \
      --json "$out/gpu-bench.json" "$@" 2> "$out/bench.err" | tee "$out/gpu-bench.txt"
  grep -q "renderer: .*NVIDIA" "$out/gpu-bench.txt" || echo "warning: the renderer is not NVIDIA's (see renderer:)" >&2
}

case "$what" in
  prepare) prepare ;;
  run) run_bench "$@" ;;
  *) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
