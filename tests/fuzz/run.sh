#!/usr/bin/env bash
# Runs each fuzz target of a sanitizer build for the given seconds, from the committed seeds and the
# corpus it has grown in the build tree so far. Exits non-zero at the first finding, which libFuzzer
# saves as BUILD_DIR/fuzz-findings/<target>-crash-... (or leak-, timeout-, oom-).
#
#   tests/fuzz/run.sh ASAN_BUILD_DIR SECONDS
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -eq 2 ] || { echo "usage: tests/fuzz/run.sh ASAN_BUILD_DIR SECONDS" >&2; exit 64; }
build=$(cd "$1" && pwd)
seconds=$2
findings=$build/fuzz-findings
mkdir -p "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The extraction target writes files for every input: memory-backed scratch space when there is some.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

for target in container decode extract install verify; do
  seeds=$top/tests/fuzz/seeds/$target
  case $target in install|verify) seeds=$top/tests/fuzz/seeds/container ;; esac  # whole installers, as the reader's
  # verify says what is wrong with every damaged input, as the tool does: its output is closed, libFuzzer's kept.
  quiet=-close_fd_mask=0
  [ "$target" = verify ] && quiet=-close_fd_mask=3
  corpus=$build/fuzz-corpus/$target
  log=$build/fuzz-$target.log
  mkdir -p "$corpus"
  if ! "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$quiet" \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" "$seeds" \
      >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz_$target: FINDING after $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?') executions; see $log and $findings" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$')
  echo "fuzz_$target: $runs executions in ${seconds} s, coverage $cov, corpus $(ls "$corpus" | wc -l) inputs, no finding"
done
