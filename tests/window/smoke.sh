#!/bin/sh
# Shows the program on the demo machine in a real window under a virtual X server, photographs it, clicks
# "Exit" and checks that it ends and removes its driver service. Then ends two more runs with SIGTERM, as a
# session's end would: one at the dialog, one at a message box in front of everything (a start whose
# machine the driver refuses); each closes as by its close box and the process ends by the signal. Last, the
# X server ends under the dialog: the run ends with status 2, and its service goes too.
#
#   smoke.sh KELVORANT OUTDIR
#
# Exit status: 0 passed, 1 failed, 77 skipped (no X server tools, or the binary is not built yet).
set -u
binary=$1 outdir=$2

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

[ -x "$binary" ] || skip "$binary is not built"
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$outdir"

# Under AddressSanitizer: the font libraries' caches are not the program's leaks.
LSAN_OPTIONS="suppressions=$here/lsan_x11.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

work=$(mktemp -d)
. "$here/x11_session.sh"
trap 'stop_session; rm -rf "$work"' EXIT

start_xvfb 96
scm="$work/scm"
start_program "$binary" "$scm"
wait_for_window
shot="$outdir/window-program.png"
photograph "$shot"
echo "screenshot: $shot (${WIDTH}x${HEIGHT}, $colours colours)"

# The window manager gets the dialog's icon (WM_SETICON) as _NET_WM_ICON; xprop (x11-utils) reads it back.
if command -v xprop >/dev/null 2>&1; then
  icon_bytes=$(xprop -id "$window" _NET_WM_ICON | wc -c)
  [ "$icon_bytes" -gt 100 ] || fail "the window has no icon: $(xprop -id "$window" _NET_WM_ICON)"
fi

ls "$scm" 2>/dev/null | grep -qi '^kelvorant' || fail "no service record in $scm while the dialog is shown"

click_exit
wait_for_exit
[ -n "$status" ] || fail "still running 20 s after the click on Exit at $exit_x,$exit_y"
[ "$status" -eq 0 ] || fail "exit status $status; stderr: $(cat "$work/stderr")"

left=$(ls "$scm" 2>/dev/null | grep -i '^kelvorant')
[ -z "$left" ] || fail "the service record is still there: $left"
echo "PASS: the program ended with status 0 after a click on Exit at $exit_x,$exit_y"

# The run ended after WHAT with STATUS and the line LINE on standard error, and its service left SCM.
expect_end() {
  what=$1 want=$2 line=$3 scm=$4
  wait_for_exit
  [ -n "$status" ] || fail "still running 20 s after $what"
  [ "$status" -eq "$want" ] || fail "exit status $status after $what; stderr: $(cat "$work/stderr")"
  grep -qx "$line" "$work/stderr" || fail "$what was not said; stderr: $(cat "$work/stderr")"
  left=$(ls "$scm" 2>/dev/null | grep -i '^kelvorant')
  [ -z "$left" ] || fail "the service record is still there after $what: $left"
}

# SIGTERM: the box takes its default button, the dialog closes, the service goes, and the exit status is the
# signal's (128 + 15).
echo '{' >"$work/refused.json"
for at in "kelvorant:demo" "Error:$work/refused.json"; do
  title=${at%%:*} machine=${at#*:} scm="$work/scm-$title"
  start_program "$binary" "$scm" "$machine"
  wait_for_window "$title"
  kill -TERM "$app_pid"
  expect_end "SIGTERM at the window $title" 143 'kelvorant: SIGTERM: the dialog closes as by its close box' "$scm"
  echo "PASS: SIGTERM at the window $title closed it, and the program ended by the signal"
done

# The X server goes away under the dialog: the run ends at once, says so, and still removes its service.
scm="$work/scm-gone"
start_program "$binary" "$scm"
wait_for_window
gone=$DISPLAY
stop_xvfb
expect_end "the end of the X server" 2 "kelvorant: the display $gone is gone: the run ends" "$scm"
echo "PASS: the end of the X server ended the run with status 2, and its service went"
