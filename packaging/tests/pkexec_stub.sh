#!/bin/sh
# Stands in for pkexec in launcher_test.sh: writes how it was called (its folder, then one argument a line)
# to $STUB_LOG, then does what $STUB_PKEXEC says: "run" starts the program as pkexec would after a granted
# password, in a cleared environment but for DISPLAY; a number is the status pkexec ends with.
printf '%s\n' "$PWD" "$@" >"$STUB_LOG"
[ "$STUB_PKEXEC" = run ] || exit "$STUB_PKEXEC"
[ "$1" = --keep-cwd ] && shift
exec env -i DISPLAY="$DISPLAY" "$@"
