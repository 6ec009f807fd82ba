#!/usr/bin/env bash
# Runs every fuzz target of a fuzzing build for the same time, one after the other, on its seed corpus
# (fuzz/corpus/<target>, read only) plus a scratch corpus where libFuzzer keeps what it finds new.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# Prints one summary line per target; a crash, leak, timeout or failed property leaves its input under
# BUILD_DIR/fuzz-artifacts/<target>/ and makes the script fail once every target has run.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$1"
seconds="$2"
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(dump machine_file resource_section icon dialog_template register_view script variables service_record)

scratch="${FUZZ_CORPUS:-$build/fuzz-corpus}"
failed=()
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  mkdir -p "$scratch/$t" "$build/fuzz-artifacts/$t" "$build/fuzz-logs"
  log="$build/fuzz-logs/$t.log"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/fuzz-artifacts/$t/")
  [ -f "$here/dict/$t.dict" ] && args+=(-dict="$here/dict/$t.dict")
  echo "fuzz_$t: ${seconds}s"
  "$exe" "${args[@]}" "$scratch/$t" "$here/corpus/$t" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1)
  corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1)
  echo "  ${runs:-0} executions, ${cov:-cov: ?}, ${ft:-ft: ?}, ${corpus:-corp: ?}, exit $status"
  if [ $status -ne 0 ]; then
    failed+=("$t")
    grep -E 'ERROR|property failed|SUMMARY|Test unit written' "$log" | sed 's/^/  /' | head -20
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings: ${failed[*]} (inputs under $build/fuzz-artifacts/, logs under $build/fuzz-logs/)"
  exit 1
fi
echo "no findings"
