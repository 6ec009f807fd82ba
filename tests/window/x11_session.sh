# Shell functions of the window tests, sourced by smoke.sh and dpi.sh: a virtual X server at a chosen
# resolution, the program in it on the demo machine, a picture of its window, and a click on its "Exit".
# The caller defines skip() and fail(), sets work to a folder of its own, and calls stop_session on exit.

xvfb_pid= app_pid=

# start_xvfb DPI: a screen of 1280 x 1024 pixels at 96 dpi, as many times larger as DPI is; Xft.dpi is set
# to DPI, as a desktop does. Exports DISPLAY.
start_xvfb() {
  local dpi=$1
  for tool in Xvfb xdotool xrdb import convert; do
    command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
  done
  rm -f "$work/display"
  # The server picks a free display and writes its number to a file descriptor.
  Xvfb -displayfd 3 -screen 0 "$((1280 * dpi / 96))x$((1024 * dpi / 96))x24" -dpi "$dpi" -nolisten tcp \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || skip "Xvfb did not start: $(cat "$work/xvfb.log")"
  DISPLAY=:$(cat "$work/display")
  export DISPLAY
  echo "Xft.dpi: $dpi" | xrdb -merge || fail "xrdb could not set Xft.dpi"
}

stop_xvfb() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}

stop_session() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  stop_xvfb
}

# run_folder BINARY: a folder in $work where the program finds its KELVORANT.sys; prints its path.
run_folder() {
  mkdir -p "$work/run"
  ln -sf "$(dirname "$1")/KELVORANT.sys" "$work/run/KELVORANT.sys"
  echo "$work/run"
}

# start_program BINARY SCM [MACHINE]: the program in a window on MACHINE (default: the demo machine), its
# service database in SCM.
start_program() {
  local run
  run=$(run_folder "$1")
  (cd "$run" && KELVORANT_UI=window KELVORANT_MACHINE="${3:-demo}" KELVORANT_SCM_DIR="$2" \
     exec "$1" >"$work/stdout" 2>"$work/stderr") &
  app_pid=$!
}

# wait_for_window [TITLE]: the window titled TITLE (default: kelvorant, the dialog's caption); sets window,
# WIDTH and HEIGHT.
wait_for_window() {
  local title=${1:-kelvorant}
  window=$(timeout 30 xdotool search --sync --name "^$title\$" 2>/dev/null | head -n 1)
  [ -n "$window" ] || fail "no window named $title appeared; stderr: $(cat "$work/stderr")"
  eval "$(xdotool getwindowgeometry --shell "$window")"
}

# photograph FILE: the window, once its first frame has come (the dialog is double-buffered, so a frame comes
# whole: its face, the white of its fields, black text and the greys of its edges, where an empty window has
# one or two colours; text drawn from a face's bitmaps, as Tahoma's at 96 dpi, adds no shades); sets colours.
photograph() {
  colours=0
  for _ in $(seq 50); do
    import -window "$window" "$1" 2>/dev/null &&
      colours=$(convert "$1" -format %k info: 2>/dev/null || echo 0)
    [ "${colours:-0}" -gt 4 ] && break
    sleep 0.1
  done
  [ "${colours:-0}" -gt 4 ] || fail "the window shows nothing ($colours colours in $1)"
}

# click_exit: "Exit" is found from the window alone: the dialog is 428 x 320 dialog units and the window's
# size gives the base units, from which the button's template rectangle (371, 137, 50, 21) becomes pixels.
# Sets exit_x and exit_y.
click_exit() {
  set -- $(echo "$WIDTH $HEIGHT" | awk '{ bx = int($1 * 4 / 428 + 0.5); by = int($2 * 8 / 320 + 0.5);
    printf "%d %d\n", int(371 * bx / 4) + int(50 * bx / 8), int(137 * by / 8) + int(21 * by / 16) }')
  exit_x=$1 exit_y=$2
  xdotool mousemove --window "$window" "$exit_x" "$exit_y" click 1
}

# wait_for_exit: the program's exit status in status, empty when it is still running after 20 s.
wait_for_exit() {
  status=
  for _ in $(seq 200); do
    if ! kill -0 "$app_pid" 2>/dev/null; then wait "$app_pid"; status=$?; break; fi
    sleep 0.1
  done
  [ -n "$status" ] && app_pid=
}
