#!/usr/bin/env bash
# Runs the win64 portolan-resource-check.exe under Wine: it loads every
# resource of the application (dialogs, menu, accelerators, pictures, help
# file, manifest, version) and checks it. Fails on a nonzero exit, a FAIL
# line, or output without its summary line.
#
#   tests/windows/resource_check_wine_test.sh build/win64
set -uo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_DIR (the win64 build, e.g. build/win64)" >&2
    exit 2
fi
exe="$1/portolan-resource-check.exe"
if [[ ! -f "$exe" ]]; then
    echo "FAIL: $exe does not exist (build the win64 preset first)" >&2
    exit 1
fi
build_dir=$(cd "$1" && pwd)
exe="$build_dir/portolan-resource-check.exe"
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# shellcheck source=../../scripts/wine-env.sh
source "$repo/scripts/wine-env.sh" "$build_dir" || { echo "FAIL: cannot set up Wine" >&2; exit 1; }

stdout_file="$WINE_ENV_PREFIX_ROOT/stdout"
stderr_file="$WINE_ENV_PREFIX_ROOT/stderr"
wine_run "$exe" >"$stdout_file" 2>"$stderr_file"
rc=$?

# The program writes UTF-8 with Windows line ends.
output=$(tr -d '\r' <"$stdout_file")
printf '%s\n' "$output" | grep -a -v '^$' | sed 's/^/   /'

status=0
if [[ $rc -ne 0 ]]; then
    echo "FAIL: exit code $rc, expected 0"
    status=1
fi
summary=$(printf '%s\n' "$output" | grep -a -E '^resource check: [0-9]+ passed, [0-9]+ failed$')
pass_lines=$(printf '%s\n' "$output" | grep -a -c '^PASS ')
if [[ -z "$summary" ]]; then
    echo "FAIL: no summary line"
    status=1
elif [[ "$summary" != "resource check: $pass_lines passed, 0 failed" ]]; then
    echo "FAIL: summary \"$summary\" does not match $pass_lines PASS lines and no failure"
    status=1
fi
if [[ $pass_lines -eq 0 ]]; then
    echo "FAIL: no PASS line"
    status=1
fi
if printf '%s\n' "$output" | grep -a -q '^FAIL '; then
    echo "FAIL: the program reports failed checks"
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
