#!/usr/bin/env bash
# Speed and memory of tarnwick against ImageMagick and the bare FreeImage floor.
#
#   bench/run_bench.sh [RUNS]
#
# Environment: BUILD_DIR (default <repo>/build), TARNWICK_EXE, FREEIMAGE_FLOOR,
# IM_CONVERT (ImageMagick's convert), BENCH_DIR (work folder, default a temp dir).
#
# Three inputs are generated once: a 12-megapixel RGB PNG, a 12-megapixel RGBA
# PNG and a 64x64 PNG. Each run converts every input with the three programs in
# turn (tarnwick, ImageMagick, floor), so all three see the same machine state.
# Medians of wall time and peak resident memory are printed with the ratios.
set -euo pipefail

RUNS=${1:-7}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
TARNWICK=${TARNWICK_EXE:-$BUILD_DIR/bin/tarnwick}
FLOOR=${FREEIMAGE_FLOOR:-$BUILD_DIR/bin/freeimage_floor}
GNU_TIME=/usr/bin/time

# ImageMagick itself, not a wrapper that may stand in front of it on PATH.
if [ -z "${IM_CONVERT:-}" ]; then
  for c in /usr/bin/convert-im6.q16 /usr/bin/convert /usr/bin/magick; do
    if [ -x "$c" ]; then IM_CONVERT=$c; break; fi
  done
  IM_CONVERT=${IM_CONVERT:-$(command -v convert || true)}
fi

for tool in "$TARNWICK" "$FLOOR" "$IM_CONVERT" "$GNU_TIME"; do
  if [ -z "$tool" ] || [ ! -x "$tool" ]; then
    echo "missing: ${tool:-ImageMagick convert}" >&2
    echo "build first: cmake --build \"$BUILD_DIR\" --target tarnwick freeimage_floor" >&2
    exit 1
  fi
done

WORK=${BENCH_DIR:-$(mktemp -d /tmp/tarnwick-bench.XXXXXX)}
mkdir -p "$WORK/in" "$WORK/out"
cleanup() { [ -n "${BENCH_DIR:-}" ] || rm -rf "$WORK"; }
trap cleanup EXIT
# A private runtime folder, so the single-instance lock of another copy running
# on this machine (a test run, say) does not turn a timed run away.
mkdir -p "$WORK/runtime"
chmod 700 "$WORK/runtime"
export XDG_RUNTIME_DIR="$WORK/runtime"

# ---- Inputs ----------------------------------------------------------------
echo "Generating inputs in $WORK/in ..."
[ -f "$WORK/in/rgb12.png" ] ||
  "$IM_CONVERT" -size 4000x3000 plasma:fractal -seed 7 -blur 0x1 -depth 8 -type TrueColor \
    "PNG24:$WORK/in/rgb12.png"
[ -f "$WORK/in/rgba12.png" ] ||
  "$IM_CONVERT" "$WORK/in/rgb12.png" \( -size 3000x4000 gradient: -rotate 90 \) \
    -alpha off -compose CopyOpacity -composite -depth 8 "PNG32:$WORK/in/rgba12.png"
[ -f "$WORK/in/small64.png" ] ||
  "$IM_CONVERT" -size 64x64 plasma:fractal -seed 3 -depth 8 -type TrueColor "PNG24:$WORK/in/small64.png"

# ---- Runs ------------------------------------------------------------------
RESULTS="$WORK/results.txt"
: >"$RESULTS"

now_ns() { date +%s%N; }

# measure CASE TOOL command...: appends "CASE TOOL seconds kilobytes".
measure() {
  local case=$1 tool=$2
  shift 2
  local tf="$WORK/time.txt" start end
  start=$(now_ns)
  if ! "$GNU_TIME" -f "%e %M" -o "$tf" "$@" >/dev/null 2>&1; then
    echo "failed: $*" >&2
    exit 1
  fi
  end=$(now_ns)
  local rss
  rss=$(awk 'END { print $2 }' "$tf")
  echo "$case $tool $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }') $rss" >>"$RESULTS"
}

CASES="rgb12 rgba12 small64"
for ((run = 1; run <= RUNS; run++)); do
  echo "Run $run of $RUNS"
  for c in $CASES; do
    in="$WORK/in/$c.png"
    rm -f "$WORK/out/"*
    measure "$c" tarnwick "$TARNWICK" -i "$in" -o "$WORK/out" -q
    [ -s "$WORK/out/$c.bmp" ] || { echo "tarnwick wrote no $c.bmp" >&2; exit 1; }
    measure "$c" imagemagick "$IM_CONVERT" "$in" "$WORK/out/$c-im.bmp"
    measure "$c" floor "$FLOOR" "$in" "$WORK/out/$c-floor.bmp"
  done
done

# ---- Report ----------------------------------------------------------------
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
stat_of() { awk -v c="$1" -v t="$2" -v f="$3" '$1 == c && $2 == t { print $f }' "$RESULTS" | median; }

echo
printf "%-8s %-12s %10s %12s\n" case program "time (s)" "peak RSS (MB)"
declare -A T M
for c in $CASES; do
  for t in tarnwick imagemagick floor; do
    T[$c,$t]=$(stat_of "$c" "$t" 3)
    M[$c,$t]=$(stat_of "$c" "$t" 4)
    printf "%-8s %-12s %10.3f %12.1f\n" "$c" "$t" "${T[$c,$t]}" "$(awk -v k="${M[$c,$t]}" 'BEGIN { print k / 1024 }')"
  done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }
check() {  # label value limit
  local verdict
  verdict=$(awk -v v="$2" -v l="$3" 'BEGIN { print (v <= l) ? "ok" : "MISSED" }')
  printf "%-44s %6s  (goal <= %s)  %s\n" "$1" "$2" "$3" "$verdict"
}
echo
echo "Ratios (medians of $RUNS runs):"
check "12MP RGB  time  tarnwick / ImageMagick" "$(ratio "${T[rgb12,tarnwick]}" "${T[rgb12,imagemagick]}")" 0.80
check "12MP RGB  time  tarnwick / FreeImage floor" "$(ratio "${T[rgb12,tarnwick]}" "${T[rgb12,floor]}")" 1.15
check "12MP RGBA time  tarnwick / ImageMagick" "$(ratio "${T[rgba12,tarnwick]}" "${T[rgba12,imagemagick]}")" 1.00
printf "%-44s %6s  (for reference: the floor keeps the alpha, tarnwick flattens)\n" \
  "12MP RGBA time  tarnwick / FreeImage floor" "$(ratio "${T[rgba12,tarnwick]}" "${T[rgba12,floor]}")"
check "12MP RGBA peak memory tarnwick / ImageMagick" "$(ratio "${M[rgba12,tarnwick]}" "${M[rgba12,imagemagick]}")" 0.99
check "64x64     time  tarnwick / ImageMagick" "$(ratio "${T[small64,tarnwick]}" "${T[small64,imagemagick]}")" 1.00
