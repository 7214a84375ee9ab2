#!/usr/bin/env bash
# The registry lookups against keys that portolan-registry-test.exe makes in
# a throw-away Wine prefix.
#   tests/windows/registry_lookup_wine_test.sh build/win64|build/win32
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (build/win64 or build/win32)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
run_check_program "$1" portolan-registry-test.exe "registry lookups: "
