#!/usr/bin/env bash
# Builds the Windows launcher and zips it with its usage text and sample INI
# files: build/windows/frascombe_a3x-launcher-<version>-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows > /dev/null
cmake --build --preset windows --target launcher
(cd build/windows && cpack -G ZIP)
