#!/usr/bin/env bash
# Builds the Debian package from an existing build and checks it:
#
#   - two cpack runs give byte-identical packages (reproducible);
#   - name, version 2.9-1, dependencies and Installed-Size as dpkg counts it;
#   - lintian reports no error and no warning (its information tags are listed);
#   - every ELF file is hardened: BIND_NOW, GNU_RELRO, stack protector, at least
#     one fortified call; the program is PIE;
#   - the documents are sound (manual page, desktop entry, AppStream data,
#     copyright in the machine-readable format);
#   - in a scratch root (dpkg --root, the machine's own package database is not
#     touched): the package installs, a normal user converts a PNG with a frame
#     from the home folder through /usr/bin/tarnwick, the manual F1 opens and the
#     themes are found in /usr/share/tarnwick, and a purge leaves nothing behind.
#
#   bash tests/package/check-deb.sh [BUILD_DIR]     (default: build)
#
# CI runs it on the build the tests made (scripts/run-tests.sh); a build folder
# that does not exist yet is configured and built without tests first. Needs
# dpkg-dev, lintian, groff-base, appstream, desktop-file-utils (and ImageMagick
# for the pixel check).
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=${1:-build}
sample=$top/assets/samples/sample.png

fail() {
  echo "check-deb: $*" >&2
  exit 1
}
step() { echo "check-deb: $*"; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
# Up to date after the tests' build: nothing is compiled again.
cmake --build "$build" -j"$(nproc)" >/dev/null

# Every time in the package derives from this (the last commit's time).
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null || true)
fi
[ -n "${SOURCE_DATE_EPOCH:-}" ] && export SOURCE_DATE_EPOCH

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

# ---- Two cpack runs, one result ------------------------------------------------
pack() {
  rm -f "$build"/tarnwick_*.deb
  (cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    fail "cpack failed"
  }
}
pack
deb=$(ls "$build"/tarnwick_*.deb)
cp "$deb" "$scratch/first.deb"
sleep 1 # a clock that leaked into the package would show
pack
first=$(sha256sum <"$scratch/first.deb" | cut -d' ' -f1)
second=$(sha256sum <"$deb" | cut -d' ' -f1)
step "cpack run 1: $first"
step "cpack run 2: $second"
[ "$first" = "$second" ] || fail "two cpack runs gave different packages"

