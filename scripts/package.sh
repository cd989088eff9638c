#!/usr/bin/env bash
# Builds the Windows launcher and zips it with its usage text, sample INI
# files and licences: build/windows/frascombe_a3x-launcher-<version>-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# shellcheck source=scripts/inih-offline.sh
source scripts/inih-offline.sh
cmake --preset windows "${inih_offline[@]}" > /dev/null
cmake --build --preset windows --target launcher
(cd build/windows && cpack -G ZIP)
