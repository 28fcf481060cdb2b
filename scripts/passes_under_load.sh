#!/usr/bin/env bash
# Runs the whole test suite (scripts/test.sh) again and again with one busy loop per core
# at normal priority, as on a developer's machine that compiles meanwhile, and counts the
# passes in a row: the suite must not depend on a quiet machine. Stops at the first
# failure, whose log it keeps.
#   scripts/passes_under_load.sh [RUNS]   (default 20)
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
log=build/passes_under_load
mkdir -p "$log"
loops=()
trap 'kill "${loops[@]}" 2>/dev/null' EXIT
for _ in $(seq "$(nproc)"); do
  sh -c 'while :; do :; done' &
  loops+=($!)
done
for run in $(seq "$runs"); do
  start=$(date +%s)
  if bash scripts/test.sh >"$log/run-$run.log" 2>&1; then
    echo "run $run passed in $(($(date +%s) - start)) s"
    rm -f "$log/run-$run.log"
  else
    echo "run $run FAILED after $((run - 1)) passes in a row; see $log/run-$run.log"
    exit 1
  fi
done
echo "$runs passes in a row with $(nproc) busy loops"
