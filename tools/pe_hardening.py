#!/usr/bin/python3
"""Checks that Windows executables are built for ASLR and DEP, and that
release exes are stripped and stack-protected.

    pe_hardening.py EXE...
    pe_hardening.py --release EXE...

Each exe must have relocations (a non-empty base relocation table),
DYNAMIC_BASE and NX_COMPAT, HIGH_ENTROPY_VA when it is PE32+, and no section
that is both writable and executable.

With --release, each exe must also be stripped (no .debug sections, no COFF
symbols, a string table with section names at most) and must have a copy with symbols beside it, NAME.symbols.exe,
whose code is byte for byte the exe's code. From that copy's symbols the
check finds the stack protector's __stack_chk_fail and __stack_chk_guard and
counts the calls to __stack_chk_fail in the exe's code, which must include
calls from the scan's functions that hold fixed buffers; the fortified
functions (__memcpy_chk and the like) that the code calls are listed.

Prints one line per check; exits 1 when one fails.
"""
import os
import struct
import subprocess
import sys

import pefile

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
HIGH_ENTROPY_VA = 0x0020
RELOCS_STRIPPED = 0x0001
SECTION_EXECUTE = 0x20000000
SECTION_WRITE = 0x80000000

# Fewer calls than this and the flag did not reach the application's code:
# the runtime's own objects alone hold a handful.
MIN_STACK_CHECK_CALLS = 20

# Functions of the scan, the registry lookups and the panel that keep fixed
# buffers on the stack; each must check its canary.
MUST_BE_PROTECTED = ("ScanHubPorts", "FetchConfigDescriptor", "FetchStringDescriptor",
                     "FindPnpInstanceId", "ReadDriverDesc", "ShowNodeProperties")


