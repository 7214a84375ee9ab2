#!/usr/bin/env bash
# The main job: the shipped 64-bit Portolan.exe under Wine on the bundled
# sample PC (samples/office-pc.json), played by the simulated USB stack in
# Wine's kernel (scripts/wine-usb.sh run), with a screenshot of its window.
#
#   scripts/run.sh                               the shipped exe on the sample PC
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
echo "usage: $0 [--report [OPTIONS] [TOPOLOGY.json]]" >&2
exit 2
