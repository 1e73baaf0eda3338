#!/usr/bin/env bash
# Builds the Debian packages of Festoonery in the folder this is started from:
# festoonery_VERSION_amd64.deb (the programs) and festoonery-dev_VERSION_amd64.deb (the
# engine for productions of their own: libraries, headers, CMake and pkg-config files):
#   bash scripts/package.sh
# It installs what is missing (dpkg-dev among it: cpack computes the package's
# dependencies from the binaries with dpkg-shlibdeps), builds in build/ and runs
# `cpack -G DEB` there. Install the result with `sudo apt-get install ./festoonery_*.deb`
# (and ./festoonery-dev_*.deb beside it to build productions).
# The libraries, CMake package and pkg-config file go to Debian's multiarch folder
# (lib/x86_64-linux-gnu), where pkg-config and find_package look for them.
set -euo pipefail
out=$(pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/deps.sh" package
cmake -S "$repo" -B "$repo/build" -DFESTOONERY_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_LIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" >/dev/null
cmake --build "$repo/build" -j"$(nproc)"
rm -f "$repo"/build/festoonery_*.deb "$repo"/build/festoonery-dev_*.deb
(cd "$repo/build" && cpack -G DEB)
for deb in $(cd "$repo/build" && ls festoonery_*.deb festoonery-dev_*.deb); do
  [ "$repo/build" -ef "$out" ] || cp "$repo/build/$deb" "$out/"
  echo "wrote $out/$deb"
done
