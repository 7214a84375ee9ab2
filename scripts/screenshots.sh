#!/usr/bin/env bash
# The README's screenshots: PortolanDemo.exe under wine64 on its own Xvfb,
# driven from outside by portolan-window-dump.exe.
#   docs/images/main-window.png   the mass-storage stick selected, its panel filled
#   docs/images/about-box.png     the about box
#
#   scripts/screenshots.sh [OUTPUT_DIR]      (default docs/images)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${1:-docs/images}
scripts/setup.sh
scripts/build.sh win64 >/dev/null
build=build/win64
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Always a fresh virtual display of a known size, whatever $DISPLAY says.
unset DISPLAY
source scripts/wine-env.sh "$build"
source scripts/demo-window.sh "$build"
wine_prepare_windows --undecorated

demo_log="$WINE_ENV_PREFIX_ROOT/demo.log"
demo_start "$demo_log"

# NAME REPORT FILE: the window NAME of the driver's REPORT, into FILE.
shoot() {
    local geometry
    geometry=$(demo_geometry "$1" "$2")
    [[ -n "$geometry" ]] || { echo "screenshots: the driver gave no rectangle for $1" >&2; return 1; }
    demo_shoot "$geometry" "$3"
    echo "screenshots: $3 ($geometry)"
}

status=0
if ! report=$(demo_driver --advice-off --select-device Massenspeicher --windows); then
    echo "$report" >&2
    status=1
else
    echo "$report"
    shoot main "$report" "$out/main-window.png" || status=1
    if report=$(demo_driver --about); then
        echo "$report"
        shoot about "$report" "$out/about-box.png" || status=1
    else
        echo "$report" >&2
        status=1
    fi
fi
demo_close || status=1
if [[ $status -ne 0 ]]; then
    cat "$demo_log" >&2
fi
exit "$status"
