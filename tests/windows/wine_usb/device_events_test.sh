#!/usr/bin/env bash
# A shipped Portolan.exe (64- or 32-bit build) on the simulated USB stack in
# Wine's kernel (samples/office-pc.json): the advice window's placement,
# devices plugged and unplugged with auto-refresh on and off, and Ctrl+R on
# a device and a hub, with and without administrator rights.
#
#   tests/windows/wine_usb/device_events_test.sh [build/win64|build/win32]
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

# Whether the windows object of file $1 is as expression $2 says, of main
# and advice (their rectangles), beside (the advice window's rectangle
# beside the main window) and before (the advice rectangle of file $3).
advice_is() {
    python3 -c 'import json, sys
sys.path.insert(0, "tests/windows/wine_usb")
from compare_dump import advice_beside
def advice(name):
    w = json.load(open(name))
    return w, w["advice"] and w["advice"]["rect"]
w, rect = advice(sys.argv[1])
names = {"main": w["main"]["rect"], "advice": rect, "beside": advice_beside(w),
         "before": advice(sys.argv[3])[1] if len(sys.argv) > 3 else None}
sys.exit(0 if eval(sys.argv[2], {}, names) else 1)' "$@"
}

keyboard="[Port1] : USB-Verbundgerät"  # topic 101
mouse="[Port2] : USB-Eingabegerät"    # topic 101
dump --select "$keyboard" --windows >"$work/keyboard.json"
check -s "$work/keyboard.json" "advice window beside the main window" advice_is "$work/keyboard.json" 'advice == beside'
dump --move 20 30 --select "$mouse" --windows >"$work/mouse.json"
check -s "$work/mouse.json" "main window moved, same topic: the advice window stays where it was" \
    advice_is "$work/mouse.json" 'main[:2] == [20, 30] and advice == before' "$work/keyboard.json"
dump --select "$stick" --windows >"$work/stick.json"
check -s "$work/stick.json" "another topic: the advice window beside the moved main window" \
    advice_is "$work/stick.json" 'main[:2] == [20, 30] and advice == beside'
dump --command 40013 --windows >"$work/closed.json"
check -s "$work/closed.json" "a second 40013 closes the advice window" advice_is "$work/closed.json" 'advice is None'
dump --command 40013 >/dev/null

# Start-up has switched auto-refresh on (command 40003).
check "the unplugged webcam is not in the tree" ! shows 3 "$webcam"
control --plug "$topology" 0/3
check "auto-refresh: the plugged webcam appears" wait_for 3 "$webcam"
control --unplug "$topology" 0/3
check "auto-refresh: the unplugged webcam vanishes" wait_for ! 3 "$webcam"

dump --command 40003  # off
control --plug "$topology" 0/3
settled
sleep 2  # the notification would have been handled by now
check "auto-refresh off: the tree stays as it was" ! shows 3 "$webcam"
dump --command 40002  # F5
check "F5 shows the plugged webcam" shows 3 "$webcam"

dump --command 40003  # on again
wine_run "$build/portolan-usb-load.exe" --reset-stats >/dev/null
for target in "$stick" "$hub"; do
    before=$(stat cycles)
    removed=$(stat removed)
    dump --select "$target" --command 40014  # Ctrl+R
    cycle=$(stat '(cycles, last_cycle["hub"], last_cycle["port"], last_cycle["in"], last_cycle["out"])')
    port=${target:5:1}
    # Both sit on the first root hub, hub 0 of the topology.
    check "Ctrl+R on '$target': the root hub's driver cycles port $port, 8 bytes in, none out ($cycle)" \
        test "$cycle" == "($((before + 1)), 0, $port, 8, 0)"
    settled || true
    check "Ctrl+R on '$target': the device left" test "$(stat removed)" -gt "$removed"
    check "after Ctrl+R '$target' is in the tree again" wait_for 3 "$target"
done

# Closed with "&Beenden" alone: a full dump would walk the tree while the
# last cycle's notifications may still rebuild it.
settled || true
dump --command 40001 >/dev/null
usb_wait_exit 30 || true

# Without administrator rights the hub driver refuses the cycle: the request
# reaches it, nothing leaves, the tree stays.
python3 -c 'import json, sys
pc = json.load(open(sys.argv[1], encoding="utf-8"))
pc["caller_elevated"] = False
json.dump(pc, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)' "$topology" "$work/not-elevated.json"
usb_load "$work/not-elevated.json"
usb_start "$exe"
dump --wait
dump --keep-open >"$work/before.json"
cycle_counts='"%d %d %d" % (ioctl.get("0x220444", 0), cycles, removed)'
read -r requests cycles removed < <(stat "$cycle_counts")
dump --select "$stick" --command 40014 >/dev/null
sleep 2  # a removal would have been seen by now
dump --keep-open >"$work/after.json"
check "Ctrl+R without administrator rights: refused by the hub driver (requests, cycles, removed: $(stat "$cycle_counts"))" \
    test "$(stat "$cycle_counts")" == "$((requests + 1)) $cycles $removed"
check "Ctrl+R without administrator rights: the tree stays" cmp -s "$work/before.json" "$work/after.json"
dump --command 40001 >/dev/null
usb_wait_exit 30 || true
usb_test_end
