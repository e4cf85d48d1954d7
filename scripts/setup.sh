#!/bin/sh
# Installs the Debian packages vorpix needs to build and test, when missing.
set -eu

packages="cmake g++ make pkg-config gettext libgtk2.0-dev libglade2-dev \
  libxext-dev zlib1g-dev libgtest-dev libbenchmark-dev xvfb xclip xdotool poppler-utils \
  fonts-dejavu-core desktop-file-utils appstream groff-base librsvg2-common python3 libseccomp-dev"

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *" installed") ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi
$as_root apt-get update
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y --no-install-recommends $missing
