#!/usr/bin/env bash
# The HTML Help control's binding under Wine, either build: the registered path read with
# KEY_READ, and hhctrl.ocx loaded from the system folder although the
# program's folder holds a planted hhctrl.ocx that a load by bare name would
# take (which the --plain run proves first).
#   tests/windows/help_binding_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
build_dir=$1
[[ -f "$build_dir/portolan-planted-module.dll" ]] || { echo "FAIL: $build_dir/portolan-planted-module.dll not built" >&2; exit 1; }
prepare_check_program "$build_dir" portolan-help-binding-test.exe || exit 1

# The program and the planted module in a folder of their own.
app_dir="$WINE_ENV_PREFIX_ROOT/app"
mkdir -p "$app_dir"
cp "$CHECK_EXE" "$app_dir/"
cp "$build_dir/portolan-planted-module.dll" "$app_dir/hhctrl.ocx"
CHECK_EXE="$app_dir/portolan-help-binding-test.exe"

run_prepared_program --plain
echo "   $CHECK_OUTPUT"
if [[ $CHECK_RC -ne 0 || "$CHECK_OUTPUT" != *'\app\hhctrl.ocx'* ]]; then
    echo "FAIL: a load by bare name does not take the planted hhctrl.ocx, so the check below would prove nothing"
    print_check_stderr
    exit 1
fi

run_prepared_program
judge_check_program "help binding: " || exit 1
