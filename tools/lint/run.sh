#!/usr/bin/env bash
# Runs cppcheck and clang-tidy over the project's own translation units, from a configured build's
# compile_commands.json. Exits non-zero on any finding of either.
# Usage: tools/lint/run.sh BUILD_DIR [JOBS]
set -euo pipefail
build=${1:?usage: tools/lint/run.sh BUILD_DIR [JOBS]}
jobs=${2:-2}
src=$(cd "$(dirname "$0")/../.." && pwd)
db="$build/lint"

"$src/tools/lint/compile-db.py" "$src" "$build" "$db"

status=0

echo "kelvorant: cppcheck"
if ! cppcheck --project="$db/compile_commands.json" --relative-paths="$src" -j "$jobs" --quiet \
    --enable=warning,performance,portability,style --library=googletest \
    --inline-suppr --suppressions-list="$src/tools/lint/cppcheck-suppressions.txt" \
    --error-exitcode=1 --template='{file}:{line}:{column}: {severity}: {message} [{id}]'; then
  status=1
fi

# clang-tidy prints a header's findings once for every translation unit that includes it: each finding is
# shown once. The checks and the header filter are in .clang-tidy.
echo "kelvorant: clang-tidy"
out="$db/clang-tidy.txt"
files=$(python3 -c 'import json,sys; print("\n".join(e["file"] for e in json.load(open(sys.argv[1]))))' \
  "$db/compile_commands.json")
tidy_ok=true
xargs -P "$jobs" -n 1 clang-tidy --quiet -p "$db" <<<"$files" >"$out" 2>"$out.stderr" || tidy_ok=false
findings=$(grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error): ' "$out" | sort -u || true)
if [ -n "$findings" ]; then
  echo "$findings"
  echo "kelvorant: clang-tidy: $(wc -l <<<"$findings") findings (details in $out)"
  status=1
elif ! $tidy_ok; then
  cat "$out.stderr" >&2
  status=1
fi

[ "$status" -eq 0 ] && echo "kelvorant: lint clean"
exit "$status"
