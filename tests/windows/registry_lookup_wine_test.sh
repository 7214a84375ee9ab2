#!/usr/bin/env bash
# The registry lookups against keys that portolan-registry-test.exe makes in
# a throw-away Wine prefix.
#   tests/windows/registry_lookup_wine_test.sh build/win64
set -uo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR (the win64 build, e.g. build/win64)" >&2; exit 2; }
source "$(dirname "$0")/check_program.sh"
run_check_program "$1" portolan-registry-test.exe "registry lookups: "
