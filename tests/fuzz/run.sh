#!/usr/bin/env bash
# Runs every fuzz target built in build/fuzz for a bounded time, starting from its seed corpus
# in tests/fuzz/corpus/<target>/. New inputs go to build/fuzz/work/<target>/ (the seeds in the
# repository are never modified); a crash, a broken invariant, a timeout, a leak or running out
# of memory stops the run with the target's log and the saved input in build/fuzz/artifacts/.
#
# Usage: tests/fuzz/run.sh [seconds per target, default 30] [target ...]
set -uo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

mkdir -p build/fuzz/artifacts
passed=0
failed=0
for t in "${targets[@]}"; do
  mkdir -p "build/fuzz/work/$t" "tests/fuzz/corpus/$t"
  log="build/fuzz/$t.log"
  # -timeout: one input may take 10 s at most; -rss_limit_mb: a run may use 2 GB at most.
  if "build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$t-" \
      "build/fuzz/work/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: ${runs:-?} executions in ${seconds}s, no findings"
    passed=$((passed + 1))
  else
    echo "$t: FINDING (log $log):"
    grep -E "invariant broken|ERROR|SUMMARY|^input:|artifact_prefix|Test unit written" "$log" | head -20
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
