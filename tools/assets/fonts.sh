#!/usr/bin/env bash
# Copies the two fonts under the fixed names the production loads, with their licence
# texts. Generator-only packages: fonts-liberation2 (Liberation Mono: metric-compatible
# with Courier New) and fonts-dancingscript (Dancing Script Bold: a decorative script).
# Both are under the SIL Open Font License 1.1; the files are copied unmodified, only
# renamed (the font names inside stay as they are).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fonts=${1:-$here/../../data/common/fonts}
mkdir -p "$fonts"
cp /usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf "$fonts/courier_new.ttf"
cp /usr/share/fonts/opentype/dancingscript/DancingScript-Bold.otf "$fonts/BaroqueScript.ttf"
cp /usr/share/doc/fonts-liberation2/copyright "$fonts/LICENSE-LiberationMono.txt"
cp /usr/share/doc/fonts-dancingscript/copyright "$fonts/LICENSE-DancingScript.txt"
