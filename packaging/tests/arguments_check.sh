#!/bin/bash
# The command line of an installed kelvorant, through its launcher, as root (package_test.sh runs this
# while the package is installed; launcher_test.sh on a staged install). Every run is headless with a
# script that dumps the dialog, started in a folder of its own with paths relative to it, and
# KELVORANT_MACHINE naming a file that does not exist: a FILE or --machine must win over it. A FILE,
# --machine and --trace must do what KELVORANT_MACHINE and KELVORANT_TRACE do with the same machine or
# file; --help and --version answer on standard output, the version being the one that windres reads in
# res/kelvorant.rc; mistakes get status 2 and two lines on standard error; --unprivileged refuses a root
# login and runs for the user of sudo.
#
#   packaging/tests/arguments_check.sh SOURCE_DIR [LAUNCHER]    (LAUNCHER: kelvorant, from PATH)
set -u
src=$(cd "$1" && pwd)
launcher=${2:-kelvorant}
fail() { echo "FAIL: arguments: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "arguments check: skipped: needs root"; exit 0; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/caller" "$work/dumps" "$work/sys/0000:00:00.0" "$work/scm"
chmod 1777 "$work/caller" "$work/scm"  # sticky, as /tmp: the user of sudo writes there too
cp "$src/tests/data/lspci/PCI-X-bridges-and-domains.txt" "$work/dumps/customer.txt"
head -c 64 /dev/zero | tr '\0' '\021' >"$work/sys/0000:00:00.0/config"
printf 'dump\n' >"$work/caller/script.txt"
chmod -R a+rX "$work/dumps" "$work/sys" "$work/caller/script.txt"

# run [VAR=VALUE...] -- ARGUMENT...: the launcher in $work/caller. Sets status, out, err and list (the
# device list of the dump).
run() {
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  rm -f "$work/caller/dump.jsonl"
  (cd "$work/caller" && env KELVORANT_UI=headless KELVORANT_UI_SCRIPT=script.txt KELVORANT_UI_DUMP=dump.jsonl \
     KELVORANT_MACHINE=missing.json KELVORANT_SCM_DIR="$work/scm/db-root" "${vars[@]}" "$launcher" "$@" \
     >"$work/out" 2>"$work/err" </dev/null)
  status=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
  list=$(grep -o '"1000":{[^}]*"rows":\[[^]]*\]' "$work/caller/dump.jsonl" 2>/dev/null | head -n 1)
}

# What each machine shows when KELVORANT_MACHINE names it.
declare -A shows
for machine in demo "$work/dumps/customer.txt" "$work/dumps/customer.txt@0001" "sysfs:$work/sys"; do
  run "KELVORANT_MACHINE=$machine" --
  [ "$status" -eq 0 ] && [ -n "$list" ] || fail "KELVORANT_MACHINE=$machine: status $status, no device list: $err"
  shows[$machine]=$list
done
[ "${shows[demo]}" != "${shows[$work/dumps/customer.txt]}" ] &&
  [ "${shows[$work/dumps/customer.txt]}" != "${shows[$work/dumps/customer.txt@0001]}" ] ||
  fail "the machines of the check show the same device list"

# The same machines on the command line, relative to the caller's folder.
while read -r machine arguments; do
  read -r -a arguments <<<"$arguments"
  run -- "${arguments[@]}"
  [ "$status" -eq 0 ] && [ -z "$err" ] || fail "${arguments[*]}: status $status: $err"
  [ "$list" = "${shows[${machine/WORK/$work}]}" ] || fail "${arguments[*]}: not the device list of $machine"
done <<'TABLE'
WORK/dumps/customer.txt ../dumps/customer.txt
WORK/dumps/customer.txt@0001 ../dumps/customer.txt@0001
WORK/dumps/customer.txt -m ../dumps/customer.txt
WORK/dumps/customer.txt --machine=../dumps/customer.txt
WORK/dumps/customer.txt@0001 -- ../dumps/customer.txt@0001
sysfs:WORK/sys --machine sysfs:../sys
demo -mdemo
TABLE

# --trace, in each form, over KELVORANT_TRACE.
for form in "-t trace.txt" "--trace=trace.txt" "--trace trace.txt"; do
  rm -f "$work/caller/trace.txt" "$work/caller/env-trace.txt"
  read -r -a arguments <<<"$form"
  run KELVORANT_TRACE=env-trace.txt -- -m demo "${arguments[@]}"
  [ "$status" -eq 0 ] && [ -s "$work/caller/trace.txt" ] && [ ! -e "$work/caller/env-trace.txt" ] ||
    fail "$form: status $status, no trace in trace.txt: $err"
done

# --help and --version: the program's own texts, status 0.
run -- --help
usage=$out
[ "$status" -eq 0 ] && [ "${usage%%$'\n'*}" = "Usage: kelvorant [OPTION]... [FILE[@DDDD]]" ] && [ -z "$err" ] ||
  fail "--help: status $status, first line '${usage%%$'\n'*}': $err"
run -- -h
[ "$status" -eq 0 ] && [ "$out" = "$usage" ] || fail "-h: status $status, not the text of --help"
version=$(x86_64-w64-mingw32-windres -I "$src/ui" -I "$src/res" -O rc "$src/res/kelvorant.rc" |
  sed -n 's/^ PRODUCTVERSION //p' | tr -d ' ' | tr , .)
[ -n "$version" ] || fail "windres reads no PRODUCTVERSION in $src/res/kelvorant.rc"
for option in --version -V; do
  run -- "$option"
  [ "$status" -eq 0 ] && [ "$out" = "kelvorant $version" ] && [ -z "$err" ] ||
    fail "$option: status $status, '$out' and not 'kelvorant $version': $err"
done

# Mistakes: status 2, the mistake and a pointer to --help on standard error, nothing on standard output.
try="Try 'kelvorant --help' for more information."
while IFS='|' read -r arguments said; do
  read -r -a arguments <<<"$arguments"
  run -- "${arguments[@]}"
  [ "$status" -eq 2 ] && [ "$err" = "kelvorant: $said"$'\n'"$try" ] && [ -z "$out" ] ||
    fail "${arguments[*]}: status $status, said: $err"
done <<'TABLE'
--frobnicate|unrecognized option '--frobnicate'
-x ../dumps/customer.txt|invalid option -- 'x'
../dumps/customer.txt demo|more than one machine: '../dumps/customer.txt' and 'demo'
--trace|option '--trace' requires an argument
TABLE

# --unprivileged: a root login has no user to run as; root for the user of sudo becomes that user.
run -- --unprivileged -m demo
[ "$status" -eq 2 ] && [[ $err == "kelvorant: --unprivileged: this is root's own run"* ]] ||
  fail "--unprivileged for a root login: status $status: $err"
run SUDO_UID=65534 SUDO_GID=65534 KELVORANT_SCM_DIR="$work/scm/db-nobody" -- --unprivileged -m demo
[ "$status" -eq 0 ] && [ "$list" = "${shows[demo]}" ] && [ "$(stat -c %u "$work/caller/dump.jsonl")" = 65534 ] ||
  fail "--unprivileged for the user of sudo: status $status, dump written by $(stat -c %U "$work/caller/dump.jsonl"): $err"
echo "arguments check: every option, a FILE from another folder, --help, --version $version and mistakes"
