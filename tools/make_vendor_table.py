#!/usr/bin/env python3
"""Writes assess/vendor_name_table.cpp, the built-in table of USB vendor names.

The vendor IDs come from tools/vendor_ids.txt (table order). Each name is
taken from usb.ids; an ID that usb.ids does not list takes its name from
tools/usb_if_vendor_names.txt, the names the USB Implementers Forum's list
of vendor IDs gives them (npm package usb-vendor-ids). A few names are
fixed here.

Every name is cleaned to the table's character set: letters outside ASCII
are transliterated, other punctuation mapped or dropped, blanks tidied. A
name longer than 49 characters first loses trailing remarks in brackets,
then is cut at the last blank within 49 characters; punctuation and unclosed
brackets left at its end are dropped.

    python3 tools/make_vendor_table.py [--usb-ids PATH] [--ids PATH] [--usb-if-names PATH] [--output PATH]
"""

import argparse
import os
import re
import sys
import unicodedata

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

MIN_LEN = 3
MAX_LEN = 49
ALLOWED = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-&()/'+")

# Names the table must carry exactly as written.
FIXED_NAMES = {
    0x03E8: "EndPoints Inc.",
    0x03EB: "Atmel Corporation",
    0x0403: "Future Technology Devices International Limited",
    0x045E: "Microsoft Corporation",
    0x046D: "Logitech Inc.",
    0x04B4: "Cypress Semiconductor",
    0x05AC: "Apple Computer",
    0x065F: "Good Way Industrial Co, Ltd & GWC Technology Inc.",
    0x0781: "SanDisk Corporation",
    0x0951: "Kingston Technology Company",
    0x0C39: "IFR",
    0x8086: "Intel Corporation",
}

# Letters whose decomposition would lose a sound, or that do not decompose.
TRANSLITERATION = {
    "ä": "ae", "ö": "oe", "ü": "ue", "Ä": "Ae", "Ö": "Oe", "Ü": "Ue", "ß": "ss",
    "æ": "ae", "Æ": "Ae", "œ": "oe", "Œ": "Oe", "ø": "o", "Ø": "O", "å": "a", "Å": "A",
    "ł": "l", "Ł": "L", "đ": "d", "Đ": "D", "ð": "d", "Ð": "D", "þ": "th", "Þ": "Th",
    "ı": "i", "’": "'", "‘": "'", "´": "'", "`": "'", "“": "", "”": "", "„": "",
    "–": "-", "—": "-", "‐": "-", "‑": "-", "\u00a0": " ", "®": "", "™": "", "©": "",
}

# ASCII characters outside the table's set and what they become.
PUNCTUATION = {
    ":": ",", ";": ",", "[": "(", "]": ")", "{": "(", "}": ")", "<": "(", ">": ")",
    "_": " ", "\t": " ", "|": "/", "\\": "/", "~": "-", "=": "-",
    "*": "", "!": "", '"': "", "?": "", "#": "", "@": "", "$": "", "%": "", "^": "",
}

VENDOR_LINE = re.compile(r"^([0-9a-fA-F]{4})  (.*\S)\s*$")


def fail(message):
    sys.exit("make_vendor_table: " + message)


def read_ids(path):
    ids = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            text = line.split("#", 1)[0].strip()
            if not text:
                continue
            if not re.fullmatch(r"[0-9A-Fa-f]{4}", text):
                fail(f"{path}:{number}: not a 4-digit hex vendor ID: {text!r}")
            ids.append(int(text, 16))
    return ids


def read_usb_ids(path):
    """Vendor lines of usb.ids up to the first section that is not vendors."""
    names = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("# List of known device classes") or line.startswith("C "):
                break
            match = VENDOR_LINE.match(line)
            if match:
                names.setdefault(int(match.group(1), 16), match.group(2))
    return names


def read_usb_if_names(path):
    names = {}
    source = "unknown"
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            match = re.match(r"^# (usb-vendor-ids \S+) gives them", line)
            if match:
                source = match.group(1)
            if not line or line.startswith("#"):
                continue
            match = re.fullmatch(r"([0-9A-F]{4})  (.*?\S)(  # obsolete list)?", line)
            if not match:
                fail(f"{path}:{number}: not an 'ID  name' line: {line!r}")
            names[int(match.group(1), 16)] = match.group(2)
    return names, source


