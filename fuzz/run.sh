#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds (default 60) on its seed corpus.
# New inputs go to build/fuzz/work-TARGET, never into the seed folders; the
# seeds and the saved crash reproducers under fuzz/regressions are replayed
# first. Usage: fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(import datafile geohash hash tree nmea nmea_frames line_scan)

for t in "${targets[@]}"; do
  bin="$root/build/fuzz/fuzz/fuzz_$t"
  work="$root/build/fuzz/work-$t"
  mkdir -p "$work"
  if [ -d "$root/fuzz/regressions/$t" ]; then
    echo "== fuzz_$t: regression inputs"
    "$bin" -close_fd_mask=3 -artifact_prefix="$work-" "$root/fuzz/regressions/$t"/*
  fi
  echo "== fuzz_$t: ${seconds}s"
  log="$work.log"
  set +e
  "$bin" -close_fd_mask=3 -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work-" \
    "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec|Done' "$log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz_$t failed (exit $rc)"
    exit "$rc"
  fi
done
