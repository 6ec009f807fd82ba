#!/bin/sh
# The dialog at 96 and at 192 dpi (Xvfb -dpi and Xft.dpi, as a desktop sets them): the window must be about
# twice as wide and as high at 192 dpi, and no text may be cut there that is not cut at 96 dpi. The two
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

for dpi in 96 192; do
  start_xvfb "$dpi"
  start_program "$binary" "$work/scm"
  wait_for_window
  photograph "$outdir/window-${dpi}dpi.png"
  eval "width_$dpi=$WIDTH height_$dpi=$HEIGHT"
  echo "screenshot: $outdir/window-${dpi}dpi.png (${WIDTH}x${HEIGHT})"
  click_exit
  wait_for_exit
  [ "$status" = 0 ] || fail "at $dpi dpi the program did not end with status 0 after Exit: ${status:-still running}"

  (cd "$(run_folder "$binary")" && KELVORANT_MACHINE=demo KELVORANT_SCM_DIR="$work/scm" \
     "$textfit" "$outdir/cut-${dpi}dpi.txt" >"$work/stdout" 2>"$work/stderr") ||
    fail "the text fit run at $dpi dpi failed: $(cat "$work/stderr")"
  stop_xvfb
done

# About twice: within a tenth. Base units are whole pixels, so 192 dpi rounds the font's own way.
ratio_ok() { awk -v a="$1" -v b="$2" 'BEGIN { r = b / a; exit !(r >= 1.8 && r <= 2.2) }'; }
ratio_ok "$width_96" "$width_192" || fail "the window is ${width_96} pixels wide at 96 dpi and ${width_192} at 192"
ratio_ok "$height_96" "$height_192" || fail "the window is ${height_96} pixels high at 96 dpi and ${height_192} at 192"

newly_cut=$(sort "$outdir/cut-96dpi.txt" >"$work/cut96"; sort "$outdir/cut-192dpi.txt" | comm -13 "$work/cut96" -)
[ -z "$newly_cut" ] || fail "cut at 192 dpi but not at 96 (control id, text): $newly_cut"
echo "PASS: ${width_96}x${height_96} at 96 dpi, ${width_192}x${height_192} at 192 dpi;" \
  "$(wc -l <"$outdir/cut-192dpi.txt") texts cut at 192 dpi, all cut at 96 as well"