def usb_ids_version(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            match = re.match(r"^#\s*Version:\s*(\S+)", line)
            if match:
                return match.group(1)
            if line.strip() and not line.startswith("#"):
                break
    return "unknown"


def to_ascii(text):
    out = []
    for ch in text:
        if ch in TRANSLITERATION:
            out.append(TRANSLITERATION[ch])
        elif ord(ch) < 128:
            out.append(ch)
        else:
            base = "".join(c for c in unicodedata.normalize("NFKD", ch) if ord(c) < 128)
            out.append(base)
    return "".join(out)


def tidy(text):
    text = re.sub(r"\s+", " ", text)
    text = re.sub(r"\(\s*\)", "", text)
    text = re.sub(r"\(\s+", "(", text)
    text = re.sub(r"\s+\)", ")", text)
    text = re.sub(r"\s+([.,])", r"\1", text)
    text = re.sub(r",(?:\s*,)+", ",", text)
    text = re.sub(r"\s+", " ", text).strip()
    return text


def strip_dangling(text):
    """Drops punctuation and unclosed brackets left at the end of a cut name."""
    while True:
        before = text
        text = text.rstrip(" ,-&/+(")
        if text.count("(") > text.count(")"):
            text = text[: text.rfind("(")]
        if text == before:
            return text


def shorten(text):
    # Trailing remarks in brackets go first, as in "(formerly ...)".
    while len(text) > MAX_LEN:
        match = re.search(r"\s*\([^()]*\)\s*$", text)
        if not match or len(strip_dangling(text[: match.start()])) < MIN_LEN:
            break
        text = strip_dangling(text[: match.start()])
    if len(text) > MAX_LEN:
        cut = text[: MAX_LEN + 1]
        space = cut.rfind(" ")
        text = strip_dangling(cut[:space] if space > 0 else text[:MAX_LEN])
    return text


def clean(raw):
    text = to_ascii(raw)
    text = re.sub(r"\s*\[hex\]\s*$", "", text)  # usb.ids annotation, not part of the name
    text = "".join(PUNCTUATION.get(ch, ch) for ch in text)
    text = "".join(ch for ch in text if ch in ALLOWED)
    text = tidy(text)
    return strip_dangling(shorten(text)) if len(text) > MAX_LEN else text


def build_table(ids, usb_names, usb_if_names):
    table = []
    for vid in ids:
        if vid in FIXED_NAMES:
            name = FIXED_NAMES[vid]
        elif vid in usb_names:
            name = clean(usb_names[vid])
        elif vid in usb_if_names:
            name = clean(usb_if_names[vid])
        else:
            fail(f"{vid:04X} has no name: neither usb.ids nor the USB-IF list holds it")
        table.append((vid, name))
    return table


def check_table(table):
    """The names; the IDs' order, count and range tests/assess/vendor_names_test checks."""
    for vid, name in table:
        if not MIN_LEN <= len(name) <= MAX_LEN:
            fail(f"{vid:04X}: name {name!r} has {len(name)} characters, want {MIN_LEN}..{MAX_LEN}")
        bad = sorted(set(ch for ch in name if ch not in ALLOWED))
        if bad:
            fail(f"{vid:04X}: name {name!r} has characters outside the set: {bad!r}")
        if name != name.strip() or "  " in name:
            fail(f"{vid:04X}: name {name!r} has stray blanks")
    for vid, name in FIXED_NAMES.items():
        if dict(table).get(vid) != name:
            fail(f"{vid:04X} must be named {name!r}")


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def render(table, version, usb_if_source):
    lines = [
        "// Generated by tools/make_vendor_table.py from usb.ids version " + version + ".",
        "// Names that usb.ids lacks come from the USB-IF list (" + usb_if_source + ").",
        "// Do not edit: change the script or tools/vendor_ids.txt and run it again.",
        "#include \"assess/vendor_names.h\"",
        "",
        "const VendorNameEntry VendorNameTable[] = {",
    ]
    for vid, name in table:
        lines.append(f"    {{0x{vid:04X}, {c_string(name)}}},")
    lines += [
        "    {0, nullptr},",
        "};",
        "",
        "static_assert(sizeof(VendorNameTable) / sizeof(VendorNameTable[0]) == kVendorNameCount + 1);",
        "",
    ]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description="Writes the built-in USB vendor name table.")
    parser.add_argument("--usb-ids", default="/usr/share/misc/usb.ids")
    parser.add_argument("--ids", default=os.path.join(REPO, "tools", "vendor_ids.txt"))
    parser.add_argument("--output", default=os.path.join(REPO, "assess", "vendor_name_table.cpp"))
    parser.add_argument("--usb-if-names", default=os.path.join(REPO, "tools", "usb_if_vendor_names.txt"))
    args = parser.parse_args()

    ids = read_ids(args.ids)
    usb_names = read_usb_ids(args.usb_ids)
    usb_if_names, usb_if_source = read_usb_if_names(args.usb_if_names)
    table = build_table(ids, usb_names, usb_if_names)
    check_table(table)
    text = render(table, usb_ids_version(args.usb_ids), usb_if_source)
    with open(args.output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
