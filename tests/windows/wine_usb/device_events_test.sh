#!/usr/bin/env bash
# Device events and port cycling of the shipped x64 Portolan.exe on the
# simulated USB stack in Wine's kernel (samples/office-pc.json):
# - auto-refresh on: a device plugged into an empty port appears in the
#   tree, unplugged it vanishes, each through the real notifications;
# - auto-refresh off: the tree stays as it was until F5;
# - Ctrl+R on a device and on an external hub: the driver receives
#   IOCTL_USB_HUB_CYCLE_PORT for the parent hub's port, with an 8-byte
#   input and no output; the device leaves and comes back into the tree.
#
#   tests/windows/wine_usb/device_events_test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../../.."
source tests/windows/wine_usb/common.sh "${1:-build/win64}" wine-usb-events
topology=samples/office-pc.json

control() { wine_run "$build/portolan-usb-load.exe" "$@" >/dev/null; }

# Whether the window shows an item of that depth and label now.
shows() {
    dump --keep-open >"$work/now.json"
    python3 -c 'import json, sys
items = json.load(open(sys.argv[1], encoding="utf-8"))["items"]
sys.exit(0 if any(i["depth"] == int(sys.argv[2]) and i["label"] == sys.argv[3] for i in items) else 1)' \
        "$work/now.json" "$1" "$2"
}

# Waits up to 20 s for the window to show (or, with !, not to show) the item.
wait_for() {
    local want=0
    [[ "$1" == "!" ]] && { want=1; shift; }
    for _ in $(seq 1 40); do
        local shown=0
        shows "$1" "$2" || shown=1
        ((shown == want)) && return 0
        sleep 0.5
    done
    return 1
}

stat() {
    usb_stats | python3 -c 'import json, sys
s = json.load(sys.stdin)
print(eval(sys.argv[1], {}, s))' "$1"
}

# Waits until the driver has every device of the topology started again.
settled() {
    for _ in $(seq 1 100); do
        [[ "$(stat 'started == expected')" == True ]] && return 0
        sleep 0.2
    done
    return 1
}

webcam="[Port3] : USB-Verbundgerät"
stick="[Port2] : USB-Massenspeichergerät"
hub="[Port1] : Generischer USB-Hub"

usb_load "$topology"
control --unplug "$topology" 0/3
settled
usb_start "$exe"
dump --wait

# Start-up has switched auto-refresh on (command 40003).
if shows 3 "$webcam"; then fail "the unplugged webcam is in the tree"; else pass "the unplugged webcam is not in the tree"; fi
control --plug "$topology" 0/3
if wait_for 3 "$webcam"; then pass "auto-refresh: the plugged webcam appears"; else fail "auto-refresh: the webcam does not appear"; fi
control --unplug "$topology" 0/3
if wait_for ! 3 "$webcam"; then pass "auto-refresh: the unplugged webcam vanishes"; else fail "auto-refresh: the webcam stays"; fi

dump --command 40003  # off
control --plug "$topology" 0/3
settled
sleep 2  # the notification would have been handled by now
if shows 3 "$webcam"; then fail "auto-refresh off: the tree changed without F5"; else pass "auto-refresh off: the tree stays as it was"; fi
dump --command 40002  # F5
if shows 3 "$webcam"; then pass "F5 shows the plugged webcam"; else fail "F5 does not show the webcam"; fi

dump --command 40003  # on again
wine_run "$build/portolan-usb-load.exe" --reset-stats >/dev/null
for target in "$stick" "$hub"; do
    before=$(stat cycles)
    removed=$(stat removed)
    dump --select "$target" --command 40014  # Ctrl+R
    cycle=$(stat '(cycles, last_cycle["hub"], last_cycle["port"], last_cycle["in"], last_cycle["out"])')
    port=${target:5:1}
    # Both sit on the first root hub, hub 0 of the topology.
    if [[ "$cycle" == "($((before + 1)), 0, $port, 8, 0)" ]]; then
        pass "Ctrl+R on '$target': the root hub's driver cycles port $port (8 bytes in, none out)"
    else
        fail "Ctrl+R on '$target': driver saw (cycles, hub, port, in, out) = $cycle"
    fi
    settled || true
    if (($(stat removed) > removed)); then pass "Ctrl+R on '$target': the device left"; else fail "Ctrl+R on '$target': nothing left"; fi
    if wait_for 3 "$target"; then pass "after Ctrl+R '$target' is in the tree again"; else fail "'$target' did not come back"; fi
done

# Closed with "&Beenden" alone: a full dump would walk the tree while the
# last cycle's notifications may still rebuild it.
settled || true
dump --command 40001 >/dev/null
usb_wait_exit 30 || true
usb_test_end
