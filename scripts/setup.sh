#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Made for Debian 12 (bookworm); unversioned package names, so that a newer
# release works too.
#   scripts/setup.sh          everything: native, Windows (mingw-w64, Wine) and fuzz (clang) builds
#   scripts/setup.sh native   the native toolchain, inih and GoogleTest only (what the demo needs)
#   scripts/setup.sh bench    everything, and GNU time for the benchmark's memory rows
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libinih-dev googletest)
if [ "${1:-all}" != native ]; then
  packages+=(git g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 clang libclang-rt-dev)
fi
[ "${1:-all}" != bench ] || packages+=(time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
