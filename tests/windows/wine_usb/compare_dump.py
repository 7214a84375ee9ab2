#!/usr/bin/env python3
"""Compares what the shipped exe showed (portolan-window-dump) with
portolan-report --json for the same file, key for key: the status, and per
item its depth, label, image and every panel key the dump holds; or the
driver's counts of one refresh with portolan-report --stats; or the windows
right after start-up with where the advice window belongs (beside the main
window, with its caption) and the about box's line with the build's width.

    compare_dump.py tree DUMP.json REPORT.json
    compare_dump.py stats DRIVER_STATS.json REPORT_STATS.txt
    compare_dump.py start DUMP.json BITS
Exit code 1 with the differences on stderr."""
import json
import re
import sys


def tree(dump, report):
    differences = []
    if dump["status"] != report["status"]:
        differences.append(f"status {dump['status']!r} != {report['status']!r}")
    if len(dump["items"]) != len(report["items"]):
        differences.append(f"{len(dump['items'])} items != {len(report['items'])}")
    for number, (shown, expected) in enumerate(zip(dump["items"], report["items"])):
        for key in ("depth", "label", "image"):
            if shown[key] != expected[key]:
                differences.append(f"item {number} {key}: {shown[key]!r} != {expected[key]!r}")
        for key, value in shown["panel"].items():
            if value != expected["panel"].get(key):
                differences.append(f"item {number} ({expected['label']}) panel {key}: "
                                   f"{value!r} != {expected['panel'].get(key)!r}")
    return differences


def stats(driver, report_text):
    expected = {int(code, 16): int(count) for code, count in re.findall(r"ioctl (0x[0-9A-Fa-f]+): (\d+)", report_text)}
    opens = re.search(r"open: (\d+)", report_text)
    failures = re.search(r"open failures: (\d+)", report_text)
    seen = {int(code, 16): count for code, count in driver["ioctl"].items()}
    differences = []
    for code in sorted(set(expected) | set(seen)):
        if seen.get(code, 0) != expected.get(code, 0):
            differences.append(f"ioctl {code:#x}: driver {seen.get(code, 0)} != report {expected.get(code, 0)}")
    # A device that does not open is never reached under Wine (its link is
    # gone), so the opens that succeeded are compared.
    opened = int(opens.group(1)) - int(failures.group(1))
    if driver["opens"] - driver["open_failures"] != opened:
        differences.append(f"opens: driver {driver['opens'] - driver['open_failures']} != report {opened}")
    return differences


def advice_beside(windows):
    """The advice window's rectangle where the main window's puts it."""
    left, top, right, bottom = windows["main"]["rect"]
    return [right + 5, top, windows["cx_fullscreen"] - 100, bottom]


def start(dump, bits):
    differences = []
    if dump.get("about") != f"{bits}bit-Version":
        differences.append(f"about box line {dump.get('about')!r} != '{bits}bit-Version'")
    windows = dump["windows"]
    advice = windows["advice"]
    if advice is None:
        return differences + ["no advice window after start-up"]
    if advice["caption"] != windows["main"]["caption"]:
        differences.append(f"advice caption {advice['caption']!r} != {windows['main']['caption']!r}")
    if advice["rect"] != advice_beside(windows):
        differences.append(f"advice rectangle {advice['rect']} != {advice_beside(windows)} (main {windows['main']['rect']})")
    return differences


def main():
    kind, first, second = sys.argv[1:4]
    with open(first, encoding="utf-8") as handle:
        shown = json.load(handle)
    if kind == "start":
        differences = start(shown, int(second))
    else:
        with open(second, encoding="utf-8") as handle:
            expected = json.load(handle) if kind == "tree" else handle.read()
        differences = tree(shown, expected) if kind == "tree" else stats(shown, expected)
    for line in differences[:20]:
        print(line, file=sys.stderr)
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
