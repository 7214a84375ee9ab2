#!/usr/bin/env python3
"""Checks that Windows executables are built for ASLR and DEP.

    pe_hardening.py EXE...

Each exe must have relocations (not stripped, a non-empty base relocation
table), DYNAMIC_BASE and NX_COMPAT, HIGH_ENTROPY_VA when it is PE32+, and no
section that is both writable and executable. Prints one line per check;
exits 1 when one fails.
"""
import struct
import sys

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
HIGH_ENTROPY_VA = 0x0020
RELOCS_STRIPPED = 0x0001
SECTION_EXECUTE = 0x20000000
SECTION_WRITE = 0x80000000


def inspect(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ":
        raise ValueError("not an MZ file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    _, sections, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    plus = magic == 0x20B
    dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
    directories = optional + (112 if plus else 96)
    reloc_rva, reloc_size = struct.unpack_from("<II", data, directories + 5 * 8)
    table = optional + optional_size
    writable_code = []
    for i in range(sections):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        flags = struct.unpack_from("<I", data, entry + 36)[0]
        if flags & SECTION_EXECUTE and flags & SECTION_WRITE:
            writable_code.append(name)
    return {
        "plus": plus,
        "relocations": not characteristics & RELOCS_STRIPPED and reloc_rva != 0 and reloc_size > 0,
        "dynamic_base": bool(dll_characteristics & DYNAMIC_BASE),
        "nx": bool(dll_characteristics & NX_COMPAT),
        "high_entropy": bool(dll_characteristics & HIGH_ENTROPY_VA),
        "writable_code": writable_code,
    }


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failed = False
    for path in argv[1:]:
        try:
            info = inspect(path)
        except (OSError, ValueError, struct.error) as error:
            print(f"FAIL {path}: {error}")
            failed = True
            continue
        checks = [
            ("relocations kept for ASLR", info["relocations"]),
            ("DYNAMIC_BASE (ASLR)", info["dynamic_base"]),
            ("NX_COMPAT (DEP)", info["nx"]),
            ("no writable and executable section" +
             (f" ({', '.join(info['writable_code'])})" if info["writable_code"] else ""), not info["writable_code"]),
        ]
        if info["plus"]:
            checks.append(("HIGH_ENTROPY_VA (64-bit ASLR)", info["high_entropy"]))
        for name, ok in checks:
            print(f"{'PASS' if ok else 'FAIL'} {path}: {name}")
            failed = failed or not ok
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
