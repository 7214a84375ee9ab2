#!/usr/bin/env bash
# The simulated code page 1252 against the real WideCharToMultiByte, every
# UTF-16 code unit, in portolan-code-page-test.exe under Wine, either build.
#   tests/windows/code_page_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
run_check_program "$1" portolan-code-page-test.exe "code page: "
