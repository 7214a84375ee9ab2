#!/usr/bin/env bash
# The README's screenshots: PortolanDemo.exe under wine64 on its own Xvfb,
# driven from outside by portolan-screenshot-driver.exe.
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
for exe in PortolanDemo.exe portolan-screenshot-driver.exe; do
    [[ -f "$build/$exe" ]] || { echo "screenshots: $build/$exe is missing" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Always a fresh virtual display of a known size, whatever $DISPLAY says.
unset DISPLAY
source scripts/wine-env.sh "$build"

# No window manager runs on Xvfb: Wine draws captions and frames itself,
# with the system fonts (Tahoma for "MS Shell Dlg", Marlett for the caption
# buttons) that Wine ships in fonts-wine.
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

demo_log="$WINE_ENV_PREFIX_ROOT/demo.log"
wine_run "$build/PortolanDemo.exe" >"$demo_log" 2>&1 &
demo=$!

driver() {
    wine_run "$build/portolan-screenshot-driver.exe" "$@" 2>&1 | tr -d '\r' | iconv -f CP1252 -t UTF-8
    return "${PIPESTATUS[0]}"
}

# "NAME LEFT TOP WIDTH HEIGHT" from the driver's output -> WxH+X+Y.
geometry_of() {
    awk -v name="$1" '$1 == name { printf "%dx%d+%d+%d\n", $4, $5, $2, $3 }' <<<"$2" | tail -n 1
}

shoot() {
    local geometry="$1" file="$2"
    sleep 1  # let every control repaint
    import -window root -crop "$geometry" +repage "$file"
    echo "screenshots: $file ($geometry)"
}

status=0
if ! report=$(driver wait advice-off select Massenspeicher); then
    echo "$report" >&2
    status=1
else
    echo "$report"
    shoot "$(geometry_of main "$report")" "$out/main-window.png"
    if report=$(driver about); then
        echo "$report"
        shoot "$(geometry_of about "$report")" "$out/about-box.png"
    else
        echo "$report" >&2
        status=1
    fi
fi
driver close >/dev/null || true
for _ in $(seq 1 50); do
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$demo" 2>/dev/null; then
    echo "screenshots: PortolanDemo.exe did not end after WM_CLOSE" >&2
    status=1
fi
wait "$demo" 2>/dev/null || true
if [[ $status -ne 0 ]]; then
    cat "$demo_log" >&2
fi
exit "$status"
