#!/usr/bin/env bash
# Runs the win64 portolan-live-report.exe under Wine. Wine's SetupAPI lists no
# USB host controllers, so the tree is the root alone and both counts are 0.
#
#   tests/windows/live_report_wine_test.sh build/win64
set -uo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_DIR (the win64 build, e.g. build/win64)" >&2
    exit 2
fi
exe="$1/portolan-live-report.exe"
if [[ ! -f "$exe" ]]; then
    echo "FAIL: $exe does not exist (build the win64 preset first)" >&2
    exit 1
fi
build_dir=$(cd "$1" && pwd)
exe="$build_dir/portolan-live-report.exe"
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# shellcheck source=../../scripts/wine-env.sh
source "$repo/scripts/wine-env.sh" "$build_dir" || { echo "FAIL: cannot set up Wine" >&2; exit 1; }

stdout_file="$WINE_ENV_PREFIX_ROOT/stdout"
stderr_file="$WINE_ENV_PREFIX_ROOT/stderr"
wine_run "$exe" >"$stdout_file" 2>"$stderr_file"
rc=$?

# The program writes Windows line ends.
actual=$(tr -d '\r' <"$stdout_file")
expected=$'My Computer [image 0]\nstatus: Connected Hubs: 0   Other Devices: 0'

status=0
if [[ $rc -ne 0 ]]; then
    echo "FAIL: exit code $rc, expected 0"
    status=1
fi
if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: output differs"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/   /'
    status=1
fi
if [[ $status -ne 0 ]]; then
    if [[ -s "$stderr_file" ]]; then
        echo "stderr:"
        sed 's/^/   /' "$stderr_file"
    fi
    exit 1
fi
echo "PASS: $exe under $WINE_LOADER"
printf '%s\n' "$actual" | sed 's/^/   /'
