#!/usr/bin/env bash
# A shipped Portolan.exe (64- or 32-bit build) on the simulated USB stack in
# Wine's kernel against portolan-report on every sample PC and test topology,
# in every view option: items, panels, one refresh's requests, handles
# closed, windows after start-up, exit codes, the help file; for the 32-bit
# build also the hand-over to x64\Portolan.exe.
#
#   tests/windows/wine_usb/end_to_end_test.sh [build/win64|build/win32]
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
    check "$name: one refresh asks what portolan-report --stats counts" \
        python3 tests/windows/wine_usb/compare_dump.py stats "$work/$name-stats.json" "$work/$name-report-stats.txt"

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
        check "$label: the window shows what portolan-report shows" \
            python3 tests/windows/wine_usb/compare_dump.py tree "$work/$name-dump.json" "$work/$name-report.json"
        check "$label: advice window beside the main window, about box says ${bits}bit-Version" \
            python3 tests/windows/wine_usb/compare_dump.py start "$work/$name-dump.json" "$bits"
        check "$label: exit code 1 after &Beenden (${USB_APP_EXIT:-none})" test "${USB_APP_EXIT:-}" = 1
    done

    usb_stats >"$work/$name-after.json"
    check -s "$work/$name-after.json" "$name: every device handle closed after the window" python3 -c 'import json, sys
s = json.load(open(sys.argv[1]))
sys.exit(s["open_handles"] != 0 or s["opens"] - s["open_failures"] != s["closes"])' "$work/$name-after.json"
done

# The caption's close box ends the program with exit code 1 as well.
usb_start "$exe"
dump --wait
dump --close-by-caption
usb_wait_exit 30 || true
check "exit code 1 after the caption's close box (${USB_APP_EXIT:-none})" test "${USB_APP_EXIT:-}" = 1

# The help file the advice window shows, written to the temporary folder.
check "Portolan.chm written to the temporary folder" \
    grep -q . <(find "$WINEPREFIX/drive_c/users" -path '*/Temp/Portolan.chm' -size +1k)

# The hand-over: from dist/Portolan the 32-bit build starts x64\Portolan.exe
# with its own command-line tail and ends.
if ((bits == 32)); then
    topology=samples/office-pc.json
    usb_load "$topology"
    usb_handover --probe "two words" >"$work/handover.json"
    check -s "$work/handover.json" "hand-over: no window, exit code 0, x64\\Portolan.exe started with the same tail" \
        python3 -c 'import json, re, sys
h = json.load(open(sys.argv[1]))
line = h["x64_command_line"] or ""
sys.exit(not (h["x86_exit"] == 0 and h["x86_windows"] == 0 and
              re.fullmatch(r"\"?.*\\x64\\Portolan\.exe\"? --probe \"two words\"", line, re.I)))' "$work/handover.json"
    dump >"$work/x64-dump.json"
    "$report" --json "$topology" >"$work/x64-report.json"
    check "hand-over: the 64-bit build shows the simulated PC's tree" \
        python3 tests/windows/wine_usb/compare_dump.py tree "$work/x64-dump.json" "$work/x64-report.json"
    check "hand-over: the 64-bit build's advice window and about box" \
        python3 tests/windows/wine_usb/compare_dump.py start "$work/x64-dump.json" 64
fi

usb_test_end
