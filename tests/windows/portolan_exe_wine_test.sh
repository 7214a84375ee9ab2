#!/usr/bin/env bash
# The real 64-bit Portolan.exe under wine64, which has no USB host
# controllers: its window, its tree and status, the help file, exit code 1.
#   tests/windows/portolan_exe_wine_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
for exe in Portolan.exe portolan-app-probe.exe; do
    [[ -f "$build/$exe" ]] || { echo "FAIL: $build/$exe is missing" >&2; exit 1; }
done
source "$root/scripts/wine-env.sh" "$build"

wine_run "$build/Portolan.exe" >"$build/portolan-exe.log" 2>&1 &
app=$!
probe_status=0
wine_run "$build/portolan-app-probe.exe" 2>&1 | tr -d '\r' || probe_status=$?
app_status=0
for _ in $(seq 1 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$app" 2>/dev/null; then
    echo "FAIL Portolan.exe did not end after WM_CLOSE"
    kill "$app" 2>/dev/null || true
    exit 1
fi
wait "$app" || app_status=$?
if [[ $app_status -eq 1 ]]; then
    echo "PASS Portolan.exe ends with exit code 1"
else
    echo "FAIL Portolan.exe ended with exit code $app_status"
fi
[[ $probe_status -eq 0 && $app_status -eq 1 ]]
