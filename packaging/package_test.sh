#!/bin/sh
# The Debian package as a user gets it (make package-test; CI runs it): installed with
#   apt-get install ./kelvorant_VERSION_ARCH.deb
# then the installed launcher started headless on the demo machine, from a folder of its own, with a script
# that dumps the dialog: its device list must be the demo machine's (demo-device-list.txt), as root; as an
# ordinary user through pkexec on this computer's functions (tests/pkexec_check.sh); its command line (tests/arguments_check.sh: every
# option, a dump given as a relative FILE from another folder, --help, --version against the version
# resource, mistakes); and as root in a window under a virtual X server,
# closed by a click on its Exit (the window tests' tests/window/x11_session.sh). Then the package
# and the packages its installation brought in are purged, and nothing may be left behind: no package, and
# no file or folder in the system's folders (/etc, /usr, /var, /run, ...) that was not there before.
#
#   packaging/package_test.sh DEB_DIR
set -eu
dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
deb=$(ls "$dir"/kelvorant_*.deb | grep -v dbgsym | head -n 1)
[ -f "$deb" ] || fail "no package in $dir (make deb)"

work=$(mktemp -d)
app_pid= xvfb_pid=
trap '[ -z "$xvfb_pid" ] || stop_session; rm -rf "$work"' EXIT

packages() { dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 ~ /^.i/ { print $2 }' | sort; }
# Every path where a package or its maintainer scripts put things (home folders, /tmp and the other users'
# work are not), apt's and dpkg's own records, caches and logs aside.
paths() {
  for top in /etc /usr /var /opt /srv /run /boot /bin /sbin /lib /lib32 /lib64 /libx32; do
    [ -d "$top" ] && [ ! -L "$top" ] && echo "$top"
  done | xargs $sudo sh -c 'find "$@" -xdev \( -path /var/tmp -o -path /var/log -o -path /var/cache \
      -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/lib/ucf -o -path /run/user \) -prune -o -print' find |
    sort -u
}
packages >"$work/packages-before"
paths >"$work/paths-before"

export DEBIAN_FRONTEND=noninteractive
echo "apt-get install $deb"
$sudo apt-get install -y -q "$deb" >"$work/install.log" 2>&1 || fail "apt-get install: $(tail -n 20 "$work/install.log")"
packages >"$work/packages-installed"
brought=$(comm -13 "$work/packages-before" "$work/packages-installed" | tr '\n' ' ')
echo "installed: $brought"

# The installed launcher, as root, started from elsewhere with paths relative to that folder.
mkdir -p "$work/caller"
printf 'dump\n' >"$work/caller/script.txt"
(cd "$work/caller" && $sudo env KELVORANT_MACHINE=demo KELVORANT_UI=headless KELVORANT_UI_SCRIPT=script.txt \
   KELVORANT_UI_DUMP=dump.jsonl kelvorant >"$work/stdout" 2>"$work/stderr") ||
  fail "the installed kelvorant ended with status $?: $(cat "$work/stderr")"
# The device list's rows, one a line, cells separated by |.
sed -e 's/.*"lists":{"1000":{//' -e 's/},"1002":.*//' "$work/caller/dump.jsonl" |
  grep -o '"cells":\[[^]]*\]' | sed -e 's/"cells":\[//' -e 's/\]$//' -e 's/","/|/g' -e 's/"//g' >"$work/device-list.txt"
diff -u "$here/tests/demo-device-list.txt" "$work/device-list.txt" ||
  fail "the installed kelvorant's device list differs from the demo machine's (above)"
echo "the installed kelvorant shows the demo machine's $(wc -l <"$work/device-list.txt") functions"
[ ! -s "$work/stderr" ] || fail "the installed kelvorant said: $(cat "$work/stderr")"
# An ordinary user's start through the real pkexec, granted and refused.
"$here/tests/pkexec_check.sh" || exit 1
# The installed launcher's command line.
"$here/tests/arguments_check.sh" "$here/.." || exit 1

# The installed kelvorant in a window: its window library comes from /usr/lib/kelvorant. The window tests'
# functions look at statuses themselves (set +e).
skip() { fail "$*"; }  # Xvfb and the X tools come with the build's packages
. "$here/../tests/window/x11_session.sh"
set +e
start_xvfb 96
(cd "$work/caller" && exec $sudo env DISPLAY="$DISPLAY" KELVORANT_UI=window KELVORANT_MACHINE=demo kelvorant \
   >"$work/stdout" 2>"$work/stderr") &
app_pid=$!
wait_for_window
click_exit
wait_for_exit
stop_xvfb
[ "$status" = 0 ] || fail "the installed kelvorant's window did not end with status 0 after Exit: ${status:-still running}: $(cat "$work/stderr")"
[ ! -s "$work/stderr" ] || fail "the installed kelvorant's window said: $(cat "$work/stderr")"
echo "the installed kelvorant opened its window (${WIDTH}x${HEIGHT}) and ended after a click on Exit"
set -e

echo "apt-get purge $brought"
$sudo apt-get purge -y -q $brought >"$work/purge.log" 2>&1 || fail "apt-get purge: $(tail -n 20 "$work/purge.log")"
packages >"$work/packages-after"
paths >"$work/paths-after"
left=$(comm -13 "$work/packages-before" "$work/packages-after")
[ -z "$left" ] || fail "packages left installed: $left"
left=$(comm -13 "$work/paths-before" "$work/paths-after")
[ -z "$left" ] || fail "left behind after the purge:
$left"
echo "PASS: installed, ran and purged $deb; nothing left behind"
