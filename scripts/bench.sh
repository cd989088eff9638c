#!/usr/bin/env bash
# Measures the launcher against the ways a user would start a script without
# it and prints one Markdown table, every figure taken in this run: start
# times (medians of repeated runs with their spread, and their ratio to
# starting the interpreter directly) natively and under Wine, the log
# writer's throughput, its rotation with eight writers on one log and a
# rotating launch in a folder of 100,000 entries, the size of launcher.exe,
# the launcher's peak memory
# natively, and how many awkward arguments reach the script unchanged through
# the launcher and through a /bin/sh or .cmd wrapper.
#
# Installs what is missing, then builds the native and the Windows trees
# (presets native and windows). BENCH_RUNS (30) and BENCH_WARMUPS (3) set the
# repetitions of each start; when BENCH_NATIVE_BUILD and BENCH_WINDOWS_BUILD
# both name build folders that are already built, nothing is built. Everything
# the benchmark writes stays under build/bench.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
runs=${BENCH_RUNS:-30}
warmups=${BENCH_WARMUPS:-3}
work="$root/build/bench"
rm -rf "$work"
mkdir -p "$work"

# Shows the named log of a failed step and stops.
fail() {
    echo "bench: $1 failed; its output:" >&2
    cat "$2" >&2
    exit 1
}

# shellcheck source=scripts/windows-path.sh
source scripts/windows-path.sh

# Median, then lowest and highest, of the numbers on standard input.
median_range() {
    sort -n | awk '{ v[NR] = $1 }
        END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

# Peak resident memory in KiB of one run of a command, from GNU time.
peak_kib() {
    /usr/bin/time -f %M -o "$work/time.txt" "$@" > /dev/null 2>&1 || true
    tail -n 1 "$work/time.txt"
}

# --- Tools and builds --------------------------------------------------------------
scripts/setup.sh bench > "$work/setup.log" 2>&1 || fail "installing the tools" "$work/setup.log"

native_build="${BENCH_NATIVE_BUILD:-$root/build/native}"
windows_build="${BENCH_WINDOWS_BUILD:-$root/build/windows}"
if [[ -z "${BENCH_NATIVE_BUILD:-}" || -z "${BENCH_WINDOWS_BUILD:-}" ]]; then
    # shellcheck source=scripts/inih-offline.sh
    source scripts/inih-offline.sh
    for preset in native windows; do
        { cmake --preset "$preset" "${inih_offline[@]}" && cmake --build --preset "$preset" --target launcher_bench -j 2; } \
            > "$work/build-$preset.log" 2>&1 || fail "building $preset" "$work/build-$preset.log"
    done
fi

load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)

# --- Native ------------------------------------------------------------------------
(cd "$work" && XDG_DATA_HOME="$work/appdata" "$native_build/launcher_bench" \
    "$(windows_path "$work/native")" "$(windows_path "$work/native-rows.md")" "$runs" "$warmups") \
    > "$work/native.log" 2>&1 || fail "the native benchmark" "$work/native.log"

# Peak memory: the launcher alone (without -q it does not wait for the
# script, so its figure does not take in the child's), and the stand-in alone.
rss="$work/rss"
mkdir -p "$rss"
cp "$native_build/launcher" "$rss/task.exe"
cp "$native_build/autoit3.exe" "$rss/autoit3.exe"
printf 'exit 7\n' > "$rss/task.a3x"
launcher_kib=$(cd "$rss" && for _ in $(seq 10); do peak_kib ./task.exe; done | median_range)
standin_kib=$(cd "$rss" && for _ in $(seq 10); do peak_kib ./autoit3.exe task.a3x; done | median_range)
read -r launcher_median launcher_min launcher_max <<< "$launcher_kib"
read -r standin_median _ _ <<< "$standin_kib"

size=$(stat -c %s "$windows_build/launcher.exe")

# --- Wine --------------------------------------------------------------------------
(cd "$work" && "$root/scripts/with-wine.sh" /usr/lib/wine/wine64 \
    "$windows_build/launcher_bench.exe" "$(windows_path "$work/windows")" \
    "$(windows_path "$work/windows-rows.md")" "$runs" "$warmups") \
    > "$work/wine.log" 2>&1 || fail "the benchmark under Wine" "$work/wine.log"

load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)

# --- The table ---------------------------------------------------------------------
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "Machine: $(uname -sr) $(uname -m), ${cpu:-unknown CPU}, $(nproc) cores, load average $load_before" \
     "before and $load_after after; open-files limit $(ulimit -n); $(/usr/lib/wine/wine64 --version);" \
     "starts: medians of $runs runs after $warmups warm-ups, the ways taking turns."
echo
echo "| Platform | Measure | Median | Spread | vs direct | Goal / notes |"
echo "|---|---|---|---|---|---|"
cat "$work/native-rows.md"
printf '| native | launcher peak memory (max RSS, launcher alone) | %s KiB | range %s-%s KiB |  | stand-in alone: %s KiB |\n' \
    "$launcher_median" "$launcher_min" "$launcher_max" "$standin_median"
goal="missed"
[ "$size" -le 73728 ] && goal="met"
printf '| Windows | launcher.exe size | %s bytes (%s KiB) |  |  | 72 KiB or less: **%s** |\n' \
    "$size" "$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }')" "$goal"
cat "$work/windows-rows.md"