class Image:
    """The parts of a PE file the checks read, through pefile; its symbols
    through binutils' nm."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = data = f.read()
        pe = pefile.PE(data=data)
        self.path = path
        self.image_base = pe.OPTIONAL_HEADER.ImageBase
        self.symbol_table = pe.FILE_HEADER.PointerToSymbolTable
        self.symbol_count = pe.FILE_HEADER.NumberOfSymbols
        self.characteristics = pe.FILE_HEADER.Characteristics
        self.plus = pe.OPTIONAL_HEADER.Magic == 0x20B
        self.dll_characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
        reloc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.reloc_rva, self.reloc_size = reloc.VirtualAddress, reloc.Size
        strings = self.string_table()
        self.sections = []
        for section in pe.sections:
            name = section.Name.rstrip(b"\0")
            # "/N": a long name at offset N of the COFF string table.
            if name.startswith(b"/") and name[1:].isdigit() and int(name[1:]) < len(strings):
                name = strings[int(name[1:]):].split(b"\0", 1)[0]
            size = min(section.SizeOfRawData, section.Misc_VirtualSize or section.SizeOfRawData)
            self.sections.append({
                "name": name.decode("ascii", "replace"),
                "rva": section.VirtualAddress,
                "bytes": section.get_data()[:size],
                "flags": section.Characteristics,
            })

    def string_table(self):
        """The COFF string table after the symbols (its size word included)."""
        if not self.symbol_table:
            return b""
        start = self.symbol_table + 18 * self.symbol_count
        size = struct.unpack_from("<I", self.data, start)[0] if start + 4 <= len(self.data) else 0
        return self.data[start:start + size]

    def string_table_names(self):
        """The texts of the COFF string table; a stripped i686 exe keeps one
        for section names longer than eight characters (".eh_frame")."""
        return {t.decode("ascii", "replace") for t in self.string_table()[4:].split(b"\0") if t}

    def section(self, name):
        return next((s for s in self.sections if s["name"] == name), None)

    def symbols(self):
        """Name -> RVA of every symbol defined in a section."""
        nm = "x86_64-w64-mingw32-nm" if self.plus else "i686-w64-mingw32-nm"
        listing = subprocess.run([nm, "--defined-only", self.path], capture_output=True, text=True).stdout
        found = {}
        for line in listing.splitlines():
            words = line.split()
            if len(words) == 3 and words[1].upper() in "TDBR" and int(words[0], 16) >= self.image_base:
                found.setdefault(words[2], int(words[0], 16) - self.image_base)
        return found


def direct_calls(text, target_rva):
    """RVAs of the `call rel32` sites in a code section that land on target_rva."""
    code, base = text["bytes"], text["rva"]
    sites = []
    start = code.find(b"\xE8")
    while 0 <= start <= len(code) - 5:
        rel = struct.unpack_from("<i", code, start + 1)[0]
        if base + start + 5 + rel == target_rva:
            sites.append(base + start)
        start = code.find(b"\xE8", start + 1)
    return sites


def enclosing_functions(symbols, text, sites):
    """Names of the symbols in the code section that hold the given sites."""
    starts = sorted((rva, name) for name, rva in symbols.items()
                    if text["rva"] <= rva < text["rva"] + len(text["bytes"]))
    names = set()
    for site in sites:
        below = [name for rva, name in starts if rva <= site]
        if below:
            names.add(below[-1])
    return names


def basic_checks(image):
    writable_code = [s["name"] for s in image.sections
                     if s["flags"] & SECTION_EXECUTE and s["flags"] & SECTION_WRITE]
    checks = [
        ("relocations kept for ASLR",
         not image.characteristics & RELOCS_STRIPPED and image.reloc_rva != 0 and image.reloc_size > 0),
        ("DYNAMIC_BASE (ASLR)", bool(image.dll_characteristics & DYNAMIC_BASE)),
        ("NX_COMPAT (DEP)", bool(image.dll_characteristics & NX_COMPAT)),
        ("no writable and executable section" +
         (f" ({', '.join(writable_code)})" if writable_code else ""), not writable_code),
    ]
    if image.plus:
        checks.append(("HIGH_ENTROPY_VA (64-bit ASLR)", bool(image.dll_characteristics & HIGH_ENTROPY_VA)))
    return checks


def symbols_copy(path):
    stem, ext = os.path.splitext(path)
    return f"{stem}.symbols{ext}"


def release_checks(path, image):
    section_names = {s["name"] for s in image.sections}
    debug = [s["name"] for s in image.sections if s["name"].startswith(".debug") or s["name"].startswith("/")]
    checks = [
        ("no debug sections" + (f" ({', '.join(debug)})" if debug else ""), not debug),
        ("no COFF symbols", image.symbol_count == 0 and image.string_table_names() <= section_names),
    ]
    notes = []
    copy_path = symbols_copy(path)
    try:
        copy = Image(copy_path)
    except (OSError, ValueError, struct.error, pefile.PEFormatError) as error:
        checks.append((f"symbols copy {copy_path}: {error}", False))
        return checks, notes
    text, copy_text = image.section(".text"), copy.section(".text")
    checks.append(("same code as " + os.path.basename(copy_path),
                   text is not None and copy_text is not None and text["bytes"] == copy_text["bytes"]
                   and text["rva"] == copy_text["rva"]))
    symbols = copy.symbols()
    # i686 symbols carry the C prefix "_".
    prefix = "" if image.plus else "_"
    fail_rva = symbols.get(prefix + "__stack_chk_fail")
    checks.append(("stack protector guard linked", prefix + "__stack_chk_guard" in symbols))
    sites = direct_calls(text, fail_rva) if fail_rva is not None and text is not None else []
    checks.append((f"stack protection: {len(sites)} calls to __stack_chk_fail (at least {MIN_STACK_CHECK_CALLS})",
                   len(sites) >= MIN_STACK_CHECK_CALLS))
    protected = enclosing_functions(symbols, text, sites) if sites else set()
    unprotected = [name for name in MUST_BE_PROTECTED if not any(name in symbol for symbol in protected)]
    checks.append(("stack protection in the functions that copy device and registry data into fixed buffers" +
                   (f" (missing: {', '.join(unprotected)})" if unprotected else ""), not unprotected))
    fortified = sorted(name[len(prefix):] for name in symbols
                       if name.startswith(prefix + "__") and name.endswith("_chk")
                       and name[len(prefix):] not in ("__stack_chk_fail", "__stack_chk_guard"))
    used = [name for name in fortified if text is not None and direct_calls(text, symbols[prefix + name])]
    notes.append("fortified functions called: " + (", ".join(used) if used else "none"))
    return checks, notes


def main(argv):
    args = argv[1:]
    release = bool(args) and args[0] == "--release"
    if release:
        args = args[1:]
    if not args:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failed = False
    for path in args:
        try:
            image = Image(path)
        except (OSError, ValueError, struct.error, pefile.PEFormatError) as error:
            print(f"FAIL {path}: {error}")
            failed = True
            continue
        checks, notes = basic_checks(image), []
        if release:
            more, notes = release_checks(path, image)
            checks += more
        for name, ok in checks:
            print(f"{'PASS' if ok else 'FAIL'} {path}: {name}")
            failed = failed or not ok
        for note in notes:
            print(f"     {path}: {note}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
