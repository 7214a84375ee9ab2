#!/usr/bin/env bash
# A long run of a shipped Portolan.exe (64- or 32-bit build) on the simulated
# USB stack in Wine's kernel (samples/office-pc.json), auto-refresh on: 1,000
# refreshes by F5, then 100 unplugs and plugs of the webcam. Handles and
# private bytes must end near where the first refresh left them, USER and
# GDI objects exactly there (Wine counts none), the tree as portolan-report
# shows it.
#
#   tests/windows/wine_usb/soak_test.sh [build/win64|build/win32] [REFRESHES] [REPLUGS]
set -euo pipefail
cd "$(dirname "$0")/../../.."
source tests/windows/wine_usb/common.sh "${1:-build/win64}" wine-usb-soak
refreshes=${2:-1000}
replugs=${3:-100}
topology=samples/office-pc.json
report=build/native/portolan-report
# A handle or two may be open while Wine delivers a notification; the heap
# may keep a few pages more after thousands of allocations of varying size.
handle_tolerance=2
private_tolerance=$((256 * 1024))

resources() { dump --resources; }
# The requests the driver has seen since its counts were reset.
requests() { usb_stats | python3 -c 'import json, sys; print(sum(json.load(sys.stdin)["ioctl"].values()))'; }
# The requests of one refresh, as portolan-report counts them.
per_refresh=$("$report" --stats "$topology" | grep -oE 'ioctl 0x[0-9A-Fa-f]+: [0-9]+' | awk '{s += $3} END {print s}')

usb_load "$topology"
usb_start "$exe"
dump --wait
dump --press-f5 1 >/dev/null
first=$(resources)
wine_run "$build/portolan-usb-load.exe" --reset-stats >/dev/null
started=$(date +%s)
dump --press-f5 $((refreshes - 1)) >/dev/null
after_refreshes=$(resources)
refresh_seconds=$(($(date +%s) - started))
# Every F5 was one refresh: the driver saw the requests of that many.
seen=$(requests)
check "$((refreshes - 1)) F5 presses after the first: as many refreshes reached the driver ($seen requests, $per_refresh a refresh)" \
    test "$seen" -eq $((per_refresh * (refreshes - 1)))

wine_run "$build/portolan-usb-load.exe" --reset-stats >/dev/null
started=$(date +%s)
wine_run "$build/portolan-usb-load.exe" --replug "$topology" 0/3 "$replugs"
# Wine delivers the notifications after the devices have come and gone: the
# refreshes they start go on until no request has come for 3 seconds.
before=-1
now=$(requests)
while [[ "$now" != "$before" ]] && (($(date +%s) - started < 600)); do
    before=$now
    sleep 3
    now=$(requests)
done
dump --press-f5 0 >/dev/null
after_events=$(resources)
event_seconds=$(($(date +%s) - started))
event_refreshes=$((now / per_refresh))

echo "resources after the first refresh:      $first"
echo "after $refreshes refreshes ($refresh_seconds s):   $after_refreshes"
echo "after $((2 * replugs)) arrivals and removals ($event_seconds s, about $event_refreshes refreshes): $after_events"
for stage in "$after_refreshes" "$after_events"; do
    check "handles within $handle_tolerance, private bytes within $((private_tolerance / 1024)) KiB of the first refresh's" \
        python3 -c 'import json, sys
first, now = json.loads(sys.argv[1]), json.loads(sys.argv[2])
sys.exit(first["handles"] == 0 or first["private_bytes"] == 0 or
         abs(now["handles"] - first["handles"]) > int(sys.argv[3]) or
         abs(now["private_bytes"] - first["private_bytes"]) > int(sys.argv[4]) or
         now["user_objects"] != first["user_objects"] or now["gdi_objects"] != first["gdi_objects"])' \
        "$first" "$stage" "$handle_tolerance" "$private_tolerance"
done

dump >"$work/dump.json"
usb_wait_exit 30 || true
"$report" --json "$topology" >"$work/report.json"
check "the tree is still what portolan-report shows" \
    python3 tests/windows/wine_usb/compare_dump.py tree "$work/dump.json" "$work/report.json"
check "exit code 1 after &Beenden (${USB_APP_EXIT:-none})" test "${USB_APP_EXIT:-}" = 1
usb_test_end
