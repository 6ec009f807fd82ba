#!/bin/sh
# Shows the program on the demo machine in a real window under a virtual X server, photographs it, clicks
# "Exit" and checks that it ends and removes its driver service.
#
#   smoke.sh KELVORANT OUTDIR
#
# "Exit" is found from the window alone: the dialog is 428 x 320 dialog units and the window's size gives
# the base units, from which the button's template rectangle (371, 137, 50, 21) becomes pixels.
# Exit status: 0 passed, 1 failed, 77 skipped (no X server tools, or the binary is not built yet).
set -u
binary=$1 outdir=$2

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

[ -x "$binary" ] || skip "$binary is not built"
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
mkdir -p "$outdir"
for tool in Xvfb xdotool import convert; do
  command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
done

# Under AddressSanitizer: the font libraries' caches are not the program's leaks.
LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan_x11.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

work=$(mktemp -d)
xvfb_pid= app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and writes its number to a file descriptor.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || skip "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=:$(cat "$work/display")
export DISPLAY

scm="$work/scm"
mkdir -p "$work/run"
ln -s "$(dirname "$binary")/KELVORANT.sys" "$work/run/KELVORANT.sys"
(cd "$work/run" && KELVORANT_UI=window KELVORANT_MACHINE=demo KELVORANT_SCM_DIR="$scm" \
   exec "$binary" >"$work/stdout" 2>"$work/stderr") &
app_pid=$!

window=$(timeout 30 xdotool search --sync --name '^kelvorant$' 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no window named kelvorant appeared; stderr: $(cat "$work/stderr")"
eval "$(xdotool getwindowgeometry --shell "$window")"

# The first frame is drawn once the window is mapped: wait until the picture is more than a blank face.
shot="$outdir/window-program.png"
colours=0
for _ in $(seq 50); do
  import -window "$window" "$shot" 2>/dev/null &&
    colours=$(convert "$shot" -format %k info: 2>/dev/null || echo 0)
  [ "${colours:-0}" -gt 16 ] && break
  sleep 0.1
done
[ "${colours:-0}" -gt 16 ] || fail "the window shows nothing ($colours colours in $shot)"
echo "screenshot: $shot (${WIDTH}x${HEIGHT}, $colours colours)"

# The window manager gets the dialog's icon (WM_SETICON) as _NET_WM_ICON; xprop (x11-utils) reads it back.
if command -v xprop >/dev/null 2>&1; then
  icon_bytes=$(xprop -id "$window" _NET_WM_ICON | wc -c)
  [ "$icon_bytes" -gt 100 ] || fail "the window has no icon: $(xprop -id "$window" _NET_WM_ICON)"
fi

ls "$scm" 2>/dev/null | grep -qi '^kelvorant' || fail "no service record in $scm while the dialog is shown"

# Base units from the window's size, then the centre of "Exit".
set -- $(echo "$WIDTH $HEIGHT" | awk '{ bx = int($1 * 4 / 428 + 0.5); by = int($2 * 8 / 320 + 0.5);
  printf "%d %d\n", int(371 * bx / 4) + int(50 * bx / 8), int(137 * by / 8) + int(21 * by / 16) }')
xdotool mousemove --window "$window" "$1" "$2" click 1

status=
for _ in $(seq 200); do
  if ! kill -0 "$app_pid" 2>/dev/null; then wait "$app_pid"; status=$?; break; fi
  sleep 0.1
done
[ -n "$status" ] || fail "still running 20 s after the click on Exit at $1,$2"
app_pid=
[ "$status" -eq 0 ] || fail "exit status $status; stderr: $(cat "$work/stderr")"

left=$(ls "$scm" 2>/dev/null | grep -i '^kelvorant')
[ -z "$left" ] || fail "the service record is still there: $left"
echo "PASS: the program ended with status 0 after a click on Exit at $1,$2"
