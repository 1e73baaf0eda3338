#!/usr/bin/env bash
# Checks the Debian package as Debian's tools do:
#   bash scripts/lint-package.sh [PACKAGE.deb]
# (default: build/festoonery_*.deb, made by scripts/package.sh; festoonery-dev_*.deb the
# same way). lintian must report no error and no warning (its informational tags are
# shown, not counted), and the programs' AppStream metainfo must pass
# `appstreamcli validate --no-net`. Exits 1 otherwise.
# Needs lintian and appstream (scripts/deps.sh test installs them).
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(ls "$repo"/build/festoonery_*.deb 2>/dev/null | head -1)}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "lint-package: no package (run bash scripts/package.sh)" >&2; exit 1; }
for tool in lintian appstreamcli dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "lint-package: $tool is missing (bash scripts/deps.sh test)" >&2; exit 1; }
done
status=0

# As root (CI) lintian warns about running as root unless told that it is meant.
as_root=()
[ "$(id -u)" -eq 0 ] && as_root=(--allow-root)
report=$(lintian "${as_root[@]}" --display-info --fail-on error,warning "$deb" 2>&1)
lintian_status=$?
[ -n "$report" ] && sed 's/^/    /' <<<"$report"
errors=$(grep -c '^E: ' <<<"$report")
warnings=$(grep -c '^W: ' <<<"$report")
echo "lint-package: lintian $(lintian --version | awk '{ print $2 }') on $(basename "$deb"):" \
     "$errors error(s), $warnings warning(s), status $lintian_status"
if [ "$lintian_status" != 0 ] || [ "$errors" != 0 ] || [ "$warnings" != 0 ]; then
  echo "lint-package: FAIL: lintian (lintian --info explains each tag)"
  status=1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/festoonery-lint.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work" || { echo "lint-package: FAIL: dpkg-deb -x"; exit 1; }
metainfo=$(ls "$work"/usr/share/metainfo/*.metainfo.xml 2>/dev/null)
if [ "$(dpkg-deb -f "$deb" Package)" = festoonery-dev ]; then
  # The development files: no menu entry of their own, so no metainfo either.
  [ -z "$metainfo" ] || { echo "lint-package: FAIL: festoonery-dev holds metainfo: $metainfo"; status=1; }
elif [ "$(wc -w <<<"$metainfo")" != 1 ]; then
  echo "lint-package: FAIL: the package holds no single metainfo file: ${metainfo:-none}"
  status=1
elif out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1); then
  echo "lint-package: appstreamcli validate ${metainfo#$work}: ok"
else
  sed 's/^/    /' <<<"$out"
  echo "lint-package: FAIL: appstreamcli validate ${metainfo#$work}"
  status=1
fi
exit $status
