# Sourced after scripts/wine-env.sh: PortolanDemo.exe in that Wine prefix,
# driven from outside by portolan-window-dump.exe, and screenshots of its
# windows from the X root window.
#
#   source scripts/demo-window.sh BUILD_DIR
#   wine_prepare_windows [--undecorated]  (wine-env.sh) Wine's fonts; frames drawn by Wine
#   demo_start LOG_FILE                   start the demo, pid in DEMO_PID
#   report=$(demo_driver --windows)       run window-dump actions
#   demo_shoot "$(demo_geometry main "$report")" FILE
#   demo_close                            "&Beenden"; fails if it keeps running

DEMO_BUILD="${1:?usage: source demo-window.sh BUILD_DIR}"
for demo_exe in PortolanDemo.exe portolan-window-dump.exe; do
    [[ -f "$DEMO_BUILD/$demo_exe" ]] || { echo "demo-window: $DEMO_BUILD/$demo_exe is missing" >&2; return 1; }
done
unset demo_exe

demo_start() {
    wine_run "$DEMO_BUILD/PortolanDemo.exe" >"$1" 2>&1 &
    DEMO_PID=$!
}

# The reader writes a JSON object per line; its exit code is returned.
demo_driver() {
    wine_run "$DEMO_BUILD/portolan-window-dump.exe" "$@" 2>&1 | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# The rectangle of window NAME ("main" of --windows, "about" of --about) in
# the reader's output -> WxH+X+Y; its screen coordinates are those of the X
# root window under Wine.
demo_geometry() {
    python3 -c 'import json, sys
rect = None
for line in sys.stdin:
    try:
        found = json.loads(line).get(sys.argv[1])
    except (ValueError, AttributeError):
        continue
    rect = found["rect"] if isinstance(found, dict) else rect
if rect:
    print("%dx%d+%d+%d" % (rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1]))' "$1" <<<"$2"
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
    demo_driver --exit >/dev/null || true
    if ! wine_wait_gone "$DEMO_PID" 10; then
        echo "PortolanDemo.exe did not end after \"&Beenden\"" >&2
        return 1
    fi
    wait "$DEMO_PID" 2>/dev/null || true
}
