#!/bin/sh
# Builds the Debian package from the source tree with Debian's own tools, and checks it with lintian.
#
#   packaging/deb.sh OUTDIR JOBS
#
# dpkg-buildpackage writes its packages beside the tree it builds, so the tree is copied into
# OUTDIR/kelvorant-VERSION first (the files git knows of, or every file but the build folders outside a git
# checkout): the packages land in OUTDIR, and the source tree stays as it was. Fails on any lintian error
# or warning; debian/kelvorant.lintian-overrides gives the reason of each override.
set -eu
out=$1 jobs=$2
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
mkdir -p "$out"
out=$(cd "$out" && pwd)
tree=$out/kelvorant-$version
rm -rf "$tree" "$out"/kelvorant_* "$out"/kelvorant-dbgsym_*
mkdir -p "$tree"

cd "$top"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard | tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$tree"
else
  tar --exclude=./build* --exclude=./out -cf - . | tar -xf - -C "$tree"
fi

cd "$tree"
DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc -b
changes=$(ls "$out"/kelvorant_"$version"_*.changes)
echo "lintian $changes:"
lintian --fail-on error,warning --display-info "$changes"
echo "kelvorant: $(ls "$out"/kelvorant_"$version"_*.deb)"
