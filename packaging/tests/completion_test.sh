#!/bin/bash
# The bash completion of kelvorant (packaging/kelvorant.bash-completion) under bash-completion: what Tab
# offers at the end of each command line below, in a folder of known files. The words are split as
# readline splits them (at blanks, '=' and ':').
#
#   completion_test.sh SOURCE_DIR
# Exit status: 0 passed, 1 failed, 77 skipped (bash-completion is not installed).
set -u
src=$(cd "$1" && pwd)
bash_completion=/usr/share/bash-completion/bash_completion
[ -r "$bash_completion" ] || { echo "SKIP: bash-completion is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir sys && touch dump.txt machine.json
. "$bash_completion"
. "$src/kelvorant.bash-completion"

offers() {
  COMP_LINE=$1 COMP_POINT=${#1}
  read -r -a COMP_WORDS <<<"$(sed 's/[=:]/ & /g' <<<"$1")"
  [[ $1 == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kelvorant kelvorant "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null  # compopt: no readline here
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

failed=0
while IFS='|' read -r line want; do
  got=$(offers "$line")
  [ "$got" = "$want" ] || { echo "FAIL: '$line' offers '$got', not '$want'"; failed=1; }
done <<'TABLE'
kelvorant --|--help --machine= --trace= --unprivileged --version 
kelvorant --machine |demo dump.txt machine.json sys sysfs sysfs: 
kelvorant -m sysfs:s|sys/ 
kelvorant --machine=de|demo 
kelvorant --trace=d|dump.txt 
kelvorant -t |dump.txt machine.json sys 
kelvorant --unprivileged m|machine.json 
TABLE
[ $failed = 0 ] && echo "PASS: the bash completion of kelvorant"
exit $failed
