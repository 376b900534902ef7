#!/bin/bash
# Redraws every bitmap and icon under res/ from the drawings in res/art/artwork.py.
# The results are committed, so a build needs none of the tools used here.
set -euo pipefail

art=$(cd "$(dirname "$0")" && pwd)
res=$(dirname "$art")
# Debian's own tools; a stand-in of the same name elsewhere on the PATH must not be picked.
export PATH=/usr/bin:/bin:$PATH

packages=(python3 librsvg2-bin imagemagick icoutils fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; }
    install || { $sudo apt-get update -q && install; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -B "$art/artwork.py" "$res" "$work"
echo "regenerated:" >&2
ls "$res"/bitmaps/*.bmp "$res"/icons/*.ico >&2
