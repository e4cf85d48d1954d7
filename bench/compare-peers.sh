#!/bin/sh
# Times vorpix against its peers in one run and prints each ratio (peer time
# over vorpix time: above 1 means vorpix is faster).
#   bench/compare-peers.sh [build directory]
# Needs ImageMagick's convert, mtpaint, Xvfb and xdotool.  ImageMagick runs
# on one thread (MAGICK_THREAD_LIMIT=1) from a prepared .mpc; the cost of
# reading that alone is taken off.  Each section prints its own table.
set -eu

build=${1:-build}
work=$(mktemp -d)
display=${COMPARE_DISPLAY:-:97}
xvfb_pid=""
mtpaint_pid=""
cleanup() {
  [ -n "$mtpaint_pid" ] && kill "$mtpaint_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

now() { date +%s.%N; }
ms_since() { echo "$1 $(now)" | awk '{ printf "%.0f", ($2 - $1) * 1000 }'; }
ratio() { echo "$1 $2" | awk '{ if ($2 > 0) printf "%.2f", $1 / $2; else print "-" }'; }

# Milliseconds of the fastest of three runs of a command.
best_of_three() {
  best=""
  for _ in 1 2 3; do
    start=$(now)
    "$@" >/dev/null 2>&1
    t=$(ms_since "$start")
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

# ---- Saving a PNG of 4096 x 4096 ----
picture="$work/photo.png"
"$build/bench_save" --write-picture="$picture"
convert "$picture" "$work/photo.mpc"
export MAGICK_THREAD_LIMIT=1

read_ms=$(best_of_three convert "$work/photo.mpc" null:)
convert_total=$(best_of_three convert "$work/photo.mpc" "$work/convert.png")
convert_ms=$((convert_total - read_ms))
convert_bytes=$(stat -c %s "$work/convert.png")

vorpix_line=$("$build/bench_save" --benchmark_filter='^vorpix/4096' \
  --benchmark_format=csv 2>/dev/null | grep '^"vorpix/4096')
vorpix_ms=$(echo "$vorpix_line" | awk -F, '{ printf "%.0f", $3 }')
vorpix_bytes=$(echo "$vorpix_line" | awk -F, '{ printf "%.0f", $NF }')
gdk_line=$("$build/bench_save" --benchmark_filter='^gdk_pixbuf/4096' \
  --benchmark_format=csv 2>/dev/null | grep '^"gdk_pixbuf/4096')
gdk_ms=$(echo "$gdk_line" | awk -F, '{ printf "%.0f", $3 }')
gdk_bytes=$(echo "$gdk_line" | awk -F, '{ printf "%.0f", $NF }')

# mtPaint saves its open file on Ctrl+S; the save is over once the file's
# size has held still for a second.
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
cp "$picture" "$work/mtpaint.png"
DISPLAY=$display mtpaint "$work/mtpaint.png" >/dev/null 2>&1 &
mtpaint_pid=$!
window=$(DISPLAY=$display xdotool search --sync --name "mtpaint.png" | head -n 1)
sleep 2
before=$(stat -c %Y.%s "$work/mtpaint.png")
start=$(now)
DISPLAY=$display xdotool key --window "$window" ctrl+s
while [ "$(stat -c %Y.%s "$work/mtpaint.png")" = "$before" ]; do sleep 0.05; done
last=""
steady=0
while [ "$steady" -lt 20 ]; do
  size=$(stat -c %s "$work/mtpaint.png")
  if [ "$size" = "$last" ]; then steady=$((steady + 1)); else steady=0; last=$size; fi
  sleep 0.05
done
mtpaint_ms=$(($(ms_since "$start") - 1000))
mtpaint_bytes=$last
kill "$mtpaint_pid" 2>/dev/null || true
mtpaint_pid=""

echo
echo "Saving a PNG, 4096 x 4096 photograph-like picture"
echo "| program | ms | bytes | time ratio to vorpix |"
echo "|---|---|---|---|"
echo "| vorpix | $vorpix_ms | $vorpix_bytes | 1 |"
echo "| GdkPixbuf, level 6 | $gdk_ms | $gdk_bytes | $(ratio "$gdk_ms" "$vorpix_ms") |"
echo "| convert | $convert_ms | $convert_bytes | $(ratio "$convert_ms" "$vorpix_ms") |"
echo "| mtPaint | $mtpaint_ms | $mtpaint_bytes | $(ratio "$mtpaint_ms" "$vorpix_ms") |"
