# Sourced by the scripts here: the shipped x64 exe, a throw-away prefix with
# the simulated USB stack running, a scratch folder, and the counting of
# failed checks.
#
#   source tests/windows/wine_usb/common.sh BUILD_DIR NAME
build=${1:-build/win64}
usb_test_name=${2:?usage: source common.sh BUILD_DIR NAME}
exe=dist/Portolan/x64/Portolan.exe
[[ -f "$exe" ]] || { echo "$usb_test_name: $exe is missing (scripts/package.sh)" >&2; exit 1; }
work=$(mktemp -d)

source scripts/wine-env.sh "$build"
trap 'wine_env_cleanup; rm -rf "$work"' EXIT
source scripts/wine-usb-prefix.sh "$build"
usb_prepare_prefix --undecorated
failures=0

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

dump() { wine_run "$build/portolan-window-dump.exe" "$@" | tr -d '\r'; }

usb_test_end() {
    if ((failures)); then
        echo "$usb_test_name: $failures failed" >&2
        exit 1
    fi
    echo "$usb_test_name: all passed"
}
