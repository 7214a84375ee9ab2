#!/usr/bin/env bash
# The shipped PortolanBericht.exe (64- or 32-bit build) on the simulated USB
# stack in Wine's kernel: the file it writes for every topology against
# portolan-report, its code in-process (portolan-report-check.exe), targets
# it cannot write, the run without a path, and the scripts that run it.
#
#   tests/windows/wine_usb/report_test.sh [build/win64|build/win32]
set -euo pipefail
cd "$(dirname "$0")/../../.."
source tests/windows/wine_usb/common.sh "${1:-build/win64}" wine-usb-report
report=build/native/portolan-report
[[ -x "$report" ]] || { echo "wine-usb-report: $report is missing" >&2; exit 1; }
# From dist/Portolan the 32-bit build hands the scan to the 64-bit one.
program_bits=64
scratch="$WINE_ENV_PREFIX_ROOT/scratch"
mkdir -p "$scratch"

for topology in samples/*.json tests/windows/wine_usb/topologies/*.json; do
    name=$(basename "$topology" .json)
    usb_load "$topology"
    file="$scratch/$name.txt"
    usb_report "$bits" "$(usb_windows_path "$file")"
    "$report" --show-unused-ports --show-unused-controllers "$topology" >"$work/$name-native.txt"
    if [[ "${USB_APP_EXIT:-}" == 0 ]] && python3 - "$file" "$work/$name-native.txt" "$program_bits" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
native = open(sys.argv[2], "rb").read().decode("utf-8")
problems = []
if not data.startswith(b"\xEF\xBB\xBF"):
    problems.append("no byte-order mark")
if b"\n" in data.replace(b"\r\n", b"") or b"\r" in data.replace(b"\r\n", b""):
    problems.append("a line end other than CRLF")
text = data[3:].decode("utf-8").replace("\r\n", "\n")
header, _, body = text.partition("\n\n")
patterns = [r"Portolan-Bericht", r"Erstellt: \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d",
            r"Portolan-Version: \d+\.\d+\.\d+", r"Windows: Windows .+, (32|64) Bit",
            r"Berichtsprogramm: " + sys.argv[3] + " Bit"]
lines = header.split("\n")
if len(lines) != len(patterns) or not all(re.fullmatch(p, l) for p, l in zip(patterns, lines)):
    problems.append("header " + repr(lines))
if body != native:
    problems.append("body differs from portolan-report")
for problem in problems:
    print("   " + problem)
sys.exit(1 if problems else 0)
PY
    then
        pass "$name: the report's header is well-formed and its body is portolan-report's"
    else
        fail "$name: the report (exit code ${USB_APP_EXIT:-none})"
    fi
done

# The program's code in-process, on the last topology loaded.
mkdir -p "$scratch/check"
wine_run "$build/portolan-report-check.exe" "$(usb_windows_path "$scratch/check")" | tr -d '\r' >"$work/check.txt" || true
sed 's/^/   /' "$work/check.txt"
check "report program in-process" grep -q '^report program: [1-9][0-9]* passed, 0 failed$' "$work/check.txt"

# Targets it cannot write: the message box names path and reason; no file.
usb_load samples/office-pc.json
readonly_file="$scratch/schreibgeschuetzt.txt"
echo "alt" >"$readonly_file"
chmod 444 "$readonly_file"
for target in "$scratch/fehlt/Portolan-Bericht.txt" "$readonly_file"; do
    before=$(cat "$target" 2>/dev/null || echo none)
    windows_path=$(usb_windows_path "$target")
    usb_report --box "$bits" "$windows_path"
    printf '%s' "$USB_REPORT_BOX" >"$work/box.json"
    if [[ "${USB_APP_EXIT:-}" == 1 && -s "$work/box.json" && "$(cat "$target" 2>/dev/null || echo none)" == "$before" ]] &&
        ! ls "$(dirname "$target")" 2>/dev/null | grep -q '\.tmp$' &&
        python3 -c 'import json, sys
box = json.load(open(sys.argv[1], encoding="utf-8"))
text = box["text"]
sys.exit(not (text.startswith("Der Bericht konnte nicht gespeichert werden.") and
              ("Datei: " + sys.argv[2]) in text and text.partition("\nGrund: ")[2].strip()))' "$work/box.json" "$windows_path"; then
        pass "$(basename "$(dirname "$target")")/$(basename "$target"): $(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["text"].splitlines()[-1])' "$work/box.json"), exit code 1, nothing written"
    else
        fail "unwritable $target: exit code ${USB_APP_EXIT:-none}, box $(cat "$work/box.json" 2>/dev/null)"
    fi
done

# Without a path: the user's Documents folder, and the editor opens it.
# Wine links Documents to the home folder: a folder of the prefix instead.
for documents in "$WINEPREFIX"/drive_c/users/*/Documents; do
    [[ -L "$documents" ]] && rm "$documents" && mkdir "$documents"
done
usb_report "$bits"
written=$(find "$WINEPREFIX/drive_c/users" -path '*/Documents/Portolan-Bericht.txt' | head -n 1)
written_with_bom() { [[ "${USB_APP_EXIT:-}" == 0 && -n "$written" ]] && head -c 3 "$written" | grep -q $'\xEF\xBB\xBF'; }
check "without a path: exit code ${USB_APP_EXIT:-none}, Documents\\Portolan-Bericht.txt written" written_with_bom
editor_started() {
    for _ in $(seq 1 50); do
        pgrep -f -i 'notepad' >/dev/null && return 0
        sleep 0.2
    done
    return 1
}
check "without a path: the file opens in the editor" editor_started

# The scripts take a topology file relative to the folder they are called
# from: wine-usb.sh report prints the report's text, run.sh --report the
# native one.
repo=$(pwd)
mkdir -p "$work/elsewhere/deeper"
cp samples/office-pc.json "$work/elsewhere/my pc.json"
"$report" --show-unused-ports --show-unused-controllers samples/office-pc.json >"$work/office-native.txt"
if (cd "$work/elsewhere/deeper" && bash "$repo/scripts/wine-usb.sh" report "../my pc.json") >"$work/relative.txt" \
    2>"$work/relative.err" && diff <(tail -n +7 "$work/relative.txt") "$work/office-native.txt" >/dev/null; then
    pass "wine-usb.sh report ../my pc.json from another folder"
else
    tail -n 5 "$work/relative.err" | sed 's/^/   /'
    fail "wine-usb.sh report ../my pc.json from another folder"
fi
check "run.sh --report ../my pc.json from another folder" diff "$work/office-native.txt" <(cd "$work/elsewhere/deeper" &&
    bash "$repo/scripts/run.sh" --report --show-unused-ports --show-unused-controllers "../my pc.json" 2>/dev/null)

usb_test_end
