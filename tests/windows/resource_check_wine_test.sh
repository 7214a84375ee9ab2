#!/usr/bin/env bash
# portolan-resource-check.exe loads every resource of the application
# (dialogs, menu, accelerators, pictures, help file, manifest, version) under
# Wine and checks it.
#   tests/windows/resource_check_wine_test.sh build/win64
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (the win64 build, e.g. build/win64)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
run_check_program "$1" portolan-resource-check.exe "resource check: "
