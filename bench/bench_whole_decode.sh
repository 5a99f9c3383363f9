#!/usr/bin/env bash
# The whole-picture path of two builds side by side: a 12-megapixel RGB PNG
# converted with one step at a time (the decode is the same for every step;
# the step itself is the library's or the canvas's, the same in both builds).
# A rotation by 0 degrees keeps a conversion on the whole-picture path and
# changes nothing: alone it is the trivial step, and it keeps the flips, the
# greyscale and the colour correction there, which would otherwise go row by
# row in both builds.
#
#   bench/bench_whole_decode.sh OLD_BINARY [NEW_BINARY] [RUNS]
#
# NEW_BINARY defaults to build/bin/tarnwick, RUNS to 7. Each run times the
# old and the new program one right after the other (alternating which goes
# first) on every step, so both see the same machine state; the medians of
# the elapsed times are printed with what the new build saves. Goal: every step at least
# 0.12 s faster with the new build. Both builds must write the same file.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
old=$(readlink -f "${1:?usage: bench_whole_decode.sh OLD_BINARY [NEW_BINARY] [RUNS]}")
new=$(readlink -f "${2:-$here/../build/bin/tarnwick}")
runs="${3:-7}"
for exe in "$old" "$new"; do
  [[ -x "$exe" ]] || { echo "program not found: $exe" >&2; exit 1; }
done

work="$(mktemp -d /tmp/tarnwick-whole.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"  # a private single-instance lock

picture="$work/picture.png"
echo "Making a 4000 x 3000 RGB picture..."
if command -v convert >/dev/null; then
  convert -size 4000x3000 plasma:fractal -seed 7 -blur 0x1 -depth 8 -type TrueColor \
    "PNG24:$picture"
elif [[ -x "$here/../build/bin/make_test_png" ]]; then
  "$here/../build/bin/make_test_png" "$picture" 4000 3000
else
  echo "ImageMagick's convert or build/bin/make_test_png is needed" >&2
  exit 1
fi

# seconds EXE FOLDER OPTIONS...: elapsed seconds of one conversion.
seconds() {
  local exe=$1 folder=$2
  shift 2
  rm -f "$folder/picture.bmp"
  local start=$EPOCHREALTIME
  "$exe" -q -i "$picture" -o "$folder" "$@" >/dev/null 2>&1 || { echo fail; return; }
  local end=$EPOCHREALTIME
  [[ -s "$folder/picture.bmp" ]] || { echo fail; return; }
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

steps=(
  "rotate 0 (no change)|--rotation=0"
  "flip vertical|--flip-vertical --rotation=0"
  "greyscale|--greyscale --rotation=0"
  "brightness and contrast|--brightness=10 --contrast=10 --rotation=0"
  "frame|--fr-solid-left=40 --fr-solid-right=40 --fr-solid-top=40 --fr-solid-bottom=40"
  "resize 50 %|--width=50 --width-unit=PERCENT --height=50 --height-unit=PERCENT"
  "rotate 90|--rotation=90"
)

echo "Whole-picture conversions of the 12-megapixel picture, medians of $runs runs:"
# Each run times every step with both builds, so a busy spell of the machine
# falls on all the steps alike rather than on one.
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#steps[@]}; k++)); do
    read -r -a options <<<"${steps[k]#*|}"
    if (((i + k) % 2 == 0)); then
      seconds "$old" "$work/old" "${options[@]}" >>"$work/old-$k.txt"
      seconds "$new" "$work/new" "${options[@]}" >>"$work/new-$k.txt"
    else
      seconds "$new" "$work/new" "${options[@]}" >>"$work/new-$k.txt"
      seconds "$old" "$work/old" "${options[@]}" >>"$work/old-$k.txt"
    fi
    cmp -s "$work/old/picture.bmp" "$work/new/picture.bmp" || echo differ >>"$work/differ-$k.txt"
  done
done

printf "  %-26s %9s %9s %9s  %s\n" step "old s" "new s" "saved s" "(goal: >= 0.12 s saved)"
status=0
for ((k = 0; k < ${#steps[@]}; k++)); do
  label=${steps[k]%%|*}
  if grep -q fail "$work/old-$k.txt" "$work/new-$k.txt"; then
    echo "  $label: a conversion failed" >&2
    status=1
    continue
  fi
  same="same file"
  if [[ -s "$work/differ-$k.txt" ]]; then
    same="FILES DIFFER"
    status=1
  fi
  o=$(median <"$work/old-$k.txt")
  n=$(median <"$work/new-$k.txt")
  saved=$(awk -v a="$o" -v b="$n" 'BEGIN { printf "%.3f", a - b }')
  verdict=$(awk -v s="$saved" 'BEGIN { print (s >= 0.12) ? "ok" : "MISSED" }')
  [[ $verdict == ok ]] || status=1
  printf "  %-26s %9.3f %9.3f %9.3f  %s, %s\n" "$label" "$o" "$n" "$saved" "$verdict" "$same"
done
exit $status
