#!/bin/sh
# Installs what is missing, builds, and runs every test (each starts its own Xvfb).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
cd "${VORPIX_BUILD_DIR:-$top/build}"
ctest --output-on-failure -j "$(nproc)"
