#!/usr/bin/env bash
# Runs every fuzz target for a longer time: builds the fuzz preset (clang,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer), then fuzzes each
# target for the given seconds (default 600) on a copy of its committed seed
# corpus in build/fuzz/work/<target>, one job at a time. Prints, per target,
# the time, the runs executed, the coverage reached and any crash with its
# reproducer. Exits non-zero when a target crashed.
#
#   scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
case "$seconds" in
  ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2; exit 2 ;;
esac

scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

root=$PWD
work=$root/build/fuzz/work
targets=(fuzz_split_quote fuzz_config fuzz_log_path)
crashed=0

for target in "${targets[@]}"; do
  dir=$work/$target
  rm -rf "$dir"
  mkdir -p "$dir"
  cp -R "tests/fuzz/corpus/$target" "$dir/corpus"
  options=(-jobs=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30
           -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$dir/")
  if [ -f "tests/fuzz/$target.dict" ]; then
    options+=(-dict="$root/tests/fuzz/$target.dict")
  fi

  echo "== $target: fuzzing for $seconds s"
  start=$(date +%s)
  status=0
  (cd "$dir" && "$root/build/fuzz/$target" "${options[@]}" corpus) >"$dir/parent.log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))

  log=$dir/fuzz-0.log
  [ -f "$log" ] || log=$dir/parent.log
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | awk '{print $2}')
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  artifacts=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
                                              -o -name 'oom-*' -o -name 'slow-unit-*' \) | sort)

  printf '%s: %s s, %s runs, coverage %s edges, %s features, corpus %s\n' \
    "$target" "$elapsed" "${runs:-?}" "${cov:-?}" "${features:-?}" "${corpus:-?}"
  if [ "$status" -ne 0 ] || grep -Eq 'crash-|leak-|timeout-|oom-' <<<"$artifacts"; then
    crashed=1
    echo "$target: FAILED (exit status $status); log: $log"
    grep -E '^fuzz_|ERROR: |SUMMARY: ' "$log" | head -5 || true
    for artifact in $artifacts; do
      echo "  reproduce with: build/fuzz/$target $artifact"
    done
  else
    echo "$target: no crash"
  fi
done

exit "$crashed"
