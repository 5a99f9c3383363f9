#!/usr/bin/env bash
# Times each image step alone through the command line on a 12-megapixel RGB
# picture, against a plain conversion, and measures the peak memory of runs
# with a frame and a watermark.
#
#   bench/bench_steps.sh [path/to/tarnwick] [runs]
#
# Needs GNU time (/usr/bin/time) and ImageMagick's convert for the pictures.
# The figures are the best of `runs` runs (3 by default): elapsed seconds and
# peak resident memory. A frame or a watermark should add at most the time of
# one plain conversion, and peak memory should stay below three times the
# picture's 24-bit size plus 64 MiB.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
exe="${1:-$here/../build/bin/tarnwick}"
runs="${2:-3}"
[[ -x "$exe" ]] || { echo "program not found: $exe" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick convert is needed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A private runtime folder: the single-instance lock of other copies running
# on this machine (tests, say) does not turn a timed run away.
export XDG_RUNTIME_DIR="$work"

W=4000
H=3000
picture="$work/picture.png"
mark="$work/mark.png"
echo "Making a ${W}x${H} RGB picture..."
convert -size ${W}x${H} gradient:'#203080'-'#f0c040' \
    \( -size ${W}x${H} xc: +noise Random -channel G -separate \) \
    -compose multiply -composite -depth 8 -type TrueColor "$picture"
convert -size 400x120 xc:none -fill '#ff000080' -draw 'roundrectangle 0,0 399,119 20,20' \
    -depth 8 -type TrueColorAlpha "$mark"
mkdir -p "$work/out"

# best_of LABEL OPTIONS...: prints "LABEL seconds peak-MiB", best of $runs runs.
declare -A SECONDS_OF MEMORY_OF
best_of() {
    local label="$1"; shift
    local best_t="" best_m=""
    for ((i = 0; i < runs; i++)); do
        local line
        rm -f "$work/out/picture.bmp"
        line="$(/usr/bin/time -f "%e %M" "$exe" -q -i "$picture" -o "$work/out" "$@" 2>&1 >/dev/null | tail -n 1)" || true
        if [[ ! -s "$work/out/picture.bmp" ]]; then
            echo "$label: the conversion failed ($line)" >&2
            exit 1
        fi
        local t="${line% *}" m="${line#* }"
        if [[ -z "$best_t" ]] || awk "BEGIN{exit !($t < $best_t)}"; then best_t="$t"; fi
        if [[ -z "$best_m" ]] || (( m < best_m )); then best_m="$m"; fi
    done
    SECONDS_OF[$label]="$best_t"
    MEMORY_OF[$label]="$best_m"
    printf "%-28s %6.2f s %7.1f MiB\n" "$label" "$best_t" "$(awk "BEGIN{print $best_m/1024}")"
}

echo "Best of $runs runs, ${W}x${H} picture:"
best_of "plain" 
best_of "rotate 45" --rotation=45
for algo in BOX BILINEAR BSPLINE BICUBIC CATMULLROM LANCZOS; do
    best_of "resize 50% $algo" --width=50 --width-unit=PERCENT --height=50 --height-unit=PERCENT \
        --resize-algorithm=$algo
done
best_of "colour correction" --brightness=10 --contrast=10 --gamma=1.2
best_of "greyscale" --greyscale
best_of "threshold" --threshold=128
best_of "frame" --fr-solid-left=40 --fr-solid-right=40 --fr-solid-top=40 --fr-solid-bottom=40 \
    --fr-solid-left-color=FF0000 --fr-solid-opacity=200
best_of "text watermark" --wm-text="Hello %width%x%height%" --wm-font-size=48 --wm-text-antialiasing
best_of "image watermark" --wm-image="$mark" --wm-image-opacity=200 --wm-image-rotation=30
best_of "frame + text watermark" --fr-solid-left=40 --fr-solid-right=40 --fr-solid-top=40 \
    --fr-solid-bottom=40 --wm-text=Hello

plain="${SECONDS_OF[plain]}"
limit_kib=$(( (3 * W * H * 3) / 1024 + 64 * 1024 ))
echo
echo "Goal: a frame or a watermark adds at most one plain conversion (${plain} s);"
echo "      peak memory at most 3 x 24-bit size + 64 MiB = $(awk "BEGIN{printf \"%.1f\", $limit_kib/1024}") MiB."
status=0
for label in "frame" "text watermark" "image watermark" "frame + text watermark"; do
    t="${SECONDS_OF[$label]}"
    m="${MEMORY_OF[$label]}"
    added="$(awk "BEGIN{printf \"%.2f\", $t - $plain}")"
    verdict="ok"
    if awk "BEGIN{exit !($t - $plain > $plain)}"; then verdict="SLOW"; status=1; fi
    if (( m > limit_kib )); then verdict="$verdict, OVER MEMORY"; status=1; fi
    printf "%-28s adds %5.2f s, peak %7.1f MiB: %s\n" "$label" "$added" "$(awk "BEGIN{print $m/1024}")" "$verdict"
done

# A plain conversion must not bring in the drawing canvas or Qt.
if LD_DEBUG=files "$exe" -q -i "$picture" -o "$work/out" 2>&1 >/dev/null | grep -qE 'libQt6|tarnwick_canvas'; then
    echo "plain conversion loaded Qt: FAIL"
    status=1
else
    echo "plain conversion loads no Qt library: ok"
fi
exit $status
