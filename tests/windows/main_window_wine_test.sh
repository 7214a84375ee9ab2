#!/usr/bin/env bash
# The real main dialog over the simulated USB stack, under Wine, either build.
#   tests/windows/main_window_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/windows/check_program.sh"
run_check_program "$1" portolan-window-test.exe "main window: " "Z:${root//\//\\}\\samples\\office-pc.json"
