#!/usr/bin/env bash
# The shipped x64 Portolan.exe under wine64 on the simulated USB stack in
# Wine's kernel, against portolan-report on the same topology files: every
# sample PC and the topologies in tests/windows/wine_usb/topologies, in every view
# option, item for item with each item's panel; one refresh's requests per
# I/O control code against portolan-report --stats; every device handle
# closed after the window; exit code 1 after "&Beenden" and after the
# caption's close box; the help file in the temporary folder.
#
#   tests/windows/wine_usb/end_to_end_test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../../.."
source tests/windows/wine_usb/common.sh "${1:-build/win64}" wine-usb-e2e
report=build/native/portolan-report
[[ -x "$report" ]] || { echo "wine-usb-e2e: $report is missing" >&2; exit 1; }

for topology in samples/*.json tests/windows/wine_usb/topologies/*.json; do
    name=$(basename "$topology" .json)
    usb_load "$topology"

    # The refresh at start-up asks the driver what the report counts.
    usb_start "$exe"
    dump --wait
    usb_stats >"$work/$name-stats.json"
    "$report" --stats "$topology" >"$work/$name-report-stats.txt"
    if python3 tests/windows/wine_usb/compare_dump.py stats "$work/$name-stats.json" "$work/$name-report-stats.txt"; then
        pass "$name: one refresh asks what portolan-report --stats counts"
    else
        fail "$name: request counts differ"
    fi

    first=1
    for options in "" "--show-unused-ports" "--show-unused-controllers" "--show-unused-ports --show-unused-controllers"; do
        ((first)) || usb_start "$exe"
        first=0
        # shellcheck disable=SC2086
        dump $options >"$work/$name-dump.json"
        usb_wait_exit 30 || true
        # shellcheck disable=SC2086
        "$report" --json $options "$topology" >"$work/$name-report.json"
        label="$name${options:+ ($options)}"
        if python3 tests/windows/wine_usb/compare_dump.py tree "$work/$name-dump.json" "$work/$name-report.json"; then
            pass "$label: the window shows what portolan-report shows"
        else
            fail "$label: the window differs from portolan-report"
        fi
        if test "${USB_APP_EXIT:-}" = 1; then
            pass "$label: exit code 1 after &Beenden"
        else
            fail "$label: exit code ${USB_APP_EXIT:-none} after &Beenden"
        fi
    done

    usb_stats >"$work/$name-after.json"
    if python3 -c 'import json, sys; s = json.load(open(sys.argv[1])); sys.exit(s["open_handles"] != 0 or s["opens"] - s["open_failures"] != s["closes"])' "$work/$name-after.json"; then
        pass "$name: every device handle closed after the window"
    else
        fail "$name: handles left open: $(cat "$work/$name-after.json")"
    fi
done

# The caption's close box ends the program with exit code 1 as well.
usb_start "$exe"
dump --wait
dump --close-by-caption
usb_wait_exit 30 || true
if test "${USB_APP_EXIT:-}" = 1; then
    pass "exit code 1 after the caption's close box"
else
    fail "exit code ${USB_APP_EXIT:-none} after the caption's close box"
fi

# The help file the advice window shows, written to the temporary folder.
if find "$WINEPREFIX/drive_c/users" -path '*/Temp/Portolan.chm' -size +1k | grep -q .; then
    pass "Portolan.chm written to the temporary folder"
else
    fail "no Portolan.chm in the temporary folder"
fi

usb_test_end
