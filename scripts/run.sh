#!/usr/bin/env bash
# The main job: the shipped 64-bit Portolan.exe under Wine on the bundled
# sample PC (samples/office-pc.json), played by the simulated USB stack in
# Wine's kernel (scripts/wine-usb.sh run), with a screenshot of its window.
#
#   scripts/run.sh                               the shipped exe on the sample PC
#   scripts/run.sh --demo                        PortolanDemo.exe (the sample built in)
#   scripts/run.sh --report [OPTIONS] [TOPOLOGY.json]   the native text report
#
# With a display of your own ($DISPLAY set, CI not true) the program stays
# open until you close it. Otherwise it runs on a private Xvfb, is closed
# after the screenshot, and the script ends with 0.
set -euo pipefail
# A topology file is named relative to the caller's folder.
args=()
topology_given=0
for arg in "$@"; do
    if [[ "$arg" != -* ]]; then
        topology_given=1
        [[ ! -e "$arg" ]] || arg=$(realpath "$arg")
    fi
    args+=("$arg")
done
cd "$(dirname "$0")/.."
scripts/setup.sh

if [[ "${1:-}" == "--report" ]]; then
    args=("${args[@]:1}")
    scripts/build.sh native >/dev/null
    ((topology_given)) || args+=(samples/office-pc.json)
    exec build/native/portolan-report "${args[@]}"
fi
if [[ $# -eq 0 ]]; then
    exec scripts/wine-usb.sh run samples/office-pc.json
fi
[[ $# -eq 1 && "$1" == --demo ]] || { echo "usage: $0 [--demo | --report [OPTIONS] [TOPOLOGY.json]]" >&2; exit 2; }

scripts/build.sh win64 >/dev/null
build=build/win64
shots=build/screenshots
mkdir -p "$shots"
shot="$(pwd)/$shots/main-window.png"

interactive=0
if [[ -n "${DISPLAY:-}" && "${CI:-}" != true ]]; then
    interactive=1
else
    unset DISPLAY
fi
source scripts/wine-env.sh "$build"
source scripts/demo-window.sh "$build"
if ((interactive)); then
    wine_prepare_windows
else
    wine_prepare_windows --undecorated
fi

demo_log="$(pwd)/$build/portolan-demo.log"
echo "run: starting $build/PortolanDemo.exe on display $DISPLAY"
demo_start "$demo_log"

if ! report=$(demo_driver --windows); then
    echo "$report" >&2
    echo "run: the main window did not come up; log in $demo_log" >&2
    exit 1
fi
if ((!interactive)); then
    # Without a browser engine Wine's advice window stays blank.
    demo_driver --advice-off >/dev/null || echo "run: the advice window stays open" >&2
fi
demo_shoot "$(demo_geometry main "$report")" "$shot"
echo "run: screenshot of the main window in $shot"

if ((interactive)); then
    echo "run: PortolanDemo.exe stays open until you close it"
    wait "$DEMO_PID" || true
    exit 0
fi

demo_close || exit 1
echo "run: PortolanDemo.exe closed"
