#!/usr/bin/env bash
# The shipped Portolan.exe under Wine on a simulated USB stack in Wine's
# kernel: a throw-away prefix, the driver installed and started, the
# topology loaded (its registry entries too), then:
#
#   scripts/wine-usb.sh run TOPOLOGY.json
#       starts dist/Portolan/x64/Portolan.exe on it: on your display, or on
#       a private Xvfb with a screenshot (build/screenshots/wine-usb.png)
#       when CI=true or no display is set.
#   scripts/wine-usb.sh dump TOPOLOGY.json [--x86] [--show-unused-ports] [--show-unused-controllers]
#       starts it (with --x86 the 32-bit dist/Portolan/Portolan.exe as a
#       32-bit process, from a current directory without an x64 sibling),
#       reads the tree and every item's panel from outside, closes it and
#       prints one JSON object: "status", and "items" with each item's
#       "depth", "label" and "image" (a part of what portolan-report --json
#       prints for an item) and its "panel" (the panel's fields
#       as shown: IDs, names, instance, configurations, serial, speed, bar,
#       and the transfer check boxes ctrl, bulk, intr, isoc); "windows", the
#       main and the advice window's caption and rectangle right after
#       start-up and SM_CXFULLSCREEN; "about", the about box's line 1020.
#   scripts/wine-usb.sh report TOPOLOGY.json
#       runs the shipped dist/Portolan/x64/PortolanBericht.exe with a file in
#       the prefix as its argument and prints the file's text: UTF-8, the
#       byte-order mark removed, LF line ends. Where it cannot write the
#       file, the text of its message box on stderr and exit code 1.
#   scripts/wine-usb.sh handover TOPOLOGY.json [ARGS...]
#       starts the 32-bit exe from dist/Portolan with ARGS and prints
#       {"x86_exit": n, "x86_windows": n, "x64_command_line": "..."}: its
#       exit code, the windows it showed, the command line of the 64-bit
#       build it handed over to; then closes that one.
#
# A topology file that breaks the format: its one-line error, exit code 2.
set -euo pipefail

usage() {
    echo "usage: $0 run TOPOLOGY.json | dump TOPOLOGY.json [--x86] [--show-unused-ports] [--show-unused-controllers]" \
        "| report TOPOLOGY.json | handover TOPOLOGY.json [ARGS...]" >&2
    exit 2
}
[[ $# -ge 2 ]] || usage
verb=$1
topology=$2
shift 2
bits=64
options=()
case "$verb" in
    run | report) [[ $# -eq 0 ]] || usage ;;
    dump) for option in "$@"; do
              case "$option" in
                  --x86) bits=32 ;;
                  --show-unused-ports | --show-unused-controllers) options+=("$option") ;;
                  *) usage ;;
              esac
          done ;;
    handover) bits=32 ;;
    *) usage ;;
esac
# Relative to the caller's folder, before the change to the repository.
[[ -f "$topology" ]] || { echo "wine-usb: $topology: no such file" >&2; exit 2; }
topology=$(realpath "$topology")
cd "$(dirname "$0")/.."

scripts/setup.sh >&2
if ((bits == 32)) && ! reason=$(scripts/wine-x86.sh); then
    echo "wine-usb: the 32-bit exe cannot run here: $reason" >&2
    exit 1
fi
# Builds what changed and ships it to dist/ (the driver and tools with it).
scripts/package.sh >&2
build=build/win64

interactive=0
if [[ "$verb" == run && -n "${DISPLAY:-}" && "${CI:-}" != true ]]; then
    interactive=1
elif [[ "$verb" == run ]]; then
    unset DISPLAY
fi
source scripts/wine-env.sh "$build"
source scripts/wine-usb-prefix.sh "$build"
usb_prepare_prefix $([[ $interactive == 1 ]] || echo --undecorated)
usb_load "$topology"
exe=$(usb_exe "$bits")
reader="$build/portolan-window-dump.exe"

if [[ "$verb" == handover ]]; then
    usb_handover "$@"
    wine_run "$reader" --exit >/dev/null
    exit 0
fi

if [[ "$verb" == report ]]; then
    file="$WINE_ENV_PREFIX_ROOT/Portolan-Bericht.txt"
    usb_report 64 "$(usb_windows_path "$file")"
    [[ -z "$USB_REPORT_BOX" ]] || { printf '%s\n' "$USB_REPORT_BOX" >&2; exit 1; }
    [[ "$USB_APP_EXIT" == 0 && -f "$file" ]] || { echo "wine-usb: PortolanBericht.exe ended with $USB_APP_EXIT" >&2; exit 1; }
    tail -c +4 "$file" | tr -d '\r'
    exit 0
fi

if [[ "$verb" == dump ]]; then
    usb_start "$exe"
    status=0
    dump=$(wine_run "$reader" "${options[@]}" | tr -d '\r') || status=$?
    usb_wait_exit || status=1
    ((status == 0)) || { echo "wine-usb: reading the window failed" >&2; exit 1; }
    printf '%s\n' "$dump"
    exit 0
fi

usb_start "$exe"
if ((interactive)); then
    echo "wine-usb: Portolan.exe on display $DISPLAY; it stays open until you close it" >&2
    wait "$USB_APP_PID" || true
    exit 0
fi
mkdir -p build/screenshots
shot="$(pwd)/build/screenshots/wine-usb.png"
# Without a browser engine Wine's advice window stays blank: the shot shows
# the first device's panel with the advice window switched off.
wine_run "$reader" --advice-off >/dev/null
wine_run "$reader" --select-device "" >/dev/null || true
sleep 1
import -window root "$shot"
echo "wine-usb: screenshot in $shot" >&2
wine_run "$reader" --exit >/dev/null
usb_wait_exit
