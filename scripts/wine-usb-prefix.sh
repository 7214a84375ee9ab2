# Sourced after scripts/wine-env.sh: the simulated USB stack in that prefix.
#
#   source scripts/wine-usb-prefix.sh BUILD_DIR
#   usb_prepare_prefix [--undecorated]   fonts, the driver installed and running
#   usb_load TOPOLOGY.json               the topology in the driver and the registry
#   usb_exe 64|32 [NAME]                 the shipped exe of that build (NAME.exe,
#                                        default Portolan)
#   usb_start EXE [ARGS...]              starts it, pid in USB_APP_PID
#   usb_wait_exit [SECONDS]              waits for it; its exit code in USB_APP_EXIT
#   usb_report [--box] 64|32 [ARGS...]   the shipped PortolanBericht.exe of that
#                                        build run with ARGS, its message box read
#   usb_stats                            the driver's counts since the load, as JSON
#   usb_handover [ARGS...]               the 32-bit exe started from dist/Portolan
#
# The driver and the tools are the win64 build's; the 32-bit exe runs in the
# same prefix as a 32-bit process. usb_start runs an exe with the current
# folder as its current directory: the repository root, which has no x64
# sibling, so that the 32-bit build runs itself there.

USB_BUILD="${1:?usage: source wine-usb-prefix.sh BUILD_DIR}"
for usb_file in portolanusb.sys portolan-usb-load.exe portolan-window-dump.exe; do
    [[ -f "$USB_BUILD/$usb_file" ]] || { echo "wine-usb: $USB_BUILD/$usb_file is missing" >&2; return 1; }
done
unset usb_file

usb_prepare_prefix() {
    # The driver's topology lives as long as the server: keep it up between
    # programs (wine-env.sh has waited for the first one to end).
    "$WINE_SERVER" -p || { "$WINE_SERVER" -k; "$WINE_SERVER" -w; "$WINE_SERVER" -p; }
    wine_prepare_windows "$@"
    wine_run "$USB_BUILD/portolan-usb-load.exe" --setup "$USB_BUILD/portolanusb.sys" >/dev/null
}

usb_load() {
    local status=0
    wine_run "$USB_BUILD/portolan-usb-load.exe" "$1" 2>&1 >/dev/null | tr -d '\r' >&2 || status=${PIPESTATUS[0]}
    return "$status"
}

usb_exe() {
    if [[ "$1" == 32 ]]; then echo "dist/Portolan/${2:-Portolan}.exe"; else echo "dist/Portolan/x64/${2:-Portolan}.exe"; fi
}

# A path as Wine's drive Z: shows it (the file need not exist).
usb_windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# Starts dist/Portolan/Portolan.exe with dist/Portolan as its current
# directory and prints {"x86_exit", "x86_windows", "x64_command_line"}; the
# 64-bit build it handed over to is left running.
usb_handover() {
    wine_run "$USB_BUILD/portolan-window-dump.exe" --start "$(usb_windows_path dist/Portolan)" \
        "$(usb_windows_path dist/Portolan/Portolan.exe)" "$@" | tr -d '\r'
}

# What the program printed goes to app.log in the prefix's folder.
usb_start() {
    wine_run "$@" >>"$WINE_ENV_PREFIX_ROOT/app.log" 2>&1 &
    USB_APP_PID=$!
}

usb_wait_exit() {
    if ! wine_wait_gone "$USB_APP_PID" "${1:-30}"; then
        echo "wine-usb: the application did not end" >&2
        return 1
    fi
    USB_APP_EXIT=0
    wait "$USB_APP_PID" || USB_APP_EXIT=$?
}

# Runs the shipped report program with ARGS; its exit code in USB_APP_EXIT
# (none when it did not end). A message box it shows is read and closed, its
# JSON in USB_REPORT_BOX (empty when none was read): with --box at once,
# else when the program has not ended after 120 s.
usb_report() {
    local box=0
    [[ "${1:-}" == --box ]] && { box=1; shift; }
    local bits=$1
    shift
    USB_APP_EXIT=none
    USB_REPORT_BOX=""
    usb_start "$(usb_exe "$bits" PortolanBericht)" "$@"
    if ((box)) || ! usb_wait_exit 120; then
        USB_REPORT_BOX=$(wine_run "$USB_BUILD/portolan-window-dump.exe" --message-box Portolan-Bericht | tr -d '\r') ||
            true
        usb_wait_exit 30 || true
    fi
}

# The driver's counts as JSON. Under a load of notifications a Wine process
# now and then ends without a word (seen once in the soak's replug storm):
# the read is tried again, up to three times.
usb_stats() {
    local stats
    for _ in 1 2 3; do
        stats=$(wine_run "$USB_BUILD/portolan-usb-load.exe" --stats | tr -d '\r') || true
        [[ -n "$stats" ]] && { printf '%s\n' "$stats"; return 0; }
        sleep 1
    done
    echo "wine-usb: portolan-usb-load.exe --stats gave no counts" >&2
    return 1
}
