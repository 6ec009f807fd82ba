#!/usr/bin/env bash
# The Windows build under Wine, as a person would use it: kelvorant.exe started in a folder that holds
# KELVORANT.sys, in a fresh Wine prefix on a virtual X display. It installs and starts the driver's service,
# the dialog lists the demo machine (the driver's choice where the HAL reaches no PCI hardware), a click on
# "Exit" ends the program and the service is gone afterwards. Then the driver runs under a service whose
# value Machine names a machine file and whose value Trace names a trace: the dialog lists that machine, and
# the driver traces its requests, as the Linux build does.
#
# Usage: wine_e2e.sh SOURCE_DIR WINDOWS_BUILD_DIR OUT_DIR LINUX_BUILD_DIR
#   builds the Windows tree into WINDOWS_BUILD_DIR (incrementally), and leaves the screenshot
#   wine-dialog.png, the program's output, the traces and Wine's log in OUT_DIR; the Linux build's kelvorant
#   and KELVORANT.sys in LINUX_BUILD_DIR write the trace that the Windows driver's is compared with.
# Exit status: 0 passed, 1 failed, 77 skipped (no mingw-w64, Wine, Xvfb, xdotool or ImageMagick).
set -uo pipefail

SOURCE_DIR=$(cd "$1" && pwd)
WINDOWS_BUILD=$2
OUT=$3
LINUX_BUILD=$(cd "$4" && pwd)
EXPECTED_ROWS=$SOURCE_DIR/tests/windows_build/data/demo-device-rows.txt
EXPECTED_MACHINE_ROWS=$SOURCE_DIR/tests/windows_build/data/fujitsu-faults-device-rows.txt
SCAN_TIMEOUT=180   # the first scan is 8,192 requests, each a round trip to Wine's driver host

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
step() { echo "-- $*"; }

WINE=$(command -v wine || command -v wine64 || true)
[ -n "$WINE" ] || skip "wine is not installed (Debian: wine64 wine)"
command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "mingw-w64 is not installed (Debian: g++-mingw-w64-x86-64-posix)"
for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || skip "$tool is not installed"
done
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)

step "building the Windows tree in $WINDOWS_BUILD"
if [ ! -f "$WINDOWS_BUILD/CMakeCache.txt" ]; then
  cmake -S "$SOURCE_DIR/windows_build" -B "$WINDOWS_BUILD" \
    -DCMAKE_TOOLCHAIN_FILE="$SOURCE_DIR/windows_build/toolchain/mingw-w64-x86_64.cmake" >"$OUT/windows-configure.log" 2>&1 ||
    { cat "$OUT/windows-configure.log"; fail "the Windows tree does not configure"; }
fi
cmake --build "$WINDOWS_BUILD" -j 2 >"$OUT/windows-build.log" 2>&1 ||
  { tail -30 "$OUT/windows-build.log"; fail "the Windows tree does not build"; }
for f in kelvorant.exe KELVORANT.sys list_rows.exe; do
  [ -f "$WINDOWS_BUILD/$f" ] || fail "the Windows build made no $f"
done

