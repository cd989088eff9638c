#!/usr/bin/env bash
# Installs what is missing, builds the launcher natively, with the sanitizers
# and for Windows, and runs every test: natively, under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows programs under Wine, and a short
# bounded run of each fuzz target (scripts/fuzz.sh runs them for longer).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
start=$(date +%s)

for preset in native native-sanitize windows fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

ctest --test-dir build/native --output-on-failure
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/native-sanitize --output-on-failure
scripts/with-wine.sh ctest --test-dir build/windows --output-on-failure
ctest --test-dir build/fuzz --output-on-failure

echo "All tests passed in $(( $(date +%s) - start )) s."
