#!/usr/bin/env bash
# Regenerates every committed asset under data/common/ except the shaders, from
# scratch and reproducibly: fonts, images, the MIDI composition and the soundtrack;
# and the menu icons under dist/icons/.
# Needs (generator-only, not for the build): fluidsynth fluid-soundfont-gm vorbis-tools
# python3-pil fonts-dejavu-core fonts-liberation2 fonts-dancingscript.
# Usage: tools/assets/regenerate.sh [--install]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../../data/common
if [ "${1:-}" = --install ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq fluidsynth fluid-soundfont-gm \
    vorbis-tools python3-pil fonts-dejavu-core fonts-liberation2 fonts-dancingscript
fi
py=/usr/bin/python3          # Debian's interpreter, which has python3-pil
mkdir -p "$data/images" "$data/music"

bash "$here/fonts.sh" "$data/fonts"
$py "$here/particle.py" "$data/images/own_particle_256.png"
$py "$here/clown.py" "$data/images/cokie_the_clown.jpg"
$py "$here/asciichart.py" "$data/images/asciichart.png"
$py "$here/birthday_midi.py" "$data/music/Festoonery.mid"
$py "$here/check_midi.py" "$data/music/Festoonery.mid" 100
bash "$here/render_soundtrack.sh" "$data/music"
$py "$here/icon.py" "$here/../../dist/icons"
echo "assets regenerated under $data and dist/icons"
