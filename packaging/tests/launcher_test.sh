#!/bin/bash
# The launcher of an installed kelvorant (cmake --install into a staging folder), as root and as an
# ordinary user, with a stand-in for pkexec (pkexec_stub.sh) that records its folder and arguments and
# grants, dismisses or refuses. Every run is headless with a script that dumps the dialog, on this
# computer's functions (sysfs, only read), for which alone a password is asked, or on the demo machine or a
# dump; its device list must be the one that the built program shows when started directly as the same
# user. Its arguments reach pkexec with their paths made absolute; those that it does not take for a run are
# the program's to refuse, with no password asked for; as root, every option is checked by
# arguments_check.sh.
#
#   launcher_test.sh BUILD_DIR OUTDIR
#
# The ordinary user is nobody when the test runs as root (setpriv), else the user running it; the root case
# runs only as root.
# Exit status: 0 passed, 1 failed, 77 skipped (the program is not built, or setpriv is missing for root).
set -u
build=$1 outdir=$2
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
[ -x "$build/kelvorant" ] || skip "$build/kelvorant is not built"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cmake --install "$build" --prefix "$work/stage/usr" >"$work/install.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$work/install.log")"
launcher=$work/stage/usr/bin/kelvorant
program_dir=$(cd "$work/stage/usr/lib/kelvorant" && pwd -P)
[ -x "$program_dir/kelvorant" ] && [ -f "$program_dir/KELVORANT.sys" ] && [ -f "$program_dir/kelvorant-window.so" ] ||
  fail "the program, its driver and its window library are not in lib/kelvorant: $(ls "$program_dir")"

mkdir -p "$work/bin" "$work/caller"
cp "$here/pkexec_stub.sh" "$work/bin/pkexec"
chmod 755 "$work/bin/pkexec" "$work/caller"
printf 'dump\n' >"$work/caller/script.txt"
chmod 644 "$work/caller/script.txt"

printf '00:00.0 Host bridge\n00: 86 80 00 2a 06 01 90 20 0c 00 00 06 00 00 00 00\n' >"$work/caller/@d.txt"
cp "$work/caller/@d.txt" "$work/caller/demo@x.txt"
chmod 644 "$work/caller/@d.txt" "$work/caller/demo@x.txt"
# The device list (the first list's rows) of a dump file.
rows() { grep -o '"1000":{[^}]*"rows":\[[^]]*\]' "$1" 2>/dev/null | head -n 1; }

