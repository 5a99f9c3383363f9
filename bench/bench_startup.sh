#!/usr/bin/env bash
# How fast the program starts: the version, the smallest conversion against
# ImageMagick, and the window against a bare Qt window.
#
#   bench/bench_startup.sh [RUNS]
#
# Environment: BUILD_DIR (default <repo>/build), TARNWICK_EXE, IM_CONVERT.
# Each case is run RUNS times (default 41), the cases alternating, and the
# medians are printed. The window cases need Xvfb (xvfb-run) and the
# map_watch and bare_qt_window programs of the build: the time runs from exec
# to the first mapped top-level window.
#
# Targets: version <= 5 ms; a 64x64 plain conversion <= 0.45 x ImageMagick's
# time; the window <= 1.2 x a bare Qt Widgets window.
set -euo pipefail

RUNS=${1:-41}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
TARNWICK=${TARNWICK_EXE:-$BUILD_DIR/bin/tarnwick}
if [ -z "${IM_CONVERT:-}" ]; then
  for c in /usr/bin/convert-im6.q16 /usr/bin/convert /usr/bin/magick; do
    if [ -x "$c" ]; then IM_CONVERT=$c; break; fi
  done
fi
[ -x "$TARNWICK" ] || { echo "missing: $TARNWICK" >&2; exit 1; }
[ -n "${IM_CONVERT:-}" ] || { echo "ImageMagick's convert is needed" >&2; exit 1; }

WORK=$(mktemp -d /tmp/tarnwick-startup.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/out" "$WORK/runtime" "$WORK/home"
chmod 700 "$WORK/runtime"
export XDG_RUNTIME_DIR="$WORK/runtime" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config"
# No update check reaches the network from a timed window.
export TARNWICK_SITE=http://127.0.0.1:9
"$IM_CONVERT" -size 64x64 plasma:fractal -seed 3 -depth 8 -type TrueColor "PNG24:$WORK/small.png"

# Median wall time in ms of RUNS runs of each command: with hyperfine where it
# is installed (it starts the programs itself, without a shell), else timed
# from Python, alternating, which adds its own start-up to every figure.
if command -v hyperfine >/dev/null; then
  hyperfine -N --style none --warmup 5 --runs "$RUNS" --export-json "$WORK/times.json" \
    -n "tarnwick -v" "$TARNWICK -v" \
    -n "tarnwick 64x64 plain conversion" "$TARNWICK -q -i $WORK/small.png -o $WORK/out" \
    -n "ImageMagick 64x64 to BMP" "$IM_CONVERT $WORK/small.png BMP3:$WORK/out/im.bmp" \
    -n "/bin/true (the cost of starting any program)" "/bin/true" >/dev/null
fi
python3 - "$RUNS" "$TARNWICK" "$IM_CONVERT" "$WORK" <<'PY'
import os, statistics, subprocess, sys, time
runs, tarnwick, im, work = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
small = os.path.join(work, "small.png")
cases = {
    "tarnwick -v": [tarnwick, "-v"],
    "tarnwick 64x64 plain conversion": [tarnwick, "-q", "-i", small, "-o", os.path.join(work, "out")],
    "ImageMagick 64x64 to BMP": [im, small, "BMP3:" + os.path.join(work, "out", "im.bmp")],
    "/bin/true (the cost of starting any program)": ["/bin/true"],
}
times = {k: [] for k in cases}
measured = os.path.join(work, "times.json")
if os.path.exists(measured):
    import json
    print("(hyperfine, medians)")
    for r in json.load(open(measured))["results"]:
        times[r["command"]] = [t * 1000 for t in r["times"]]
else:
    print("(timed from Python, medians)")
    for _ in range(runs):
        for label, cmd in cases.items():
            t = time.perf_counter()
            subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            times[label].append((time.perf_counter() - t) * 1000)
med = {k: statistics.median(v) for k, v in times.items()}
for k, v in med.items():
    print(f"{k:48s} {v:7.2f} ms")
ratio = med["tarnwick 64x64 plain conversion"] / med["ImageMagick 64x64 to BMP"]
print(f"version: {med['tarnwick -v']:.2f} ms (target <= 5 ms: {'met' if med['tarnwick -v'] <= 5 else 'NOT met'})")
print(f"64x64 conversion / ImageMagick: {ratio:.2f} (target <= 0.45: {'met' if ratio <= 0.45 else 'NOT met'})")
PY

WATCH=$BUILD_DIR/bin/map_watch
BARE=$BUILD_DIR/bin/bare_qt_window
if ! command -v xvfb-run >/dev/null || [ ! -x "$WATCH" ] || [ ! -x "$BARE" ]; then
  echo "window start: skipped (needs xvfb-run, $WATCH and $BARE)"
  exit 0
fi
WINDOW_RUNS=$(( RUNS < 21 ? RUNS : 21 ))
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb bash -c '
  runs=$1 watch=$2 bare=$3 tarnwick=$4 work=$5
  "$watch" "$bare" >/dev/null; "$watch" "$tarnwick" >/dev/null  # first starts fill the caches
  for i in $(seq "$runs"); do
    # A start that mapped no window gives no figure (and says why on stderr).
    if t=$("$watch" "$bare"); then echo "bare $t"; fi
    if t=$("$watch" "$tarnwick"); then echo "tarnwick $t"; fi
  done >"$work/window.txt"' _ "$WINDOW_RUNS" "$WATCH" "$BARE" "$TARNWICK" "$WORK"
median() { awk -v c="$1" '$1 == c { print $2 }' "$WORK/window.txt" | sort -n |
  awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
bare=$(median bare)
tw=$(median tarnwick)
awk -v b="$bare" -v t="$tw" 'BEGIN {
  printf "bare Qt window, exec to first map            %7.1f ms\n", b
  printf "tarnwick window, exec to first map           %7.1f ms\n", t
  r = t / b
  printf "window / bare Qt: %.2f (target <= 1.2: %s)\n", r, (r <= 1.2 ? "met" : "NOT met") }'
