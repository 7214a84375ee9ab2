# Sourced by the scripts here: the shipped exe of the build under test
# (build/win64: x64\Portolan.exe; build/win32: Portolan.exe, a 32-bit
# process started from a folder without an x64 sibling, so that it runs
# itself), a throw-away prefix with the simulated USB stack running (its
# driver and tools are the win64 build's), a scratch folder, and the
# counting of failed checks.
#
#   source tests/windows/wine_usb/common.sh BUILD_DIR NAME
under_test=${1:-build/win64}
source scripts/wine-x86.sh
wine_x86_skip "$under_test" "${2:?usage: source common.sh BUILD_DIR NAME}"
if [[ "$(basename "$under_test")" == *win32 ]]; then bits=32; else bits=64; fi
usb_test_name="$2 ($bits-bit)"
build=build/win64
work=$(mktemp -d)

source scripts/wine-env.sh "$build"
# On a failure, what the program under test printed, before the prefix goes.
usb_test_exit() {
    local status=$?
    if ((status)) && [[ -s "$WINE_ENV_PREFIX_ROOT/app.log" ]]; then
        echo "$usb_test_name: what the program printed:"
        tail -n 20 "$WINE_ENV_PREFIX_ROOT/app.log" | sed 's/^/   /'
    fi
    wine_env_cleanup
    rm -rf "$work"
}
trap usb_test_exit EXIT
source scripts/wine-usb-prefix.sh "$build"
exe=$(usb_exe "$bits")
[[ -f "$exe" ]] || { echo "$usb_test_name: $exe is missing (scripts/package.sh)" >&2; exit 1; }
usb_prepare_prefix --undecorated
failures=0

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
# check [-s FILE] NAME [!] COMMAND...: PASS or FAIL NAME as the command ends
# (with !, as it fails); on a failure FILE is shown.
check() {
    local show= ok=1
    [[ "$1" == -s ]] && { show=$2; shift 2; }
    local name=$1
    shift
    [[ "$1" == "!" ]] && { ok=0; shift; }
    "$@" || ok=$((1 - ok))
    if ((ok)); then pass "$name"; else fail "$name${show:+: $(cat "$show" 2>/dev/null)}"; fi
}

dump() { wine_run "$build/portolan-window-dump.exe" "$@" | tr -d '\r'; }

usb_test_end() {
    if ((failures)); then
        echo "$usb_test_name: $failures failed" >&2
        exit 1
    fi
    echo "$usb_test_name: all passed"
}
