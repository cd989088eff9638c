# Sourced by the scripts that configure a build: when a copy of inih's r55
# source lies at ../shared/deps/inih-r55-src beside the checkout, the array
# inih_offline holds the FetchContent override that makes CMake use it instead
# of downloading; otherwise it is empty.
inih_offline=()
inih_source="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/shared/deps/inih-r55-src"
if [ -f "$inih_source/ini.c" ]; then
  inih_offline=("-DFETCHCONTENT_SOURCE_DIR_INIH=$inih_source")
fi
