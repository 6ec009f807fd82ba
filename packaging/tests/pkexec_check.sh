#!/bin/sh
# The installed kelvorant through the real pkexec (package_test.sh runs this while the package is installed):
# a system bus and polkitd of its own, and nobody as the ordinary user with a display. With a rule that
# grants nobody the action org.kelvorant.kelvorant.run, the launcher must start the program as root through
# it (the action matches the installed program, the variables and the folder get through), and the program
# must run as nobody once it has what root opens (pkexec's PKEXEC_UID): its dump is nobody's, no note
# says it runs without root, and its device list is the one root sees. Without the rule, pkexec finds no
# agent and the program runs as nobody with one note, showing what nobody sees. The runs are on this
# computer's functions (sysfs, only read), for which alone the launcher asks for root. Skipped (status 0,
# saying so) when a system bus runs already or a tool is missing, since it must not touch a running
# desktop's services.
#
#   packaging/tests/pkexec_check.sh
set -u
say() { echo "pkexec check: $*"; }
fail() { echo "FAIL: pkexec check: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || { say "skipped: needs root"; exit 0; }
polkitd=/usr/lib/polkit-1/polkitd
for tool in dbus-daemon "$polkitd" pkexec pkaction setpriv; do
  command -v "$tool" >/dev/null 2>&1 || { say "skipped: $tool is not installed"; exit 0; }
done
[ -e /run/dbus/system_bus_socket ] && { say "skipped: a system bus runs already"; exit 0; }

work=$(mktemp -d)
rule=/etc/polkit-1/rules.d/00-kelvorant-package-test.rules
dbus_pid= polkitd_pid=
cleanup() {
  rm -f "$rule"
  [ -n "$polkitd_pid" ] && kill "$polkitd_pid" 2>/dev/null && wait "$polkitd_pid" 2>/dev/null
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null
  rm -f /run/dbus/pid /run/dbus/system_bus_socket
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p /run/dbus
dbus_pid=$(dbus-daemon --system --fork --print-pid) || fail "dbus-daemon did not start"
"$polkitd" --no-debug >"$work/polkitd.log" 2>&1 &
polkitd_pid=$!
for _ in $(seq 100); do pkaction --action-id org.kelvorant.kelvorant.run >/dev/null 2>&1 && break; sleep 0.1; done
pkaction --action-id org.kelvorant.kelvorant.run --verbose >"$work/action" 2>&1 ||
  fail "polkitd does not know the action: $(cat "$work/action" "$work/polkitd.log")"
grep -q 'org.freedesktop.policykit.exec.path -> /usr/lib/kelvorant/kelvorant$' "$work/action" ||
  fail "the action is not for the installed program: $(cat "$work/action")"

mkdir -p "$work/caller"
chmod 755 "$work"
chmod 1777 "$work/caller"  # sticky, as /tmp
printf 'dump\n' >"$work/caller/script.txt"
# rows FILE: the device list of a JSON dump, a row a line, its cells between |.
rows() {
  sed -e 's/.*"lists":{"1000":{//' -e 's/},"1002":.*//' "$1" 2>/dev/null |
    grep -o '"cells":\[[^]]*\]' | sed -e 's/"cells":\[//' -e 's/\]$//' -e 's/","/|/g' -e 's/"//g'
}
# seen AS: the device list that the installed program, started directly as root or as nobody, shows.
seen() {
  local as=
  [ "$1" = nobody ] && as="setpriv --reuid=65534 --regid=65534 --clear-groups --"
  rm -rf "$work/caller/direct.jsonl" "$work/caller/scm-direct"
  (cd /usr/lib/kelvorant && $as env KELVORANT_UI=headless KELVORANT_MACHINE=sysfs \
     KELVORANT_UI_SCRIPT="$work/caller/script.txt" KELVORANT_UI_DUMP="$work/caller/direct.jsonl" \
     KELVORANT_SCM_DIR="$work/caller/scm-direct" ./kelvorant >/dev/null 2>&1 </dev/null)
  rows "$work/caller/direct.jsonl"
}
# launch NAME AS: the launcher as nobody with a display, headless on this computer, paths relative; its
# device list must be the one that AS sees.
launch() {
  rm -f "$work/caller/dump.jsonl"
  (cd "$work/caller" && setpriv --reuid=65534 --regid=65534 --clear-groups -- env DISPLAY=:99 \
     KELVORANT_UI=headless KELVORANT_MACHINE=sysfs KELVORANT_UI_SCRIPT=script.txt KELVORANT_UI_DUMP=dump.jsonl \
     kelvorant >/dev/null 2>"$work/$1.err" </dev/null)
  status=$?
  owner=$(stat -c %U "$work/caller/dump.jsonl" 2>/dev/null)
  notes=$(grep -c 'running as nobody, not as root' "$work/$1.err")
  [ -s "$work/caller/dump.jsonl" ] && [ "$(rows "$work/caller/dump.jsonl")" = "$(seen "$2")" ] ||
    fail "$1: not the device list that $2 sees: $(cat "$work/$1.err")"
}

echo 'polkit.addRule(function(action, subject) {
  if (action.id == "org.kelvorant.kelvorant.run" && subject.user == "nobody") return polkit.Result.YES;
});' >"$rule"
sleep 1  # polkitd reads its rules again when the folder changes
launch granted root
[ "$status" -eq 0 ] && [ "$owner" = nobody ] && [ "$notes" -eq 0 ] ||
  fail "granted: status $status, dump written by $owner, $notes notes: $(cat "$work/granted.err")"
say "granted: kelvorant started as root through pkexec and ran as nobody"

rm -f "$rule"
sleep 1
launch refused nobody
[ "$status" -eq 0 ] && [ "$owner" = nobody ] && [ "$notes" -eq 1 ] ||
  fail "refused: status $status, dump written by $owner, $notes notes: $(cat "$work/refused.err")"
say "refused: kelvorant ran as nobody and said so once"
