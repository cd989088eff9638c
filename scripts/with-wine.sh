#!/usr/bin/env bash
# Runs a command with a private, temporary Wine prefix whose server stays up
# for the whole command, so each Windows test program starts quickly. The
# prefix is removed afterwards.
set -euo pipefail

WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver
prefix=$(mktemp -d "${TMPDIR:-/tmp}/launcher-wine.XXXXXX")
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: the tests need neither, and there is no network.
export WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
  "$WINE_SERVER" -k >/dev/null 2>&1 || true
  "$WINE_SERVER" -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

# The persistent server first: wineboot then uses it, and every test program
# after it finds it running.
"$WINE_SERVER" -p
"$WINE_LOADER" wineboot -i >/dev/null 2>&1
"$@"
