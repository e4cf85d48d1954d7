#!/bin/sh
# Configures and builds vorpix in build/ (or $VORPIX_BUILD_DIR).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VORPIX_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
