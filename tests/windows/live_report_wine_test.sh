#!/usr/bin/env bash
# Runs portolan-live-report.exe of either build under Wine. Wine's SetupAPI lists no
# USB host controllers, so the tree is the root alone and both counts are 0.
#   tests/windows/live_report_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
prepare_check_program "$1" portolan-live-report.exe || exit 1
run_prepared_program

expected=$'My Computer [image 0]\nstatus: Connected Hubs: 0   Other Devices: 0'
status=0
if [[ $CHECK_RC -ne 0 ]]; then
    echo "FAIL: exit code $CHECK_RC, expected 0"
    status=1
fi
if [[ "$CHECK_OUTPUT" != "$expected" ]]; then
    echo "FAIL: output differs"
    diff <(echo "$expected") <(echo "$CHECK_OUTPUT") | sed 's/^/   /'
    status=1
fi
if [[ $status -ne 0 ]]; then
    print_check_stderr
    exit 1
fi
echo "PASS: $CHECK_EXE under $WINE_LOADER"
printf '%s\n' "$CHECK_OUTPUT" | sed 's/^/   /'
