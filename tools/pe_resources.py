#!/usr/bin/python3
"""Reads a PE file's headers and resource directory, through Debian's
python3-pefile.

    pe_resources.py [--json] EXE
        machine, PE32 or PE32+, subsystem and every resource: type, id or
        name, language, size and the SHA-256 of its data.
    pe_resources.py --compare [--ignore-data TYPE,...] A.exe B.exe
        exit 0 when both carry the same resources (same type/id/language set,
        identical data), 1 otherwise, 2 when a file cannot be read.
"""

import argparse
import hashlib
import json
import sys

import pefile

MACHINES = {0x014C: "i386", 0x8664: "x86-64", 0x01C4: "armnt", 0xAA64: "arm64"}
MAGICS = {0x10B: "PE32", 0x20B: "PE32+"}
SUBSYSTEMS = {1: "native", 2: "gui", 3: "console", 9: "wince-gui", 10: "efi-application"}
RESOURCE_TYPES = {number: name[3:] for name, number in pefile.RESOURCE_TYPE.items() if isinstance(name, str)}


class PeError(Exception):
    pass


def _key_of(entry):
    return str(entry.name) if entry.name is not None else entry.id


def resources(pe):
    """Every resource leaf as a dict: type, name, language, size, sha256.
    pefile drops what it cannot read with a warning; here that is an error."""
    if pe.get_warnings():
        raise PeError("; ".join(pe.get_warnings()))
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root else []:
        if not hasattr(kind, "directory"):
            raise PeError("resource data entry above the language level")
        for name in kind.directory.entries:
            if not hasattr(name, "directory"):
                raise PeError("resource data entry above the language level")
            for language in name.directory.entries:
                if not hasattr(language, "data"):
                    raise PeError("resource tree deeper than type/name/language")
                data = language.data.struct
                payload = pe.get_data(data.OffsetToData, data.Size)
                if len(payload) != data.Size:
                    raise PeError("resource data lies past the end of the file")
                found.append({
                    "type": _type_label(_key_of(kind)),
                    "name": _key_of(name),
                    "language": language.id,
                    "size": data.Size,
                    "code_page": data.CodePage,
                    "sha256": hashlib.sha256(payload).hexdigest(),
                })
    found.sort(key=lambda r: (_sort_key(r["type"]), _sort_key(r["name"]), r["language"]))
    return found


def _type_label(key):
    if isinstance(key, int):
        return RESOURCE_TYPES.get(key, key)
    return key


def _sort_key(value):
    return (0, value, "") if isinstance(value, int) else (1, 0, value)


def read(path):
    """Headers and resources of the PE file at path, as a dict."""
    try:
        pe = pefile.PE(path)
        machine, magic = pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic
        if magic not in MAGICS:
            raise PeError("unknown optional header magic 0x%x" % magic)
        return {
            "file": path,
            "machine": MACHINES.get(machine, "0x%04x" % machine),
            "format": MAGICS[magic],
            "subsystem": SUBSYSTEMS.get(pe.OPTIONAL_HEADER.Subsystem, str(pe.OPTIONAL_HEADER.Subsystem)),
            "resources": resources(pe),
        }
    except (OSError, pefile.PEFormatError) as error:
        raise PeError(str(error)) from error


def _key(resource):
    return (str(resource["type"]), str(resource["name"]), resource["language"])


def compare(first, second, ignore_data=()):
    """Differences between two read() results, as lines; empty when the same."""
    ignored = {str(t) for t in ignore_data}
    left = {_key(r): r for r in first["resources"]}
    right = {_key(r): r for r in second["resources"]}
    problems = []
    for key in sorted(set(left) | set(right)):
        label = "%s %s lang 0x%04x" % key
        if key not in right:
            problems.append("%s only in %s" % (label, first["file"]))
        elif key not in left:
            problems.append("%s only in %s" % (label, second["file"]))
        elif key[0] not in ignored and left[key]["sha256"] != right[key]["sha256"]:
            problems.append("%s differs (%d bytes vs %d bytes)" % (label, left[key]["size"], right[key]["size"]))
    return problems


def _print_text(info):
    print("file:      %s" % info["file"])
    print("machine:   %s" % info["machine"])
    print("format:    %s" % info["format"])
    print("subsystem: %s" % info["subsystem"])
    print("resources: %d" % len(info["resources"]))
    for r in info["resources"]:
        print("  %-12s %-8s lang 0x%04x %8d bytes sha256 %s" % (r["type"], r["name"], r["language"], r["size"], r["sha256"]))


def main(argv):
    parser = argparse.ArgumentParser(description="PE headers and resources")
    parser.add_argument("--json", action="store_true", help="print one JSON object")
    parser.add_argument("--compare", action="store_true", help="compare the resources of two files")
    parser.add_argument("--ignore-data", default="", help="with --compare: types whose data may differ, e.g. VERSION,MANIFEST")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv)
    try:
        infos = [read(path) for path in args.files]
    except PeError as error:
        print("pe_resources: %s" % error, file=sys.stderr)
        return 2
    if args.compare:
        if len(infos) != 2:
            parser.error("--compare takes two files")
        ignored = [t.strip().upper() for t in args.ignore_data.split(",") if t.strip()]
        problems = compare(infos[0], infos[1], ignored)
        for line in problems:
            print(line)
        if not infos[0]["resources"]:
            problems.append("no resources")
            print("%s carries no resources" % infos[0]["file"])
        if not problems:
            print("same %d resources" % len(infos[0]["resources"]))
        return 1 if problems else 0
    if args.json:
        print(json.dumps(infos if len(infos) > 1 else infos[0], indent=2))
    else:
        for info in infos:
            _print_text(info)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