# as_user COMMAND...: as an ordinary user (nobody, when the test runs as root).
as_user() {
  if [ "$(id -u)" -eq 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; else "$@"; fi
}
# reference NAME MACHINE [as_user]: the device list that the built program, started directly in the build
# folder (as the user with as_user), shows of MACHINE, in $expected_NAME.
reference() {
  local dump="$work/refs/$1.jsonl" scm="$work/refs/scm-$1"
  mkdir -p "$scm" && chmod 1777 "$work/refs" "$scm"
  (cd "$build" && ${3:-} env KELVORANT_UI=headless KELVORANT_MACHINE="$2" KELVORANT_SCM_DIR="$scm/db" \
     KELVORANT_UI_SCRIPT="$work/caller/script.txt" KELVORANT_UI_DUMP="$dump" ./kelvorant >/dev/null 2>&1)
  printf -v "expected_$1" '%s' "$(rows "$dump")"
  [ -n "$(rows "$dump")" ] || fail "the built program dumped no device list of $2"
}
reference demo demo as_user
reference sysfs sysfs
reference user sysfs as_user
reference dump "$work/caller/@d.txt" as_user

# run NAME WHO [VAR=VALUE...] -- [ARGUMENT...]: the launcher started from $work/caller with relative paths
# in its variables, as WHO (root or user). Sets status, err (standard error) and log (what pkexec saw).
run() {
  local name=$1 who=$2
  shift 2
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  rm -f "$work/caller/dump.jsonl" "$work/caller/pkexec.log"
  mkdir -p "$work/scm-$name"
  chmod 1777 "$work/caller"  # sticky, as /tmp: root and the user each write files of their own there
  chmod 1777 "$work/scm-$name"  # sticky, as /tmp: a database below may be trusted
  local prefix=()
  [ "$who" = user ] && prefix=(as_user)
  (cd "$work/caller" && "${prefix[@]}" env PATH="$work/bin:$PATH" STUB_LOG="$work/caller/pkexec.log" \
     KELVORANT_UI=headless KELVORANT_MACHINE=sysfs KELVORANT_UI_SCRIPT=script.txt KELVORANT_UI_DUMP=dump.jsonl \
     KELVORANT_SCM_DIR="$work/scm-$name/db" "${vars[@]}" "$launcher" "$@" >"$work/stdout" 2>"$work/stderr")
  status=$?
  err=$(cat "$work/stderr")
  log=$(cat "$work/caller/pkexec.log" 2>/dev/null)
  cp "$work/stderr" "$outdir/$name.stderr"
}
notes() { printf '%s\n' "$err" | grep -c 'kelvorant: .*running as .*, not as root'; }
# shows NAME REFERENCE: the run NAME dumped the device list of that reference.
shows() {
  local want="expected_$2"
  [ "$(rows "$work/caller/dump.jsonl")" = "${!want}" ] || fail "$1: not the device list of the reference $2: $err"
}
mkdir -p "$outdir"

# 1. A user with a display, the password given: pkexec gets the program by its full path, in its folder,
#    and the variables as arguments with their paths made absolute; the program runs from those alone.
if [ "$(id -u)" -eq 0 ] && ! command -v setpriv >/dev/null 2>&1; then skip "setpriv is not installed"; fi
run granted user DISPLAY=:99 STUB_PKEXEC=run --
[ "$status" -eq 0 ] || fail "granted: exit status $status: $err"
shows granted sysfs
[ "$(notes)" -eq 0 ] || fail "granted: a note about running without root: $err"
want=$(printf '%s\n' "$program_dir" --keep-cwd "$program_dir/kelvorant" KELVORANT_MACHINE=sysfs \
  "KELVORANT_SCM_DIR=$work/scm-granted/db" KELVORANT_UI=headless "KELVORANT_UI_DUMP=$work/caller/dump.jsonl" \
  "KELVORANT_UI_SCRIPT=$work/caller/script.txt")
[ "$log" = "$want" ] || fail "granted: pkexec was called as
$log
and not as
$want"

# Its arguments reach the program after the variables, their paths made absolute.
run arguments user DISPLAY=:99 STUB_PKEXEC=1 -- -t trace.txt --machine=sysfs@0000
want=$(printf '%s\n' "$program_dir" --keep-cwd "$program_dir/kelvorant" KELVORANT_MACHINE=sysfs \
  "KELVORANT_SCM_DIR=$work/scm-arguments/db" KELVORANT_UI=headless "KELVORANT_UI_DUMP=$work/caller/dump.jsonl" \
  "KELVORANT_UI_SCRIPT=$work/caller/script.txt" -t "$work/caller/trace.txt" --machine=sysfs@0000)
[ "$log" = "$want" ] || fail "arguments: pkexec was called as
$log
and not as
$want"

# A machine other than this computer's needs no root: the program runs as the user, with no password asked
# for and no note. A name with a domain is one that @ and 4 or 5 hex digits end; else it is a file.
for case in "demo|KELVORANT_MACHINE=demo|" "demo|DISPLAY=:99|-m demo@0000" "dump|DISPLAY=:99|-m @d.txt" \
            "dump|DISPLAY=:99|--machine=demo@x.txt" "dump|DISPLAY=:99|@d.txt"; do
  IFS='|' read -r ref var args <<<"$case"
  read -r -a words <<<"$args"
  run machine user DISPLAY=:99 STUB_PKEXEC=run "$var" -- "${words[@]}"
  [ "$status" -eq 0 ] && [ -z "$log" ] && [ "$(notes)" -eq 0 ] || fail "$case: status $status, pkexec: $log: $err"
  shows "$case" "$ref"
done

# 2. Refused, dismissed, not asked for, not possible: the program runs as the user, who is told once.
for case in "dismissed DISPLAY=:99 STUB_PKEXEC=126 -- " "refused DISPLAY=:99 STUB_PKEXEC=127 -- " \
            "unprivileged DISPLAY=:99 STUB_PKEXEC=1 -- --unprivileged" "nodisplay DISPLAY= STUB_PKEXEC=1 -- "; do
  read -r -a words <<<"$case"
  run "${words[@]:0:1}" user "${words[@]:1}"
  name=${words[0]}
  [ "$status" -eq 0 ] || fail "$name: exit status $status: $err"
  shows "$name" user
  [ "$(notes)" -eq 1 ] || fail "$name: not one note about running without root: $err"
  case $name in
    dismissed | refused) [ -n "$log" ] || fail "$name: pkexec was not asked" ;;
    *) [ -z "$log" ] || fail "$name: pkexec was asked: $log" ;;
  esac
done

# 3. The program's own status comes back through pkexec, without a second start.
run status user DISPLAY=:99 STUB_PKEXEC=3 --
[ "$status" -eq 3 ] && [ "$(notes)" -eq 0 ] || fail "status: exit status $status, $(notes) notes: $err"

# 4. Root starts the program at once; variables may also come as arguments.
if [ "$(id -u)" -eq 0 ]; then
  run root root DISPLAY=:99 STUB_PKEXEC=1 -- KELVORANT_UI_DUMP=dump.jsonl
  [ "$status" -eq 0 ] && [ -z "$log" ] && [ "$(notes)" -eq 0 ] || fail "root: status $status, pkexec: $log: $err"
  shows root sysfs
fi

# 5. Arguments it does not take: the program says so, and no password is asked for.
for bad in --root KELVORANT_machine=demo "a.txt b.txt"; do
  read -r -a words <<<"$bad"
  run bad user DISPLAY=:99 STUB_PKEXEC=run -- "${words[@]}"
  [ "$status" -eq 2 ] && [ -z "$log" ] && [[ $err == *"Try 'kelvorant --help'"* ]] || fail "$bad: exit status $status: $err"
done
# Values the program refuses at once: answered before the password too.
for bad in KELVORANT_TRAC=t.txt KELVORANT_UI=bogus KELVORANT_TRACE= "-m @0001" --machine=sysfs:@0002; do
  read -r -a words <<<"$bad"
  run bad user DISPLAY=:99 STUB_PKEXEC=run -- "${words[@]}"
  [ "$status" -eq 2 ] && [ -z "$log" ] || fail "$bad: exit status $status, pkexec: $log: $err"
done

# 6. Every option, as root (packaging/tests/arguments_check.sh, which the package test runs too).
if [ "$(id -u)" -eq 0 ]; then
  "$here/arguments_check.sh" "$here/../.." "$launcher" || exit 1
fi
echo "PASS: the launcher of $work/stage/usr as $( [ "$(id -u)" -eq 0 ] && echo "root and nobody" || id -un)"