# ---- Name and control data ---------------------------------------------------
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^project(tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(basename "$deb")" = "tarnwick_${version}-1_${arch}.deb" ] || fail "unexpected name $deb"
[ "$(dpkg-deb -f "$deb" Version)" = "${version}-1" ] || fail "version is not ${version}-1"
depends=$(dpkg-deb -f "$deb" Depends)
for want in libc6 libfreeimage3 libqt6widgets6 fonts-liberation2 fonts-dejavu-core; do
  [[ $depends == *"$want"* ]] || fail "Depends lacks $want: $depends"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qE '(^|/)(preinst|postinst|prerm|postrm)$' &&
  fail "the package has maintainer scripts"

root=$scratch/root
unpacked=$scratch/unpacked
dpkg-deb -x "$deb" "$unpacked"
# dpkg-gencontrol's count: files and links rounded up to KiB, 1 KiB a folder.
counted=$(cd "$unpacked" && find . \( -type f -o -type l \) -printf '%s\n' -o -printf 'd\n' |
  awk '$1 == "d" { kib += 1; next } { kib += int(($1 + 1023) / 1024) } END { print kib }')
declared=$(dpkg-deb -f "$deb" Installed-Size)
[ "$declared" = "$counted" ] || fail "Installed-Size is $declared, dpkg counts $counted"
step "Installed-Size: $declared KiB"

# ---- lintian -------------------------------------------------------------------
lintian --display-info --show-overrides --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>"$scratch/lintian.err" ||
  true
grep -v 'running with root privileges' "$scratch/lintian.err" >&2 || true
grep -E '^(I|P|X|O): ' "$scratch/lintian.txt" | sed 's/^/check-deb: lintian /' || true
if grep -E '^(E|W): ' "$scratch/lintian.txt"; then
  fail "lintian reports errors or warnings"
fi
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$unpacked/usr/share/doc/tarnwick/copyright" || fail "copyright is not machine-readable"
zcat "$unpacked/usr/share/doc/tarnwick/changelog.Debian.gz" | head -1 |
  grep -qx "tarnwick (${version}-1) unstable; urgency=medium" || fail "changelog does not start with ${version}-1"

# ---- Hardening of every ELF file -------------------------------------------------
# The C library functions that have checked (_FORTIFY_SOURCE) variants.
libc=$(ldconfig -p | awk '/libc\.so\.6 .*x86-64|libc\.so\.6 \(libc6,/ { print $NF; exit }')
[ -n "$libc" ] || libc=$(gcc -print-file-name=libc.so.6)
fortifiable=$(readelf --dyn-syms -W "$libc" | grep -oE '__[a-z0-9_]+_chk' | sed 's/^__//; s/_chk$//' |
  sort -u)
elves=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' \n')" = 7f454c46 ] || continue
  elves=$((elves + 1))
  name=${file#"$unpacked"}
  readelf -dW "$file" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' || fail "$name: no BIND_NOW"
  readelf -lW "$file" | grep -q GNU_RELRO || fail "$name: no GNU_RELRO"
  symbols=$(readelf --dyn-syms -W "$file" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }' | sort -u)
  grep -qx __stack_chk_fail <<<"$symbols" || fail "$name: no stack protector"
  checked=$(grep -E '^__[a-z0-9_]+_chk$' <<<"$symbols" | grep -vx __stack_chk_fail | tr '\n' ' ' || true)
  unchecked=$(grep -xF -f <(printf '%s\n' $fortifiable) <<<"$symbols" | tr '\n' ' ' || true)
  [ -n "$checked" ] || fail "$name: no fortified call${unchecked:+ (calls $unchecked unchecked)}"
  type=$(readelf -hW "$file" | awk '/Type:/ { print $2 }')
  if [ "$name" = /usr/lib/tarnwick/tarnwick ]; then
    [ "$type" = DYN ] && readelf -dW "$file" | grep -q 'FLAGS_1.*PIE' || fail "$name: not PIE"
  fi
  step "hardened $name ($type): BIND_NOW GNU_RELRO __stack_chk_fail fortified: $checked"
done < <(find "$unpacked" -type f -print0 | sort -z)
[ "$elves" -ge 3 ] || fail "only $elves ELF files in the package"

# ---- Files and documents ---------------------------------------------------------
for f in usr/lib/tarnwick/tarnwick usr/lib/tarnwick/libtarnwick_ui.so \
  usr/lib/tarnwick/libtarnwick_canvas.so usr/share/tarnwick/gfx/handdrawn.zip \
  usr/share/tarnwick/gfx/flat.zip usr/share/tarnwick/tarnwick.html \
  usr/share/tarnwick/images/preferences-general.png usr/share/applications/tarnwick.desktop \
  usr/share/icons/hicolor/scalable/apps/tarnwick.svg \
  usr/share/icons/hicolor/48x48/apps/tarnwick.png \
  usr/share/man/man1/tarnwick.1.gz usr/share/bash-completion/completions/tarnwick \
  usr/share/metainfo/example.pictavo.tarnwick.metainfo.xml \
  usr/share/doc/tarnwick/copyright usr/share/doc/tarnwick/changelog.Debian.gz; do
  [ -e "$unpacked/$f" ] || fail "missing /$f"
done
# Nothing architecture-independent in the program folder.
extra=$(find "$unpacked/usr/lib/tarnwick" -mindepth 1 ! -name tarnwick ! -name 'libtarnwick_*.so')
[ -z "$extra" ] || fail "data in /usr/lib/tarnwick: $extra"
[ "$(readlink "$unpacked/usr/bin/tarnwick")" = ../lib/tarnwick/tarnwick ] || fail "bin/tarnwick is no link"
zcat "$unpacked/usr/share/man/man1/tarnwick.1.gz" | groff -man -ww -Tutf8 -z 2>&1 |
  { ! grep .; } || fail "the manual page has warnings"
desktop-file-validate "$unpacked/usr/share/applications/tarnwick.desktop"
appstreamcli validate --pedantic --no-net \
  "$unpacked/usr/share/metainfo/example.pictavo.tarnwick.metainfo.xml" >/dev/null

# ---- Install into a scratch root -----------------------------------------------
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg_root=(dpkg --root="$root" --log="$scratch/dpkg.log" --force-depends)
[ "$(id -u)" -eq 0 ] || dpkg_root+=(--force-not-root)
# apt resolves the package's dependencies from this machine's packages (a
# simulation: nothing is installed here).
apt-get install --simulate --no-install-recommends -q "$(realpath "$deb")" >"$scratch/apt.log" 2>&1 || {
  cat "$scratch/apt.log" >&2
  fail "apt-get cannot install the package on this machine"
}
grep -q '^Inst tarnwick ' "$scratch/apt.log" || fail "apt-get would not install the package"
# The scratch root holds no other package: its dependencies are not checked there.
"${dpkg_root[@]}" --install "$deb" >"$scratch/dpkg.out" 2>&1 || {
  cat "$scratch/dpkg.out" >&2
  fail "dpkg could not install the package"
}
dpkg-query --admindir="$admin" -W -f='${Status}' tarnwick | grep -qx 'install ok installed' ||
  fail "the package is not installed in the scratch root"
program=$root/usr/lib/tarnwick/tarnwick
step "installed into the scratch root"

# A normal user (nobody when this runs as root) converts from the home folder.
home=$scratch/home
mkdir -p "$home/out" "$home/run"
cp "$sample" "$home/sample.png"
chmod 700 "$home/run"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R 65534:65534 "$home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run" \
  bash -c 'cd "$HOME" && "$1" -q -i sample.png -o "$HOME/out" \
    --fr-solid-left=4 --fr-solid-right=4 --fr-solid-top=4 --fr-solid-bottom=4 \
    --fr-solid-left-color=FF0000 --fr-solid-right-color=FF0000 \
    --fr-solid-top-color=FF0000 --fr-solid-bottom-color=FF0000' \
  convert-as-user "$root/usr/bin/tarnwick" || fail "the installed program did not convert"
bmp=$home/out/sample.bmp
[ -s "$bmp" ] || fail "no BMP written"
# The top-left pixel lies in the red frame (ImageMagick reads the BMP).
if command -v convert >/dev/null; then
  pixel=$(convert "$bmp" -format '%[pixel:p{0,0}]' info:)
  [[ $pixel =~ ^(red|srgba?\(255,0,0(,1)?\))$ ]] || fail "top-left pixel is $pixel, not red"
fi
[ "$(stat -c %u "$bmp")" = "$(stat -c %u "$home")" ] || fail "the BMP does not belong to the user"
step "converted a PNG with a frame as $("${as_user[@]}" id -un) from the home folder"
"$root/usr/bin/tarnwick" -v | grep -qx "$version" || fail "version is not $version"

# The manual F1 opens and the theme folder, as the installed program finds them.
probe=$build/tools/tarnwick_data_path_probe
if [ -x "$probe" ]; then
  data=$(realpath "$root/usr/share/tarnwick")
  resolved=$("$probe" "$program")
  grep -qx "manual $data/tarnwick.html" <<<"$resolved" || fail "F1 opens: $resolved"
  grep -qx "themes $data/gfx/" <<<"$resolved" || fail "themes: $resolved"
  step "F1 opens $data/tarnwick.html"
else
  step "no $probe (a build without tests): the manual's path is not checked"
fi

# Purge: nothing of the package is left in the root.
"${dpkg_root[@]}" --purge tarnwick >"$scratch/dpkg.out" 2>&1 || {
  cat "$scratch/dpkg.out" >&2
  fail "dpkg could not purge the package"
}
! dpkg-query --admindir="$admin" -W tarnwick >/dev/null 2>&1 ||
  dpkg-query --admindir="$admin" -W -f='${Status}' tarnwick | grep -q 'not-installed' ||
  fail "the package is still known after the purge"
left=$(cd "$root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg' \
  ! -path './var/lib/dpkg/*' -print)
[ -z "$left" ] || fail "left behind after the purge: $left"
! ls "$admin/info" | grep -q '^tarnwick\.' || fail "dpkg's records of the package are left"
step "purged, nothing left"

echo "check-deb: $(basename "$deb") is fine"
