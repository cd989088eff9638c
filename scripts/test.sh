#!/usr/bin/env bash
# Installs what is missing, builds the launcher natively, with the sanitizers,
# for Windows and for fuzzing, and runs every test through the test presets,
# each case a CTest test of its own, as many at once as the machine has cores:
# natively, under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows
# programs under Wine (the zip's contents among them), and a short bounded
# run of each fuzz target (scripts/fuzz.sh runs them for longer). Last, a
# clone of the committed tree alone, with no folder beside it, builds
# launcher.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
start=$(date +%s)
jobs=$(nproc)
# shellcheck source=scripts/inih-offline.sh
source scripts/inih-offline.sh

for preset in native native-sanitize windows fuzz; do
  cmake --preset "$preset" "${inih_offline[@]}" >/dev/null
  cmake --build --preset "$preset"
done

ctest --preset native -j "$jobs"
ctest --preset native-sanitize -j "$jobs"
scripts/with-wine.sh ctest --preset windows -j "$jobs"
ctest --preset fuzz -j "$jobs"

# A clone alone: the Windows configuration finds inih through the override
# (or downloads it) and builds launcher.exe, with nothing of this checkout.
alone=$(mktemp -d "${TMPDIR:-/tmp}/launcher-alone.XXXXXX")
trap 'rm -rf "$alone"' EXIT
git clone -q "$root" "$alone/launcher"
(cd "$alone/launcher" &&
 cmake --preset windows -DLAUNCHER_TESTS=OFF "${inih_offline[@]}" >"$alone/configure.log" 2>&1 &&
 cmake --build --preset windows --target launcher >"$alone/build.log" 2>&1) ||
  { cat "$alone"/*.log >&2; echo "A clone alone did not build launcher.exe." >&2; exit 1; }
size=$(stat -c %s "$alone/launcher/build/windows/launcher.exe")
echo "A clone alone built launcher.exe ($size bytes)."
if [ "$size" -gt 73728 ]; then
  echo "launcher.exe is larger than 73728 bytes (72 KiB)." >&2
  exit 1
fi

echo "All tests passed in $(( $(date +%s) - start )) s."
