#!/usr/bin/env bash
# Finishes a .deb that cpack built (called by deb_post_build.cmake):
#
#   - Installed-Size as dpkg-gencontrol counts it: every file and symbolic
#     link rounded up to whole KiB, every folder 1 KiB (CPack sums the bytes
#     and counts a folder as 4 KiB);
#   - no maintainer script may call ldconfig;
#   - the archive is rebuilt by dpkg-deb with SOURCE_DATE_EPOCH set: member
#     and file times clamped to it, files in sorted order, owner root.
#
#   bash packaging/deb-finish.sh PACKAGE.deb      (SOURCE_DATE_EPOCH must be set)
set -euo pipefail
deb=$1
[[ ${SOURCE_DATE_EPOCH:-} =~ ^[0-9]+$ ]] || {
  echo "deb-finish: SOURCE_DATE_EPOCH is not set" >&2
  exit 1
}
umask 022
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
pkg=$work/pkg
dpkg-deb --raw-extract "$deb" "$pkg"

if grep -qs ldconfig "$pkg"/DEBIAN/{preinst,postinst,prerm,postrm}; then
  echo "deb-finish: a maintainer script calls ldconfig" >&2
  exit 1
fi

size=$(cd "$pkg" && find . -path ./DEBIAN -prune -o \( -type f -o -type l \) -printf '%s\n' -o -printf 'd\n' |
  awk '$1 == "d" { kib += 1; next } { kib += int(($1 + 1023) / 1024) } END { print kib }')
sed -i "s/^Installed-Size: .*/Installed-Size: $size/" "$pkg/DEBIAN/control"

dpkg-deb --root-owner-group -Zxz --build "$pkg" "$work/out.deb" >/dev/null
mv -f "$work/out.deb" "$deb"
