#!/usr/bin/env bash
# Runs the same command lines with two builds of tarnwick and compares what
# each prints, its exit code and the files it writes. Used before and after a
# change that must not alter any output (or alters only what it names).
#
#   bench/compare_outputs.sh OLD_BINARY NEW_BINARY [PNG_SUITE_FOLDER]
#
# Prints one line per command line: "same" or what differs; exits 1 when
# anything differs.
set -uo pipefail
old=$(readlink -f "$1")
new=$(readlink -f "$2")
suite=$(readlink -f "${3:-$(dirname "$0")/../../shared/testdata/pngsuite}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=(basn0g01 basn0g02 basn0g04 basn0g16 basn2c08 basn2c16 basn3p01 basn3p04 basn3p08
        basn4a08 basn4a16 basn6a08 basn6a16 ftbbn0g04 ftbrn2c08 ftbwn3p08 ftp1n3p08
        ibasn2c08 ibasn3p08 ibasn6a16)
# Option sets: every step on its own, the depths and colour tables, and a few
# combinations; each line is one set.
option_sets=(
  ""
  "--bmp-bpp=1" "--bmp-bpp=4" "--bmp-bpp=8" "--bmp-bpp=16" "--bmp-bpp=24" "--bmp-bpp=32"
  "--bmp-bpp=8 --bmp-compression=RLE" "--bmp-bpp=8 --bmp-color-table=1"
  "--rotation=90" "--rotation=33 --rotation-back-color='\$00FF00'"
  "--rotation=45 --rotation-type=1"
  "--width=50 --width-unit=1 --height=50 --height-unit=1"
  "--width=77 --height=13 --keep-aspect-ratio --resize-algorithm=5"
  "--flip-horizontal" "--flip-vertical" "--flip-horizontal --flip-vertical"
  "--brightness=20 --contrast=-30" "--gamma=1.7" "--invert" "--greyscale"
  "--threshold=100" "--greyscale --threshold=128 --bmp-bpp=1"
  "--fr-solid-left=3 --fr-solid-top=5 --fr-solid-left-color='\$FF0000'"
  "--wm-text=Hello --wm-font=DejaVu\ Sans --wm-font-size=9"
  "--flip-vertical --gamma=0.8 --bmp-bpp=16"
)
# Whole command lines that do not depend on an input picture.
extra_lines=(
  "-h" "-v" "-i" "-i /nonexistent.png -o @OUT@" "-d -i $suite/basn2c08.png -o $work/x"
  "-d -i $suite/basn2c08.png -o $work/x --width=0" "--profile=/nonexistent"
  "-i $suite/basn2c08.png -o /nonexistent-folder"
)

run() {  # binary, out folder, label, args...
  local bin=$1 out=$2 label=$3
  shift 3
  mkdir -p "$out"
  local args=()
  for a in "$@"; do args+=("${a//@OUT@/$out}"); done
  (cd "$out" && env HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "$bin" "${args[@]}" \
      </dev/null >"$work/$label.stdout" 2>/dev/null; echo $? >"$work/$label.code")
}

mkdir -p "$work/home" "$work/run"
compare() {  # description, args...
  local what=$1
  shift
  rm -rf "$work/a" "$work/b"
  run "$old" "$work/a" old "$@"
  run "$new" "$work/b" new "$@"
  sed -i "s#$work/a#OUT#g" "$work/old.stdout"
  sed -i "s#$work/b#OUT#g" "$work/new.stdout"
  local result="same"
  cmp -s "$work/old.stdout" "$work/new.stdout" || result="stdout differs"
  cmp -s "$work/old.code" "$work/new.code" || result="exit code differs"
  if ! diff -rq "$work/a" "$work/b" >/dev/null; then result="files differ"; fi
  [ "$result" = same ] || echo "$what" >>"$work/differences"
  echo "$result: $what"
}

for set in "${option_sets[@]}"; do
  for name in "${inputs[@]}"; do
    eval "opts=($set)"
    compare "$name $set" -q -i "$suite/$name.png" -o @OUT@ "${opts[@]}"
  done
done | awk '{ print } /^same:/ { same++ } END { print same " of " NR " picture runs the same" }' | grep -v "^same:"
for line in "${extra_lines[@]}"; do
  eval "args=($line)"
  compare "$line" "${args[@]}"
done
[ ! -s "$work/differences" ]
