#!/bin/sh
# Renders the application icon vorpix.svg into the 48 by 48 vorpix.png beside
# it.  Needs rsvg-convert (Debian package librsvg2-bin); rerun after changing
# the drawing and commit both files:  shell/desktop/render_icon.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)
rsvg-convert --width 48 --height 48 --format png \
  --output "$here/vorpix.png" "$here/vorpix.svg"
