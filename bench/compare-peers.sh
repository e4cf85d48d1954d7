#!/bin/sh
# Compares vorpix with its peers in one run, section by section:
#   effects  ImageMagick's equivalents of the effects, single-threaded, against
#            bench_effects' one-thread figures.
#   saving   saving a 4096 x 4096 PNG: vorpix's encoder, GdkPixbuf's, convert
#            and mtPaint (bench_save; mtPaint runs on its own Xvfb).
#
# Usage: bench/compare-peers.sh [-s WIDTHxHEIGHT] [-r RUNS] [-b BUILD_DIR] [SECTION...]
#   -s  picture size, 4096x4096 by default; bench_effects measures 640x480
#       and 4096x4096 only
#   -r  runs per command, the median is kept (5)
#   -b  the build directory holding bench_effects (build)
# With no section named, every section runs.
#
# Needs ImageMagick 6 and mtPaint (`sudo apt-get install imagemagick mtpaint`,
# Debian 12 packages not installed by scripts/setup.sh: only this script uses
# them), Xvfb, xdotool and the built benchmarks (`cmake --build build`).
# Run it on a quiet machine: the figures are wall-clock times.
set -eu

size=4096x4096
runs=5
build=build
while getopts s:r:b: option; do
  case "$option" in
    s) size=$OPTARG ;;
    r) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
case "$size" in
  [1-9]*x[1-9]*) ;;
  *) echo "compare-peers: size must be WIDTHxHEIGHT, not '$size'" >&2; exit 2 ;;
esac
case "$runs" in
  ''|*[!0-9]*|0) echo "compare-peers: runs must be a positive number" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-peers.XXXXXX")
display=${COMPARE_DISPLAY:-:97}
xvfb_pid=""
mtpaint_pid=""
cleanup() {
  [ -n "$mtpaint_pid" ] && kill "$mtpaint_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Milliseconds of wall-clock time the command takes, median of $runs runs.
median_ms() {
  i=0
  : >"$work/times"
  while [ "$i" -lt "$runs" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "compare-peers: failed: $*" >&2; return 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000)) >>"$work/times"
    i=$((i + 1))
  done
  sort -n "$work/times" | awk '{ t[NR] = $1 } END {
    m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    printf "%.1f\n", m / 1000 }'
}

# --- Section: effects -------------------------------------------------------

# vorpix's bench_effects name, then ImageMagick's operators for the same
# work.  The convolutions use vorpix's own kernels (imaging/image_filters.cpp).
effect_table() {
  cat <<'EOF'
sharpen|-define convolve:scale=0.125 -morphology Convolve 3x3:-1,-2,-1,-2,20,-2,-1,-2,-1
smooth|-define convolve:scale=! -morphology Convolve 3x3:1,1,1,1,1,1,1,1,1
edge_detect|-morphology Convolve 3x3:-1,-2,0,-2,0,2,0,2,1
emboss|-define convolve:bias=50% -morphology Convolve 3x3:-1,-2,0,-2,0,2,0,2,1 -colorspace Gray
despeckle|-statistic Median 3x3
oil_paint|-paint 3
spread|-spread 2
add_noise|+noise Gaussian
pixelize|-scale 25% -scale 400%
normalize_contrast|-contrast-stretch 2%x1%
quantize_color|+dither -colors 16
convert_to_greyscale|-colorspace Gray
EOF
}

section_effects() {
  if ! command -v convert >/dev/null 2>&1; then
    echo "compare-peers: ImageMagick's convert is missing: sudo apt-get install imagemagick" >&2
    return 1
  fi
  if [ ! -x "$build/bench_effects" ]; then
    echo "compare-peers: $build/bench_effects is missing: cmake --build $build --target bench_effects" >&2
    return 1
  fi
  export MAGICK_THREAD_LIMIT=1
  export MAGICK_TEMPORARY_PATH="$work"

  echo "## Effects at $size, one thread: vorpix against ImageMagick"
  # A photograph-like picture, prepared once in ImageMagick's own format so
  # that reading it costs almost nothing; that cost is taken off each figure.
  convert -seed 42 -size "$size" plasma:fractal -blur 0x1 "$work/picture.mpc"
  read_ms=$(median_ms convert "$work/picture.mpc" null:)
  echo "ImageMagick reads the prepared picture in $read_ms ms (taken off below)"

  "$build/bench_effects" --benchmark_filter="/one_thread/$size\$" \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null >"$work/vorpix.csv"

  printf '%-22s %12s %16s %10s\n' effect "vorpix ms" "ImageMagick ms" "IM/vorpix"
  effect_table | while IFS='|' read -r name operators; do
    # CSV rows: "name/one_thread/WxH_median",iterations,real_time,cpu_time,...
    # (a single repetition has no median row).
    ours=$(awk -F, -v row="\"$name/one_thread/$size" \
      '$1 == row "_median\"" || $1 == row "\"" { printf "%.1f", $3 }' "$work/vorpix.csv")
    # The operators are split into words on purpose.
    # shellcheck disable=SC2086
    theirs=$(median_ms convert "$work/picture.mpc" $operators null:)
    theirs=$(awk -v t="$theirs" -v r="$read_ms" 'BEGIN { d = t - r; printf "%.1f", (d > 0 ? d : 0) }')
    if [ -n "$ours" ]; then
      ratio=$(awk -v a="$theirs" -v b="$ours" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    else
      ours="-"
      ratio="-"
    fi
    printf '%-22s %12s %16s %10s\n' "$name" "$ours" "$theirs" "$ratio"
  done
  echo
}

# --- Section: saving --------------------------------------------------------

now() { date +%s.%N; }
ms_since() { echo "$1 $(now)" | awk '{ printf "%.0f", ($2 - $1) * 1000 }'; }
ratio() { echo "$1 $2" | awk '{ if ($2 > 0) printf "%.2f", $1 / $2; else print "-" }'; }

section_saving() {
  picture="$work/photo.png"
  "$build/bench_save" --write-picture="$picture"
  convert "$picture" "$work/photo.mpc"
  export MAGICK_THREAD_LIMIT=1

  read_ms=$(median_ms convert "$work/photo.mpc" null:)
  convert_total=$(median_ms convert "$work/photo.mpc" "$work/convert.png")
  convert_ms=$(awk -v t="$convert_total" -v r="$read_ms" 'BEGIN { printf "%.0f", t - r }')
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
  echo
}

# --- Sections run -----------------------------------------------------------

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$#" -eq 0 ] && set -- effects saving
for section in "$@"; do
  case "$section" in
    effects) section_effects ;;
    saving) section_saving ;;
    *) echo "compare-peers: no section '$section'" >&2; exit 2 ;;
  esac
done
