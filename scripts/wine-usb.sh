#!/usr/bin/env bash
# The shipped 64-bit Portolan.exe under wine64 on a simulated USB stack in
# Wine's kernel: a throw-away prefix, the driver installed and started, the
# topology loaded (its registry entries too), then:
#
#   scripts/wine-usb.sh run TOPOLOGY.json
#       starts dist/Portolan/x64/Portolan.exe on it: on your display, or on
#       a private Xvfb with a screenshot (build/screenshots/wine-usb.png)
#       when CI=true or no display is set.
#   scripts/wine-usb.sh dump TOPOLOGY.json [--show-unused-ports] [--show-unused-controllers]
#       starts it, reads the tree and every item's panel from outside, closes
#       it and prints one JSON object in the shape of portolan-report --json.
#
# A topology file that breaks the format: its one-line error, exit code 2.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: $0 run TOPOLOGY.json | dump TOPOLOGY.json [--show-unused-ports] [--show-unused-controllers]" >&2
    exit 2
}
[[ $# -ge 2 ]] || usage
verb=$1
topology=$2
shift 2
case "$verb" in
    run) [[ $# -eq 0 ]] || usage ;;
    dump) for option in "$@"; do
              [[ "$option" == --show-unused-ports || "$option" == --show-unused-controllers ]] || usage
          done ;;
    *) usage ;;
esac
[[ -f "$topology" ]] || { echo "wine-usb: $topology: no such file" >&2; exit 2; }

scripts/setup.sh >&2
exe=dist/Portolan/x64/Portolan.exe
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

if [[ "$verb" == dump ]]; then
    usb_start "$exe"
    status=0
    dump=$(wine_run "$build/portolan-window-dump.exe" "$@" | tr -d '\r') || status=$?
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
wine_run "$build/portolan-window-dump.exe" --wait
# Wine's HTML Help opens the advice window over the main window, and without
# a browser engine it stays blank: the shot shows the first device's panel
# with the advice window switched off.
first_device=$(wine_run "$build/portolan-window-dump.exe" --keep-open | tr -d '\r' |
    python3 -c 'import json, sys
items = [i["label"] for i in json.load(sys.stdin)["items"] if i["image"] >= 3]
print(items[0] if items else "")')
if [[ -n "$first_device" ]]; then
    wine_run "$build/portolan-window-dump.exe" --select "$first_device" --command 40013 >/dev/null
else
    wine_run "$build/portolan-window-dump.exe" --command 40013 >/dev/null
fi
sleep 1
import -window root "$shot"
echo "wine-usb: screenshot in $shot" >&2
wine_run "$build/portolan-window-dump.exe" >/dev/null
usb_wait_exit
