#!/usr/bin/env bash
# The Windows check programs of one build under Wine (the 32-bit ones in the
# same 64-bit prefix, as WOW64 runs them), in one throw-away prefix:
#   portolan-code-page-test.exe   the simulated code page 1252 against the
#                                 real WideCharToMultiByte, every UTF-16 unit
#   portolan-registry-test.exe    the registry lookups against keys it makes
#   portolan-window-test.exe      the real main dialog over the simulated
#                                 USB stack
#   portolan-resource-check.exe   the resources, and every text of both
#                                 dialogs measured in Wine's Tahoma for
#                                 "MS Shell Dlg" against its control
#   portolan-help-binding-test.exe  the HTML Help control's registered path
#                                 read with KEY_READ, and hhctrl.ocx loaded
#                                 from the system folder although the
#                                 program's folder holds a planted one that a
#                                 load by bare name takes (--plain proves it)
# Each is judged on its own: it passes when it exits with 0, prints at least
# one PASS line and no FAIL line (tests/windows/check_lines.h), and its
# summary "PREFIX: N passed, M failed" counts exactly its PASS lines.
#
#   tests/windows/check_programs_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/wine-x86.sh"
wine_x86_skip "$1" "Windows check programs"
folder=$(cd "$1" && pwd) || exit 1
source "$root/scripts/wine-env.sh" "$folder" || { echo "FAIL: cannot set up Wine" >&2; exit 1; }
failed=0

# Runs the program; sets output (stdout without carriage returns) and rc.
run() {
    rc=0
    wine_run "$@" >"$WINE_ENV_PREFIX_ROOT/stdout" 2>"$WINE_ENV_PREFIX_ROOT/stderr" || rc=$?
    output=$(tr -d '\r' <"$WINE_ENV_PREFIX_ROOT/stdout")
}

# Prints why the last run failed, with what it wrote on stderr.
problem() {
    echo "FAIL: $*"
    [[ -s "$WINE_ENV_PREFIX_ROOT/stderr" ]] && { echo "stderr:"; sed 's/^/   /' "$WINE_ENV_PREFIX_ROOT/stderr"; }
    failed=1
}

# check PROGRAM "SUMMARY PREFIX: " [ARGS...]
check() {
    local exe="$folder/$1" prefix=$2 summary passes
    shift 2
    echo "-- $(basename "$exe")"
    [[ -f "$exe" ]] || { problem "$exe does not exist (build its preset first)"; return; }
    run "$exe" "$@"
    printf '%s\n' "$output" | grep -a -v '^$' | sed 's/^/   /'
    summary=$(printf '%s\n' "$output" | grep -a -F "$prefix" | grep -a -E '[0-9]+ passed, [0-9]+ failed' | tail -n 1)
    passes=$(printf '%s\n' "$output" | grep -a -c '^PASS ')
    if ((rc != 0)); then
        problem "exit code $rc, expected 0"
    elif [[ "$summary" != "${prefix}$passes passed, 0 failed"* ]] || ((passes == 0)) ||
        printf '%s\n' "$output" | grep -a -q '^FAIL '; then
        problem "summary \"$summary\" does not match $passes PASS lines and no failure"
    else
        echo "PASS: $exe under $WINE_LOADER"
    fi
}

check portolan-code-page-test.exe "code page: "
check portolan-registry-test.exe "registry lookups: "
check portolan-window-test.exe "main window: " "Z:${root//\//\\}\\samples\\office-pc.json"

# The help binding program and the planted module in a folder of their own.
app="$WINE_ENV_PREFIX_ROOT/app"
mkdir -p "$app"
if ! cp "$folder/portolan-help-binding-test.exe" "$app/" ||
    ! cp "$folder/portolan-planted-module.dll" "$app/hhctrl.ocx"; then
    problem "help binding programs not built"
else
    run "$app/portolan-help-binding-test.exe" --plain
    echo "-- portolan-help-binding-test.exe --plain: $output"
    if [[ $rc -ne 0 || "$output" != *'\app\hhctrl.ocx'* ]]; then
        problem "a load by bare name does not take the planted hhctrl.ocx, so the check below would prove nothing"
    else
        folder=$app check portolan-help-binding-test.exe "help binding: "
    fi
fi

# The dialogs measured in Wine's own fonts.
wine_prepare_windows
check portolan-resource-check.exe "resource check: "
exit "$failed"
