# Sourced helper: a throw-away Wine prefix (and an X server if none is set)
# for running the Windows build's executables.
#
#   source scripts/wine-env.sh BUILD_DIR
#   wine_run BUILD_DIR/PortolanDemo.exe [ARGS...]
#
# Everything started here is stopped, and the prefix removed, when the
# sourcing shell exits (wine_env_cleanup; call it yourself if you replace
# the EXIT trap). Works without a terminal, e.g. under CI=true.

wine_env_fail() {
    echo "wine-env: $*" >&2
    return 1
}

wine_env_cleanup() {
    if [[ -n "${WINEPREFIX:-}" && -n "${WINE_SERVER:-}" && -d "$WINEPREFIX" ]]; then
        "$WINE_SERVER" -k >/dev/null 2>&1 || true
        "$WINE_SERVER" -w >/dev/null 2>&1 || true
    fi
    if [[ -n "${WINE_ENV_XVFB_PID:-}" ]]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
    if [[ -n "${WINE_ENV_PREFIX_ROOT:-}" && -d "$WINE_ENV_PREFIX_ROOT" ]]; then
        rm -rf "$WINE_ENV_PREFIX_ROOT"
        WINE_ENV_PREFIX_ROOT=""
    fi
}

# Starts Xvfb on the first free display from :99 on.
wine_env_start_xvfb() {
    command -v Xvfb >/dev/null 2>&1 || { wine_env_fail "DISPLAY is empty and Xvfb is not installed"; return 1; }
    local display
    for display in $(seq 99 130); do
        [[ -e "/tmp/.X${display}-lock" || -e "/tmp/.X11-unix/X${display}" ]] && continue
        Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        WINE_ENV_XVFB_PID=$!
        local waited
        for waited in $(seq 1 50); do
            if [[ -S "/tmp/.X11-unix/X${display}" ]]; then
                export DISPLAY=":$display"
                return 0
            fi
            kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        # Lost a race for this display or failed to start: try the next one.
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    done
    wine_env_fail "no free X display for Xvfb"
}

wine_env_setup() {
    local build_dir="$1"
    [[ -n "$build_dir" ]] || { wine_env_fail "usage: source wine-env.sh BUILD_DIR"; return 1; }
    mkdir -p "$build_dir" || return 1

    # Debian's wine64: its loader also starts 32-bit programs (wine32).
    export WINE_LOADER=/usr/lib/wine/wine64 WINE_SERVER=/usr/lib/wine/wineserver64
    [[ -x "$WINE_LOADER" && -x "$WINE_SERVER" ]] || { wine_env_fail "no $WINE_LOADER (scripts/setup.sh)"; return 1; }
    # wineboot and friends look for the loader under this name.
    export WINELOADER="$WINE_LOADER" WINESERVER="$WINE_SERVER"

    trap wine_env_cleanup EXIT

    WINE_ENV_PREFIX_ROOT=$(mktemp -d "$(cd "$build_dir" && pwd)/wine-prefix.XXXXXX") || return 1
    # No Mono or Gecko installer prompts.
    export WINEPREFIX="$WINE_ENV_PREFIX_ROOT/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

    [[ -n "${DISPLAY:-}" ]] || wine_env_start_xvfb || return 1

    # Now and then (about one prefix in twenty here) Wine 8's first start
    # fails with "could not load kernel32.dll, status c0000135" before the
    # prefix holds anything; a new prefix then starts.
    local attempt
    for attempt in 1 2 3; do
        if "$WINE_LOADER" wineboot -i >"$WINE_ENV_PREFIX_ROOT/wineboot.log" 2>&1 </dev/null; then
            "$WINE_SERVER" -w
            return 0
        fi
        "$WINE_SERVER" -k 2>/dev/null || true
        "$WINE_SERVER" -w 2>/dev/null || true
        if ((attempt < 3)); then
            echo "wine-env: wineboot -i failed, new prefix (attempt $((attempt + 1)))" >&2
            rm -rf "$WINEPREFIX"
        fi
    done
    cat "$WINE_ENV_PREFIX_ROOT/wineboot.log" >&2
    wine_env_fail "wineboot -i failed"
    return 1
}

# Runs a Windows executable in the prefix; its exit code is returned.
wine_run() {
    "$WINE_LOADER" "$@" </dev/null
}

# Waits up to SECONDS (default 10) for process PID to end; 1 if it has not.
wine_wait_gone() {
    local pid=$1 seconds=${2:-10}
    for _ in $(seq 1 $((seconds * 5))); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.2
    done
    ! kill -0 "$pid" 2>/dev/null
}

# Wine's Tahoma for "MS Shell Dlg" and Marlett for the caption buttons; with
# --undecorated Wine draws captions and frames itself, as no window manager
# runs on Xvfb.
wine_prepare_windows() {
    if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    if [[ "${1:-}" == --undecorated ]]; then
        wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    fi
}

export -f wine_run wine_env_fail
wine_env_setup "${1:-}"
