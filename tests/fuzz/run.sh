#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time from its
# seed corpus. Any finding (a broken property, a sanitizer report, a crash, a
# leak or a timeout) fails the run; the input is kept in <build>/artifacts.
#   tests/fuzz/run.sh [build-dir] [seconds-per-target]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/fuzz}
secs=${2:-${X7_FUZZ_SECONDS:-30}}
targets=(quotes range repair rebuild relpath refscan naming)

mkdir -p "$build/artifacts"
if ! { cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$build" -j"$(nproc)"; } >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  echo "fuzz: 0 passed, ${#targets[@]} failed (build)"
  exit 1
fi

passed=0 failed=0
for t in "${targets[@]}"; do
  # New inputs go to the build folder; the seeds in the repository stay as they are.
  mkdir -p "$build/corpus/$t"
  log="$build/fuzz_$t.log"
  if "$build/fuzz_$t" -max_total_time="$secs" -max_len=512 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
       "$build/corpus/$t" "$here/corpus/$t" >"$log" 2>&1; then
    passed=$((passed + 1))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1)
    echo "fuzz_$t: ok, $execs runs in ${secs}s, $cov"
  else
    failed=$((failed + 1))
    echo "fuzz_$t: FINDING (log $log)"
    grep -E 'property broken|ERROR: |runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
