#!/usr/bin/env bash
# Shows the launcher at work: lays out demo task folders under build/demo with
# copies of the native launcher named after tasks, the interpreter stand-in as
# autoit3.exe, scripts and INI files, runs three tasks and prints for each the
# command, the exit code, what the script received and the log.
#
# Installs what is missing for a native build (not the Windows or fuzz tools)
# and builds the launcher and the stand-in in the native tree first. Nothing
# is written outside build/demo: the roaming application-data folder of the
# connector task is build/demo/appdata (XDG_DATA_HOME). DEMO_BUILD names
# another native build folder.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$(pwd)
if [[ -z "${DEMO_BUILD:-}" ]]; then
    scripts/setup.sh native
    cmake --preset native > /dev/null
    cmake --build --preset native --target launcher autoit3_standin > /dev/null
fi
build="${DEMO_BUILD:-$root/build/native}"
demo="$root/build/demo"
launcher="$build/launcher"
standin="$build/autoit3.exe"
for program in "$launcher" "$standin"; do
    if [[ ! -x "$program" ]]; then
        echo "Missing $program: build the native tree first (cmake --preset native && cmake --build --preset native)." >&2
        exit 1
    fi
done

# shellcheck source=scripts/windows-path.sh
source scripts/windows-path.sh

# Shows a file whose text is in code page 1252 on this terminal.
show_text() {
    if command -v iconv > /dev/null; then
        iconv -f CP1252 -t UTF-8 < "$1" | sed 's/^/    /'
    else
        sed 's/^/    /' "$1"
    fi
}

# Lays out a task: folder, task name, script text, and whether the
# interpreter lies beside the launcher.
lay_task() {
    local folder=$1 name=$2 script=$3 interpreter=${4:-yes}
    mkdir -p "$folder"
    cp "$launcher" "$folder/$name.exe"
    [[ $interpreter == yes ]] && cp "$standin" "$folder/autoit3.exe"
    [[ -n $script ]] && printf '%s' "$script" > "$folder/$name.a3x"
    return 0
}

# Runs a task with its arguments and shows command, output, exit code, what
# the script received and the log.
run_task() {
    local title=$1 log=$2 exe=$3
    shift 3
    local folder
    folder=$(dirname "$exe")
    echo "=== $title"
    echo "--- command"
    printf '    %q' "${exe#"$root"/}"
    printf ' %q' "$@"
    echo
    echo "--- console (launcher and script)"
    local code=0
    (cd "$demo" && XDG_DATA_HOME="$demo/appdata" "$exe" "$@") > "$demo/out.txt" 2>&1 || code=$?
    show_text "$demo/out.txt"
    echo "--- exit code: $code"
    printf -- '--- what the script received (%s\\r.txt)\n' "$(windows_path "$folder")"
    if [[ -f "$folder/r.txt" ]]; then
        grep -v '^fd=' "$folder/r.txt" | sed -e 's/\\\\/\\/g' -e 's/^/    /'
    else
        echo "    (no report)"
    fi
    echo "--- log ${log#"$root"/}"
    show_text "$log"
    echo
}

rm -rf "$demo"
mkdir -p "$demo"

# 1. A plain task: frascombe_a3x.ini beside it, the log beside the executable.
plain="$demo/Tasks/Fatture"
lay_task "$plain" chiusura_mese $'print Chiusura del mese in corso\nreport r.txt\nexit 0\n'
: > "$plain/frascombe_a3x.ini"

# 2. A connector client whose name selects the QODSQL environment: the log
#    goes under roaming application data, VEK\QODSQL\<parent>-<folder>\Log.
#    The vendor and package folders must exist already.
client="$demo/Connettori/QODSQL"
lay_task "$client" ZolQodConn $'print Sincronizzazione QOD avviata\nreport r.txt\nexit 3\n'
# shellcheck disable=SC2016 # the "$" belongs to the INI key
printf '[frascombe_a3x]\n$debug_to_console=0\n' > "$client/connettoreclient.ini"
mkdir -p "$demo/appdata/VEK/QODSQL"

# 3. An update check: QODvantor stages autoit3.exe and vantor.a3x from the
#    connector folder named in its INI, and runs the fresh script as its own.
connector="$demo/Connettore"
mkdir -p "$connector"
cp "$standin" "$connector/autoit3.exe"
printf 'print Controllo aggiornamenti con lo script del connettore\nreport r.txt\n' > "$connector/vantor.a3x"
update="$demo/Connettori/Aggiornamento"
lay_task "$update" QODvantor "" no
# shellcheck disable=SC2016
printf '[main]\n$pathconnettore=%s\n' "$(windows_path "$connector")" > "$update/connettoreclient.ini"

run_task "Plain task (frascombe_a3x.ini, log beside the executable)" "$plain/chiusura_mese.log" \
    "$plain/chiusura_mese.exe" -q "Gennaio 2026" 'nota "urgente"'
run_task "Connector client (connettoreclient.ini, log under roaming application data)" \
    "$demo/appdata/VEK/QODSQL/Connettori-QODSQL/Log/ZolQodConn.log" \
    "$client/ZolQodConn.exe" cron
run_task "Update check (files staged from $(windows_path "$connector"))" "$update/QODvantor.log" \
    "$update/QODvantor.exe" -q
echo "Staged beside the update check:"
for file in "$update"/*; do echo "    ${file##*/}"; done
