#!/usr/bin/env bash
# The main job: PortolanDemo.exe, the application over the bundled sample PC,
# under wine64, with a screenshot of its main window.
#
#   scripts/run.sh                               the demo window
#   scripts/run.sh --report [OPTIONS] [TOPOLOGY.json]   the native text report
#
# With a display of your own ($DISPLAY set, CI not true) the program stays
# open until you close it. Otherwise it runs on a private Xvfb, is closed
# after the screenshot, and the script ends with 0.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

if [[ "${1:-}" == "--report" ]]; then
    shift
    scripts/build.sh native >/dev/null
    args=("$@")
    topology_given=0
    for arg in "${args[@]}"; do
        [[ "$arg" == -* ]] || topology_given=1
    done
    ((topology_given)) || args+=(samples/office-pc.json)
    exec build/native/portolan-report "${args[@]}"
fi
[[ $# -eq 0 ]] || { echo "usage: $0 [--report [OPTIONS] [TOPOLOGY.json]]" >&2; exit 2; }

scripts/build.sh win64 >/dev/null
build=build/win64
for exe in PortolanDemo.exe portolan-screenshot-driver.exe; do
    [[ -f "$build/$exe" ]] || { echo "run: $build/$exe is missing" >&2; exit 1; }
done
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
# The fonts Wine ships: Tahoma for "MS Shell Dlg", Marlett for the caption
# buttons.
if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
if ((!interactive)); then
    # No window manager on the private Xvfb: Wine draws the frames itself.
    wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
fi

demo_log="$(pwd)/$build/portolan-demo.log"
echo "run: starting $build/PortolanDemo.exe on display $DISPLAY"
wine_run "$build/PortolanDemo.exe" >"$demo_log" 2>&1 &
demo=$!

driver() {
    wine_run "$build/portolan-screenshot-driver.exe" "$@" 2>&1 | tr -d '\r' | iconv -f CP1252 -t UTF-8
    return "${PIPESTATUS[0]}"
}

if ! report=$(driver wait); then
    echo "$report" >&2
    echo "run: the main window did not come up; log in $demo_log" >&2
    exit 1
fi
if ((!interactive)); then
    # Wine's HTML Help opens the advice window at its own default place,
    # over the main window, and without a browser engine it stays blank.
    driver advice-off >/dev/null || echo "run: the advice window stays open" >&2
fi
sleep 1  # let every control repaint

# The driver prints "main LEFT TOP WIDTH HEIGHT" in screen coordinates,
# which Wine keeps equal to those of the X root window.
geometry=$(awk '$1 == "main" { printf "%dx%d+%d+%d\n", $4, $5, $2, $3 }' <<<"$report" | tail -n 1)
if [[ -n "$geometry" ]]; then
    import -window root -crop "$geometry" +repage "$shot"
else
    import -window root "$shot"
fi
echo "run: screenshot of the main window in $shot"

if ((interactive)); then
    echo "run: PortolanDemo.exe stays open until you close it"
    wait "$demo" || true
    exit 0
fi

driver close >/dev/null || true
for _ in $(seq 1 50); do
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$demo" 2>/dev/null; then
    echo "run: PortolanDemo.exe did not end after WM_CLOSE" >&2
    exit 1
fi
wait "$demo" || true
echo "run: PortolanDemo.exe closed"
