#!/usr/bin/env bash
# The real main dialog over the simulated USB stack, under wine64.
#   tests/windows/main_window_wine_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
exe="$build/portolan-window-test.exe"
[[ -f "$exe" ]] || { echo "FAIL: $exe is missing" >&2; exit 1; }
source "$root/scripts/wine-env.sh" "$build"
output=$(wine_run "$exe" "Z:${root//\//\\}\\samples\\office-pc.json" 2>&1 | tr -d '\r') || status=$?
echo "$output"
if [[ ${status:-0} -ne 0 ]] || grep -q '^FAIL' <<<"$output" || ! grep -q ' passed, 0 failed$' <<<"$output"; then
    echo "main window test failed" >&2
    exit 1
fi
