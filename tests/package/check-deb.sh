#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks that the
# unpacked program converts a PNG with a frame (so its modules are found), and
# that the package holds its desktop files and declares its dependencies.
#
#   bash tests/package/check-deb.sh [BUILD_DIR]     (default: build-deb)
#
# Needs dpkg-dev (dpkg-shlibdeps), groff-base and appstream. Takes a full build
# without tests, so CI does not run it.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=${1:-build-deb}
sample=$top/assets/samples/sample.png

fail() {
  echo "check-deb: $*" >&2
  exit 1
}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/tarnwick_*.deb
(cd "$build" && cpack -G DEB >/dev/null)

deb=$(ls "$build"/tarnwick_*.deb)
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^project(tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(basename "$deb")" = "tarnwick_${version}_${arch}.deb" ] || fail "unexpected name $deb"

# Control data: computed library dependencies plus the fonts.
depends=$(dpkg-deb -f "$deb" Depends)
for want in libc6 libfreeimage3 libqt6widgets6 fonts-liberation2 fonts-dejavu-core; do
  [[ $depends == *"$want"* ]] || fail "Depends lacks $want: $depends"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg-deb -x "$deb" "$root"

for f in usr/lib/tarnwick/tarnwick usr/lib/tarnwick/libtarnwick_ui.so \
  usr/lib/tarnwick/libtarnwick_canvas.so usr/lib/tarnwick/gfx/handdrawn.zip \
  usr/lib/tarnwick/tarnwick.html usr/share/applications/tarnwick.desktop \
  usr/share/icons/hicolor/scalable/apps/tarnwick.svg \
  usr/share/icons/hicolor/48x48/apps/tarnwick.png \
  usr/share/man/man1/tarnwick.1.gz usr/share/bash-completion/completions/tarnwick \
  usr/share/metainfo/example.pictavo.tarnwick.metainfo.xml; do
  [ -e "$root/$f" ] || fail "missing /$f"
done
[ "$(readlink "$root/usr/bin/tarnwick")" = ../lib/tarnwick/tarnwick ] || fail "bin/tarnwick is no link"

# The installed documents are sound.
zcat "$root/usr/share/man/man1/tarnwick.1.gz" | groff -man -ww -Tutf8 -z 2>&1 |
  { ! grep . ; } || fail "the manual page has warnings"
desktop-file-validate "$root/usr/share/applications/tarnwick.desktop"
appstreamcli validate --pedantic --no-net \
  "$root/usr/share/metainfo/example.pictavo.tarnwick.metainfo.xml" >/dev/null

# A conversion with a frame through the link in bin/: the canvas module is
# found beside the program.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$scratch/out"
chmod 700 "$XDG_RUNTIME_DIR"
"$root/usr/bin/tarnwick" -q -i "$sample" -o "$scratch/out" \
  --fr-solid-left=4 --fr-solid-right=4 --fr-solid-top=4 --fr-solid-bottom=4 \
  --fr-solid-left-color=FF0000 --fr-solid-right-color=FF0000 \
  --fr-solid-top-color=FF0000 --fr-solid-bottom-color=FF0000 ||
  fail "the unpacked program did not convert"
bmp=$scratch/out/sample.bmp
[ -s "$bmp" ] || fail "no BMP written"
# The top-left pixel lies in the red frame (ImageMagick reads the BMP).
if command -v convert >/dev/null; then
  pixel=$(convert "$bmp" -format '%[pixel:p{0,0}]' info:)
  [[ $pixel =~ ^(red|srgba?\(255,0,0(,1)?\))$ ]] || fail "top-left pixel is $pixel, not red"
fi

"$root/usr/bin/tarnwick" -v | grep -qx "$version" || fail "version is not $version"
echo "check-deb: $(basename "$deb") is fine"
