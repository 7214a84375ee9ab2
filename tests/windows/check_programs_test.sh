#!/usr/bin/env bash
# The Windows check programs of one build under Wine, in one throw-away
# prefix, each judged on its own (tests/windows/check_program.sh):
#   portolan-code-page-test.exe   the simulated code page 1252 against the
#                                 real WideCharToMultiByte, every UTF-16 unit
#   portolan-registry-test.exe    the registry lookups against keys it makes
#   portolan-window-test.exe      the real main dialog over the simulated
#                                 USB stack
#   portolan-resource-check.exe   the resources, and every text of both
#                                 dialogs measured in Wine's Tahoma for
#                                 "MS Shell Dlg" against its control
#
#   tests/windows/check_programs_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/windows/check_program.sh"
prepare_check_program "$1" portolan-code-page-test.exe || exit 1
folder=$(dirname "$CHECK_EXE")
failed=0

# check PROGRAM "SUMMARY PREFIX: " [ARGS...]
check() {
    CHECK_EXE="$folder/$1"
    local prefix=$2
    shift 2
    echo "-- $(basename "$CHECK_EXE")"
    [[ -f "$CHECK_EXE" ]] || { echo "FAIL: $CHECK_EXE does not exist"; failed=1; return; }
    run_prepared_program "$@"
    judge_check_program "$prefix" || failed=1
}

check portolan-code-page-test.exe "code page: "
check portolan-registry-test.exe "registry lookups: "
check portolan-window-test.exe "main window: " "Z:${root//\//\\}\\samples\\office-pc.json"
# The dialogs measured in Wine's own fonts.
wine_prepare_windows
check portolan-resource-check.exe "resource check: "
exit "$failed"
