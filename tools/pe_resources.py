#!/usr/bin/env python3
"""Reads a PE file's headers and resource directory.

    pe_resources.py [--json] EXE
        machine, PE32 or PE32+, subsystem and every resource: type, id or
        name, language, size and the SHA-256 of its data.
    pe_resources.py --compare [--ignore-data TYPE,...] A.exe B.exe
        exit 0 when both carry the same resources (same type/id/language set,
        identical data), 1 otherwise, 2 when a file cannot be read.

Only the Python standard library; the layout follows the PE/COFF format
(DOS stub, COFF file header, optional header, section table, .rsrc tree of
IMAGE_RESOURCE_DIRECTORY / _ENTRY / _DATA_ENTRY records).
"""

import argparse
import hashlib
import json
import struct
import sys

MACHINES = {0x014C: "i386", 0x8664: "x86-64", 0x01C4: "armnt", 0xAA64: "arm64"}
MAGICS = {0x10B: "PE32", 0x20B: "PE32+"}
SUBSYSTEMS = {1: "native", 2: "gui", 3: "console", 9: "wince-gui", 10: "efi-application"}
RESOURCE_TYPES = {
    1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING",
    7: "FONTDIR", 8: "FONT", 9: "ACCELERATOR", 10: "RCDATA", 11: "MESSAGETABLE",
    12: "GROUP_CURSOR", 14: "GROUP_ICON", 16: "VERSION", 17: "DLGINCLUDE",
    19: "PLUGPLAY", 20: "VXD", 21: "ANICURSOR", 22: "ANIICON", 23: "HTML", 24: "MANIFEST",
}
TYPE_BY_NAME = {name: number for number, name in RESOURCE_TYPES.items()}
RESOURCE_DIRECTORY_INDEX = 2
MAX_DEPTH = 3  # type, name, language


class PeError(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PeError("no MZ header")
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        coff = pe_offset + 4
        self.machine, sections, _, _, _, optional_size, _ = self._unpack("<HHIIIHH", coff)
        optional = coff + 20
        (self.magic,) = self._unpack("<H", optional)
        if self.magic not in MAGICS:
            raise PeError("unknown optional header magic 0x%x" % self.magic)
        (self.subsystem,) = self._unpack("<H", optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        (directory_count,) = self._unpack("<I", directories - 4)
        self.resource_rva, self.resource_size = 0, 0
        if directory_count > RESOURCE_DIRECTORY_INDEX:
            self.resource_rva, self.resource_size = self._unpack("<II", directories + 8 * RESOURCE_DIRECTORY_INDEX)
        self.sections = []
        table = optional + optional_size
        for index in range(sections):
            name, virtual_size, virtual_address, raw_size, raw_pointer = self._unpack("<8sIIII", table + 40 * index)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), virtual_address,
                                  max(virtual_size, raw_size), raw_size, raw_pointer))

    def _unpack(self, layout, offset):
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            raise PeError("truncated at offset 0x%x" % offset)
        return struct.unpack_from(layout, self.data, offset)

    def offset_of(self, rva, size=1):
        for _, address, virtual_size, raw_size, raw_pointer in self.sections:
            if address <= rva and rva + size <= address + virtual_size:
                if rva + size > address + raw_size:
                    raise PeError("RVA 0x%x lies past the section's file data" % rva)
                return raw_pointer + (rva - address)
        raise PeError("RVA 0x%x is in no section" % rva)

    def resources(self):
        """Every resource leaf as a dict: type, name, language, size, sha256."""
        if not self.resource_rva:
            return []
        base = self.offset_of(self.resource_rva, 16)
        found = []
        self._walk(base, 0, 0, [], found, set())
        found.sort(key=lambda r: (_sort_key(r["type"]), _sort_key(r["name"]), r["language"]))
        return found

    def _entry_key(self, base, value):
        if value & 0x80000000:
            offset = base + (value & 0x7FFFFFFF)
            (length,) = self._unpack("<H", offset)
            raw = self.data[offset + 2:offset + 2 + 2 * length]
            return raw.decode("utf-16-le", "replace")
        return value & 0xFFFF

    def _walk(self, base, directory, depth, path, found, seen):
        if directory in seen:
            raise PeError("resource directory loops")
        seen.add(directory)
        _, _, _, _, named, numbered = self._unpack("<IIHHHH", base + directory)
        for index in range(named + numbered):
            name_value, target = self._unpack("<II", base + directory + 16 + 8 * index)
            key = self._entry_key(base, name_value)
            if target & 0x80000000:
                if depth + 1 >= MAX_DEPTH:
                    raise PeError("resource tree deeper than type/name/language")
                self._walk(base, target & 0x7FFFFFFF, depth + 1, path + [key], found, seen)
                continue
            if depth != MAX_DEPTH - 1:
                raise PeError("resource data entry above the language level")
            data_rva, size, code_page, _ = self._unpack("<IIII", base + target)
            start = self.offset_of(data_rva, max(size, 1))
            payload = self.data[start:start + size]
            found.append({
                "type": _type_label(path[0]),
                "name": path[1],
                "language": key,
                "size": size,
                "code_page": code_page,
                "sha256": hashlib.sha256(payload).hexdigest(),
            })


def _type_label(key):
    if isinstance(key, int):
        return RESOURCE_TYPES.get(key, key)
    return key


def _sort_key(value):
    return (0, value, "") if isinstance(value, int) else (1, 0, value)


def read(path):
    """Headers and resources of the PE file at path, as a dict."""
    try:
        with open(path, "rb") as stream:
            data = stream.read()
    except OSError as error:
        raise PeError(str(error)) from error
    pe = PeFile(data)
    return {
        "file": path,
        "machine": MACHINES.get(pe.machine, "0x%04x" % pe.machine),
        "format": MAGICS[pe.magic],
        "subsystem": SUBSYSTEMS.get(pe.subsystem, str(pe.subsystem)),
        "resources": pe.resources(),
    }


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
