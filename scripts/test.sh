#!/usr/bin/env bash
# Builds Festoonery with its tests and runs every test. Starts a private Xvfb when no
# display is set. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)

cmake -S . -B build-test -DFESTOONERY_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$jobs"

. scripts/lib_xvfb.sh
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || { echo "could not start Xvfb" >&2; exit 1; }
  echo "Using private Xvfb on $DISPLAY"
fi
# No sound card on servers: SDL's dummy driver plays silently at the real rate.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export LIBGL_ALWAYS_SOFTWARE=1
# Here the OpenGL tests have a display: one that cannot be used fails instead of skipping.
export FESTOONERY_REQUIRE_GL=1

status=0
(cd build-test && ctest --output-on-failure -j"$jobs" -LE fuzz) || status=1

# The program under AddressSanitizer and UndefinedBehaviorSanitizer (its own build):
# frames of every section, and every saved fuzz input with leak detection.
bash scripts/sanitizers.sh || status=1

# The libFuzzer targets, built with clang, each fuzzed for a short bounded time.
if ls tests/fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DFESTOONERY_LIBFUZZER=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzzers
  (cd build-fuzz && FUZZ_SECONDS=${FUZZ_SECONDS:-15} ctest --output-on-failure -L fuzz) || status=1
fi

# --- The Debian package, as a user builds and installs it -----------------------------
# scripts/package.sh builds it and festoonery-dev in build/ (Release, as the README's
# Install says); lintian must find no error and no warning in either, and the
# programs' AppStream metainfo must validate
# (scripts/lint-package.sh). scripts/clean-install-test.sh then installs it on a fresh
# minimal Debian 12 root made from the Debian archive, plays it to the end there with no
# sound device, captures frames and removes it (a few minutes; needs root, or sudo, and
# the archive: FESTOONERY_CLEAN_INSTALL=0 leaves it out).
mkdir -p build
if (cd build && bash ../scripts/package.sh); then
  bash scripts/lint-package.sh build/festoonery_*.deb || status=1
  bash scripts/lint-package.sh build/festoonery-dev_*.deb || status=1
  if [ "${FESTOONERY_CLEAN_INSTALL:-1}" != 0 ]; then
    bash scripts/clean-install-test.sh build/festoonery_*.deb || status=1
  else
    echo "clean install left out (FESTOONERY_CLEAN_INSTALL=0)"
  fi
else
  echo "FAIL: scripts/package.sh"
  status=1
fi
exit $status
