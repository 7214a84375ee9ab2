#!/usr/bin/env bash
# portolan-resource-check.exe loads the application's resources under Wine,
# with Wine's Tahoma for "MS Shell Dlg", and checks them and that every text
# of the two dialogs fits its control.
#   tests/windows/resource_check_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
prepare_check_program "$1" portolan-resource-check.exe || exit 1
wine_prepare_windows
run_prepared_program
judge_check_program "resource check: "
