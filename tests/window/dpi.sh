#!/bin/sh
# The dialog at 96 and at 192 dpi (Xvfb -dpi and Xft.dpi, as a desktop sets them), in 8-point Tahoma as its
# template's "MS Shell Dlg" asks: the window has the size that Windows' dialog units give the 428 x 320
# template (base units 6 x 13 at 96 dpi, 12 x 25 at 192), and no control's text is cut at either. The two
# screenshots stay in OUTDIR (window-96dpi.png, window-192dpi.png), beside the cut texts of each
# (cut-96dpi.txt, cut-192dpi.txt: "control id<TAB>text", from text_fit_main.cpp).
#
#   dpi.sh KELVORANT TEXT_FIT OUTDIR
#
# Exit status: 0 passed, 1 failed, 77 skipped (no X server tools, or the binaries are not built yet).
set -u
binary=$1 textfit=$2 outdir=$3

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

for b in "$binary" "$textfit"; do [ -x "$b" ] || skip "$b is not built"; done
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
textfit=$(cd "$(dirname "$textfit")" && pwd)/$(basename "$textfit")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)

LSAN_OPTIONS="suppressions=$here/lsan_x11.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

work=$(mktemp -d)
. "$here/x11_session.sh"
trap 'stop_session; rm -rf "$work"' EXIT

size_96=642x520 size_192=1284x1000

for dpi in 96 192; do
  start_xvfb "$dpi"
  start_program "$binary" "$work/scm"
  wait_for_window
  photograph "$outdir/window-${dpi}dpi.png"
  echo "screenshot: $outdir/window-${dpi}dpi.png (${WIDTH}x${HEIGHT})"
  click_exit
  wait_for_exit
  [ "$status" = 0 ] || fail "at $dpi dpi the program did not end with status 0 after Exit: ${status:-still running}"
  ! grep "dialog font" "$work/stderr" || fail "the dialog is not drawn in its own font"
  eval "expected=\$size_$dpi"
  [ "${WIDTH}x${HEIGHT}" = "$expected" ] || fail "the window is ${WIDTH}x${HEIGHT} at $dpi dpi, not $expected"

  (cd "$(run_folder "$binary")" && KELVORANT_MACHINE=demo KELVORANT_SCM_DIR="$work/scm" \
     "$textfit" "$outdir/cut-${dpi}dpi.txt" >"$work/stdout" 2>"$work/stderr") ||
    fail "the text fit run at $dpi dpi failed: $(cat "$work/stderr")"
  [ ! -s "$outdir/cut-${dpi}dpi.txt" ] ||
    fail "cut at $dpi dpi (control id, text): $(cat "$outdir/cut-${dpi}dpi.txt")"
  stop_xvfb
done
echo "PASS: $size_96 at 96 dpi, $size_192 at 192 dpi; no text cut at either"
