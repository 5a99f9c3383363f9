#!/usr/bin/env bash
# What the progress line costs: a build against an earlier one on the same
# inputs, run after run in turn so both see the same machine state.
#
#   bench/bench_progress.sh BASE_BUILD_DIR [RUNS]
#
# BASE_BUILD_DIR holds bin/tarnwick of the build to compare with (say, main
# built in another folder); the build measured is BUILD_DIR (default
# <repo>/build). Environment: BENCH_DIR (work folder, default a temporary
# folder, removed at the end).
#
# Cases, a 12-megapixel RGB PNG to a 24-bit BMP:
#   plain-quiet       nobody watches: the figure must not move
#   plain-terminal    standard error on a pseudo-terminal (script(1)): the
#                     file is counted, but ends before a line is due
#   rotated-90        the whole-picture path with a step, quiet
# and a 6000 x 6000 RGBA PNG to a 32-bit BMP:
#   large-terminal    on a pseudo-terminal, long enough for the line to be
#                     drawn; the earlier build draws nothing
# Medians and best runs of the wall time are printed, with the ratios.
set -euo pipefail

BASE=${1:?usage: bench/bench_progress.sh BASE_BUILD_DIR [RUNS]}
RUNS=${2:-9}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
NEW=$BUILD_DIR/bin/tarnwick
OLD=$BASE/bin/tarnwick
for tool in "$NEW" "$OLD" /usr/bin/script; do
  [ -x "$tool" ] || { echo "missing: $tool" >&2; exit 1; }
done

WORK=${BENCH_DIR:-$(mktemp -d /tmp/tarnwick-progress.XXXXXX)}
mkdir -p "$WORK/in" "$WORK/out" "$WORK/runtime"
cleanup() { [ -n "${BENCH_DIR:-}" ] || rm -rf "$WORK"; }
trap cleanup EXIT
chmod 700 "$WORK/runtime"
export XDG_RUNTIME_DIR="$WORK/runtime"  # a private single-instance lock

LARGE=$WORK/in/large.png
if [ ! -f "$LARGE" ]; then
  [ -x "$BUILD_DIR/bin/make_test_png" ] || { echo "build make_test_png first" >&2; exit 1; }
  "$BUILD_DIR/bin/make_test_png" "$LARGE" 6000 6000 rgba
fi
IN=$WORK/in/rgb12.png
if [ ! -f "$IN" ]; then
  if command -v convert >/dev/null; then
    convert -size 4000x3000 plasma:fractal -seed 7 -blur 0x1 -depth 8 -type TrueColor "PNG24:$IN"
  elif [ -x "$BUILD_DIR/bin/make_test_png" ]; then
    "$BUILD_DIR/bin/make_test_png" "$IN" 4000 3000
  else
    echo "no way to make the input: install ImageMagick or build make_test_png" >&2
    exit 1
  fi
fi

RESULTS=$WORK/results.txt
: >"$RESULTS"
# measure CASE BUILD command...: appends "CASE BUILD seconds".
measure() {
  local case=$1 build=$2 start end
  shift 2
  rm -f "$WORK/out/"*
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  [ -n "$(ls "$WORK/out")" ] || { echo "no BMP written: $*" >&2; exit 1; }
  echo "$case $build $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')" \
    >>"$RESULTS"
}
on_terminal() { script -qec "$*" /dev/null; }

for ((run = 1; run <= RUNS; run++)); do
  echo "Run $run of $RUNS"
  for build in old new; do
    exe=$OLD
    [ $build = new ] && exe=$NEW
    measure plain-quiet $build "$exe" -q -i "$IN" -o "$WORK/out"
    measure plain-terminal $build on_terminal "'$exe' -i '$IN' -o '$WORK/out'"
    measure rotated-90 $build "$exe" -q -i "$IN" -o "$WORK/out" --rotation=90
    measure large-terminal $build on_terminal "'$exe' -i '$LARGE' -o '$WORK/out'"
  done
done

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { sort -g | head -n 1; }
stat_of() { awk -v c="$1" -v b="$2" '$1 == c && $2 == b { print $3 }' "$RESULTS" | "$3"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0) ? a / b : 0 }'; }

echo
printf "  %-16s %12s %12s %12s %12s %14s %12s\n" case "old median" "new median" "old best" \
  "new best" "median ratio" "best ratio"
for c in plain-quiet plain-terminal rotated-90 large-terminal; do
  om=$(stat_of $c old median) nm=$(stat_of $c new median)
  ob=$(stat_of $c old best) nb=$(stat_of $c new best)
  printf "  %-16s %12s %12s %12s %12s %14s %12s\n" "$c" "$om" "$nm" "$ob" "$nb" \
    "$(ratio "$nm" "$om")" "$(ratio "$nb" "$ob")"
done
