#!/bin/sh
# Installs what is missing, builds, and starts vorpix on the current display.
# Usage: scripts/run.sh [picture]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
VORPIX_GLADE_FILE="$top/shell/ui/vorpix.glade" exec "${VORPIX_BUILD_DIR:-$top/build}/vorpix" "$@"
