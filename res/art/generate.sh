#!/bin/bash
# Redraws every bitmap and icon under res/ from the drawings in res/art/artwork.py.
# The results are committed, so a build needs none of the tools used here.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib.sh"
# Debian's own tools; a stand-in of the same name elsewhere on the PATH must not be picked.
export PATH=/usr/bin:/bin:$PATH

install_missing python3 librsvg2-bin imagemagick icoutils fonts-dejavu-core

work=$(mktemp -d)
at_exit rm -rf "$work"
python3 -B "$root/res/art/artwork.py" "$root/res" "$work"
echo "regenerated:" >&2
ls "$root"/res/bitmaps/*.bmp "$root"/res/icons/*.ico >&2
