#!/bin/sh
# The desktop entry, the AppStream metainfo and the manual page against their validators, and the icons made
# at build time against the sizes their folders promise.
#
#   validate.sh PACKAGING_SOURCE_DIR PACKAGING_BUILD_DIR
#
# Exit status: 0 clean, 1 a validator complained, 77 skipped (a validator is not installed).
set -u
src=$1 build=$2
for tool in desktop-file-validate appstreamcli mandoc identify; do
  command -v $tool >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
failed=0
check() {
  # A validator is clean when it exits 0 and prints nothing but its verdict.
  out=$("$@" 2>&1)
  status=$?
  case $1 in appstreamcli) out=$(printf '%s\n' "$out" | grep -v '^✔ Validation was successful') ;; esac
  if [ $status -ne 0 ] || [ -n "$out" ]; then
    echo "FAIL: $*"
    printf '%s\n' "$out"
    failed=1
  else
    echo "clean: $*"
  fi
}
check desktop-file-validate "$src/org.kelvorant.kelvorant.desktop"
check appstreamcli validate --no-net --pedantic "$src/org.kelvorant.kelvorant.metainfo.xml"
# Errors and warnings: mandoc's style notes also speak of this machine's manual database, not of the page.
check mandoc -T lint -W warning "$src/kelvorant.1"

for png in "$build"/icons/hicolor/*/apps/kelvorant.png; do
  want=$(basename "$(dirname "$(dirname "$png")")")
  got=$(identify -format '%wx%h' "$png")
  [ "$got" = "$want" ] || { echo "FAIL: $png is $got"; failed=1; }
done
ls "$build"/icons/hicolor/*/apps/kelvorant.png >/dev/null 2>&1 || { echo "FAIL: no icons in $build/icons"; failed=1; }
exit $failed