# Everything below runs in a prefix and on a display of its own, both gone when the test ends.
export WINEPREFIX=$OUT/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
XVFB_PID=""
PROGRAM_PID=""
cleanup() {
  [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null
  "$WINESERVER" -k 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT

step "starting a virtual display"
exec 3>"$OUT/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$OUT/display" ] && break; sleep 0.1; done
[ -s "$OUT/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$OUT/display")

step "preparing a fresh Wine prefix"
rm -rf "$WINEPREFIX"
"$WINE" wineboot -i >"$OUT/wineboot.log" 2>&1 || fail "wineboot failed"
"$WINESERVER" -w

RUN=$OUT/run
rm -rf "$RUN"
mkdir -p "$RUN"
cp "$WINDOWS_BUILD/kelvorant.exe" "$WINDOWS_BUILD/KELVORANT.sys" "$WINDOWS_BUILD/list_rows.exe" "$RUN/"
cd "$RUN" || fail "no run folder"

# The first StartService of a fresh prefix can time out (1053) while Wine brings up its own services: one
# warm-up start of the same driver under another name, so that KELVORANT itself is new to the program.
step "warming up the prefix's service manager"
WARMUP_BIN="$("$WINE" winepath -w "$RUN/KELVORANT.sys" 2>/dev/null | tr -d '\r')"
"$WINE" sc create KVWARMUP type= kernel start= demand binPath= "$WARMUP_BIN" >"$OUT/warmup.log" 2>&1
for _ in 1 2 3; do
  "$WINE" sc start KVWARMUP >>"$OUT/warmup.log" 2>&1 && break
  sleep 2
done
"$WINE" sc stop KVWARMUP >>"$OUT/warmup.log" 2>&1
"$WINE" sc delete KVWARMUP >>"$OUT/warmup.log" 2>&1

query_service() { "$WINE" sc query KELVORANT 2>/dev/null | tr -d '\r'; }
query_service | grep -q "SERVICE_NAME: KELVORANT" && fail "a KELVORANT service exists before the program runs"

# Starts kelvorant.exe (standard output into $1) and waits for its dialog: WINDOW and PROGRAM_PID.
start_program() {
  "$WINE" kelvorant.exe >"$1" 2>>"$OUT/wine.log" &
  PROGRAM_PID=$!
  WINDOW=""
  for _ in $(seq $((SCAN_TIMEOUT * 2))); do
    WINDOW=$(xdotool search --onlyvisible --name '^kelvorant$' 2>/dev/null | head -1)
    [ -n "$WINDOW" ] && break
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    sleep 0.5
  done
  if [ -z "$WINDOW" ]; then
    import -window root "$OUT/wine-dialog.png" 2>/dev/null
    cat "$1"
    fail "no dialog appeared (screenshot: $OUT/wine-dialog.png)"
  fi
  sleep 1   # the first paint
}

# Reads the dialog's device list into $1 and compares it with the rows in $2.
check_rows() {
  "$WINE" list_rows.exe kelvorant 1000 8 >"$1" 2>"$OUT/list_rows.log" ||
    { cat "$OUT/list_rows.log"; fail "the device list cannot be read"; }
  diff -u "$2" "$1" || fail "the device list differs from the rows of $2"
  echo "device list: $(wc -l <"$1") rows, as expected"
}

# Clicks "Exit" and waits for the program to end with status 0. The button's centre from its place in the
# dialog template (dialog units, 428 x 320 in all): the window's client area is the template's size in
# pixels, whatever the font.
click_exit() {
  eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
  EXIT_X=$((X + (371 * 2 + 50) * WIDTH / (2 * 428)))
  EXIT_Y=$((Y + (137 * 2 + 21) * HEIGHT / (2 * 320)))
  xdotool mousemove "$EXIT_X" "$EXIT_Y" click 1
  STATUS=""
  for _ in $(seq 60); do
    if ! kill -0 "$PROGRAM_PID" 2>/dev/null; then
      wait "$PROGRAM_PID"
      STATUS=$?
      break
    fi
    sleep 0.5
  done
  [ -n "$STATUS" ] || fail "the program did not end after the click on Exit at $EXIT_X,$EXIT_Y"
  PROGRAM_PID=""
  [ "$STATUS" -eq 0 ] || fail "the program ended with status $STATUS"
}

step "starting kelvorant.exe"
start_program "$OUT/stdout.txt"
import -window root "$OUT/wine-dialog.png" || fail "no screenshot"
echo "screenshot: $OUT/wine-dialog.png"

step "checking the service and the device list"
query_service | grep -q "RUNNING" || fail "the KELVORANT service is not running while the dialog is shown"
check_rows "$OUT/device-rows.txt" "$EXPECTED_ROWS"

step "clicking Exit"
click_exit

step "checking that the service is gone"
query_service | grep -q "SERVICE_NAME: KELVORANT" && fail "the KELVORANT service is still installed"

step "checking the program's standard output"
# The program's printf writes text mode on Windows: lines end in \r\n there and in \n on Linux.
EXPECTED_OUT=$'OpenService failed!  Error = 1060 \nOpenService failed!  Error = 1060 \n'
ACTUAL_OUT=$(tr -d '\r' <"$OUT/stdout.txt"; echo x)
if [ "${ACTUAL_OUT%x}" != "$EXPECTED_OUT" ]; then
  echo "expected:"; printf '%s' "$EXPECTED_OUT" | cat -A
  echo "got:"; cat -A "$OUT/stdout.txt"
  fail "the standard output differs from a first run on Linux"
fi

# The driver reads a machine file, with its fault rules and the dump it names, through the kernel's file
# routines when the value Machine of its service key names one, and appends a line for each request to the
# file that the value Trace names. The program re-creates its own service, so the driver runs under another
# one here, and the program finds its device open (as after a crash).
step "serving a machine file named by the service value Machine, traced into the file the value Trace names"
MACHINE_PATH=$SOURCE_DIR/tests/data/machines/fujitsu-faults.json
MACHINE_FILE=$("$WINE" winepath -w "$MACHINE_PATH" 2>/dev/null | tr -d '\r')
TRACE=$OUT/wine-trace.txt
rm -f "$TRACE"
TRACE_FILE=$("$WINE" winepath -w "$TRACE" 2>/dev/null | tr -d '\r')
"$WINE" sc create KVMACHINE type= kernel start= demand binPath= "$WARMUP_BIN" >"$OUT/machine.log" 2>&1
for value in "Machine:$MACHINE_FILE" "Trace:$TRACE_FILE"; do
  "$WINE" reg add 'HKLM\System\CurrentControlSet\Services\KVMACHINE' /v "${value%%:*}" /t REG_SZ /d "${value#*:}" /f \
    >>"$OUT/machine.log" 2>&1 || fail "the value ${value%%:*} cannot be set"
done
"$WINE" sc start KVMACHINE >>"$OUT/machine.log" 2>&1 || { cat "$OUT/machine.log"; fail "the driver did not start on $MACHINE_FILE"; }
start_program "$OUT/machine-stdout.txt"
check_rows "$OUT/machine-device-rows.txt" "$EXPECTED_MACHINE_ROWS"
click_exit
"$WINE" sc stop KVMACHINE >>"$OUT/machine.log" 2>&1
"$WINE" sc delete KVMACHINE >>"$OUT/machine.log" 2>&1

# The same requests on Linux (the dialog shown and closed, headless), where the platform hands the driver
# KELVORANT_TRACE as its value Trace: the two drivers write the same lines.
step "comparing the driver's trace with the Linux build's"
LINUX_RUN=$OUT/linux-run
rm -rf "$LINUX_RUN"
mkdir -p "$LINUX_RUN"
(cd "$LINUX_BUILD" && env -u DISPLAY KELVORANT_UI=headless KELVORANT_MACHINE="$MACHINE_PATH" \
  KELVORANT_TRACE="$LINUX_RUN/trace.txt" KELVORANT_SCM_DIR="$LINUX_RUN/scm" ./kelvorant \
  >"$LINUX_RUN/stdout.txt" 2>"$LINUX_RUN/stderr.txt") ||
  { cat "$LINUX_RUN/stderr.txt"; fail "the Linux build did not run"; }
[ -s "$TRACE" ] || fail "the driver wrote no trace to $TRACE_FILE"
diff -u "$LINUX_RUN/trace.txt" "$TRACE" >"$OUT/trace.diff" ||
  { head -20 "$OUT/trace.diff"; fail "the trace differs from the Linux build's (diff: $OUT/trace.diff)"; }
echo "trace: $(wc -l <"$TRACE") lines, as the Linux build writes them"

echo "PASSED: kelvorant.exe and KELVORANT.sys under Wine"
