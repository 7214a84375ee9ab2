# Sourced after scripts/wine-env.sh: PortolanDemo.exe in that Wine prefix,
# driven from outside by portolan-screenshot-driver.exe, and screenshots of
# its windows from the X root window.
#
#   source scripts/demo-window.sh BUILD_DIR
#   wine_prepare_windows [--undecorated]  (wine-env.sh) Wine's fonts; frames drawn by Wine
#   demo_start LOG_FILE                   start the demo, pid in DEMO_PID
#   report=$(demo_driver wait select)     run driver commands
#   demo_shoot "$(demo_geometry main "$report")" FILE
#   demo_close                            WM_CLOSE; fails if it keeps running

DEMO_BUILD="${1:?usage: source demo-window.sh BUILD_DIR}"
for demo_exe in PortolanDemo.exe portolan-screenshot-driver.exe; do
    [[ -f "$DEMO_BUILD/$demo_exe" ]] || { echo "demo-window: $DEMO_BUILD/$demo_exe is missing" >&2; return 1; }
done
unset demo_exe

demo_start() {
    wine_run "$DEMO_BUILD/PortolanDemo.exe" >"$1" 2>&1 &
    DEMO_PID=$!
}

# The driver writes code page 1252 with Windows line ends; its exit code is returned.
demo_driver() {
    wine_run "$DEMO_BUILD/portolan-screenshot-driver.exe" "$@" 2>&1 | tr -d '\r' | iconv -f CP1252 -t UTF-8
    return "${PIPESTATUS[0]}"
}

# "NAME LEFT TOP WIDTH HEIGHT" from the driver's output -> WxH+X+Y; the
# driver's screen coordinates are those of the X root window under Wine.
demo_geometry() {
    awk -v name="$1" '$1 == name { printf "%dx%d+%d+%d\n", $4, $5, $2, $3 }' <<<"$2" | tail -n 1
}

# The root window cropped to GEOMETRY, or all of it when GEOMETRY is empty.
demo_shoot() {
    local geometry="$1" file="$2"
    sleep 1  # let every control repaint
    if [[ -n "$geometry" ]]; then
        import -window root -crop "$geometry" +repage "$file"
    else
        import -window root "$file"
    fi
}

demo_close() {
    demo_driver close >/dev/null || true
    if ! wine_wait_gone "$DEMO_PID" 10; then
        echo "PortolanDemo.exe did not end after WM_CLOSE" >&2
        return 1
    fi
    wait "$DEMO_PID" 2>/dev/null || true
}
