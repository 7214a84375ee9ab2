#!/usr/bin/env bash
# The README's screenshots: PortolanDemo.exe under wine64 on its own Xvfb,
# driven from outside by portolan-window-dump.exe, cut from the X root
# window (Wine's screen coordinates are the root window's).
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
wine_prepare_windows --undecorated
demo_log="$WINE_ENV_PREFIX_ROOT/demo.log"
wine_run "$build/PortolanDemo.exe" >"$demo_log" 2>&1 &
demo_pid=$!

# ACTIONS...: the reader's JSON lines; NAME FILE: the rectangle of window
# NAME ("main" of --windows, "about" of --about) in them, into FILE.
shoot() {
    local name=$1 file=$2 report geometry
    shift 2
    report=$(wine_run "$build/portolan-window-dump.exe" "$@" | tr -d '\r') || { echo "$report" >&2; return 1; }
    echo "$report"
    geometry=$(python3 -c 'import json, sys
rect = [found[sys.argv[1]]["rect"] for found in map(json.loads, sys.stdin) if sys.argv[1] in found][-1]
print("%dx%d+%d+%d" % (rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1]))' "$name" <<<"$report") ||
        { echo "screenshots: the reader gave no rectangle for $name" >&2; return 1; }
    sleep 1  # let every control repaint
    import -window root -crop "$geometry" +repage "$file"
    echo "screenshots: $file ($geometry)"
}

status=0
shoot main "$out/main-window.png" --advice-off --select-device Massenspeicher --windows &&
    shoot about "$out/about-box.png" --about || status=1
wine_run "$build/portolan-window-dump.exe" --exit >/dev/null || true
if ! wine_wait_gone "$demo_pid" 10; then
    echo "PortolanDemo.exe did not end after \"&Beenden\"" >&2
    status=1
fi
((status == 0)) || cat "$demo_log" >&2
exit "$status"
