#!/usr/bin/env bash
# Whether this machine runs 32-bit Windows programs under Wine: exit code 0
# when it does; otherwise 1 and one line on stdout saying why. wine64 hands
# a 32-bit program to the 32-bit loader beside it, which needs wine32:i386
# and a kernel that executes i386 code.
#
#   scripts/wine-x86.sh
#   wine_x86_skip BUILD_DIR NAME   (sourced) ends a check of a 32-bit build
#                                  with one line when it cannot run here
wine_x86_missing() {
    local loader=/usr/lib/wine/wine
    if [[ ! -x "$loader" ]]; then
        echo "no 32-bit Wine loader ($loader): wine32:i386 is not installed"
    elif ! "$loader" --version >/dev/null 2>&1; then
        echo "this machine cannot execute i386 code ($loader does not start)"
    else
        return 1
    fi
}

# A 32-bit build's folder is one whose name ends in win32.
wine_x86_skip() {
    local build_dir="$1" name="$2" reason
    [[ "$(basename "$build_dir")" == *win32 ]] || return 0
    if reason=$(wine_x86_missing); then
        echo "$name: the 32-bit checks did not run: $reason"
        exit 0
    fi
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    wine_x86_missing && exit 1
    exit 0
fi
