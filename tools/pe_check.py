#!/usr/bin/python3
"""Static checks of the Windows executables, read through Debian's
python3-pefile (their symbols through binutils' nm).

    pe_check.py imports [--machine i386|x86-64] EXE...
        machine and PE32/PE32+ (from the build folder: build/win32 i386,
        build/win64 x86-64), the GUI subsystem of Portolan.exe,
        PortolanBericht.exe and PortolanDemo.exe, and imports of Windows
        system DLLs only: anything else means the runtime is not linked
        statically. A kernel driver (.sys) must be a native program
        importing only ntoskrnl.exe and hal.dll.
    pe_check.py same-resources A.exe B.exe
        exit 0 when both carry the same resources (same type/id/language set,
        identical data), 1 otherwise, 2 when a file cannot be read.
    pe_check.py hardening [--release] EXE...
        relocations, DYNAMIC_BASE and NX_COMPAT, HIGH_ENTROPY_VA when PE32+,
        no section both writable and executable. With --release also
        stripped (no .debug sections, no COFF symbols, a string table with
        section names at most), with a copy with symbols beside it,
        NAME.symbols.exe, whose code is byte for byte the exe's; from that
        copy's symbols the calls to __stack_chk_fail in the exe's code are
        counted, which must include calls from the scan's functions that
        hold fixed buffers; the fortified functions called are listed.

Prints one line per check; exits 1 when one fails, 2 on a usage error.
"""
import hashlib
import os
import struct
import subprocess
import sys

import pefile

MACHINES = {0x014C: "i386", 0x8664: "x86-64"}
MAGICS = {0x10B: "PE32", 0x20B: "PE32+"}
SUBSYSTEMS = {1: "native", 2: "gui", 3: "console"}
RESOURCE_TYPES = {number: name[3:] for name, number in pefile.RESOURCE_TYPE.items() if isinstance(name, str)}
GUI_EXES = {"portolan.exe", "portolanbericht.exe", "portolandemo.exe"}
SYSTEM_DLLS = set("""kernel32 user32 gdi32 comctl32 comdlg32 advapi32 setupapi shell32 ole32 oleaut32 shlwapi
msvcrt ntdll version bcrypt ws2_32 uxtheme cfgmgr32 imm32 winmm crypt32 rpcrt4 secur32 dwmapi psapi
winspool.drv""".split())
DRIVER_DLLS = {"ntoskrnl.exe", "hal.dll"}


class PeError(Exception):
    pass


def load(path):
    try:
        return pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        raise PeError(f"{path}: {error}") from error


# ---------------------------------------------------------------------------
# Machine, subsystem, imports

def import_allowed(dll, exe):
    name = dll.lower()
    if exe.lower().endswith(".sys"):
        return name in DRIVER_DLLS
    # API sets (api-ms-win-*.dll) are resolved by the loader to system DLLs.
    return name.removesuffix(".dll") in SYSTEM_DLLS or name.startswith("api-ms-win-")


def import_checks(path, machine):
    expected = machine or ("i386" if "win32/" in path else "x86-64" if "win64/" in path else None)
    if expected is None:
        return [("cannot tell the expected machine from the path; pass --machine", False)]
    pe = load(path)
    want = "PE32" if expected == "i386" else "PE32+"
    found = (MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine)), MAGICS.get(pe.OPTIONAL_HEADER.Magic))
    checks = [(f"machine: {found[0]} {found[1]} (expected {expected} {want})", found == (expected, want))]
    subsystem = SUBSYSTEMS.get(pe.OPTIONAL_HEADER.Subsystem, str(pe.OPTIONAL_HEADER.Subsystem))
    base = os.path.basename(path).lower()
    wanted = "native" if base.endswith(".sys") else "gui" if base in GUI_EXES else None
    checks.append((f"subsystem: {subsystem}" + (f" (expected {wanted})" if wanted else ""),
                   wanted is None or subsystem == wanted))
    dlls = sorted({entry.dll.decode("ascii", "replace") for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])},
                  key=str.lower)
    if not dlls:
        checks.append(("an import table", False))
    for dll in dlls:
        allowed = import_allowed(dll, path)
        checks.append((f"import: {dll}" + ("" if allowed else
                                           " is not a Windows system DLL (for a driver: ntoskrnl.exe, hal.dll)"),
                       allowed))
    return checks


# ---------------------------------------------------------------------------
# Resources

def _key_of(entry):
    return str(entry.name) if entry.name is not None else entry.id


def resources(pe):
    """Every resource leaf as a dict: type, name, language, size, sha256.
    pefile drops what it cannot read with a warning; here that is an error."""
    if pe.get_warnings():
        raise PeError(pe.get_warnings()[0])
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root else []:
        for name in _children(kind):
            for language in _children(name):
                if not hasattr(language, "data"):
                    raise PeError("resource tree deeper than type/name/language")
                data = language.data.struct
                payload = pe.get_data(data.OffsetToData, data.Size)
                if len(payload) != data.Size:
                    raise PeError("resource data lies past the end of the file")
                found.append({"type": _type_label(_key_of(kind)), "name": _key_of(name), "language": language.id,
                              "size": data.Size, "sha256": hashlib.sha256(payload).hexdigest()})
    found.sort(key=lambda r: (_sort_key(r["type"]), _sort_key(r["name"]), r["language"]))
    return found


def _children(entry):
    if not hasattr(entry, "directory"):
        raise PeError("resource data entry above the language level")
    return entry.directory.entries


def _type_label(key):
    return RESOURCE_TYPES.get(key, key) if isinstance(key, int) else key


def _sort_key(value):
    return (0, value, "") if isinstance(value, int) else (1, 0, value)


def read(path):
    """The resources of the PE file at path, as a dict."""
    return {"file": path, "resources": resources(load(path))}


def _key(resource):
    return (str(resource["type"]), str(resource["name"]), resource["language"])


def compare(first, second):
    """Differences between two read() results, as lines; empty when the same."""
    left = {_key(r): r for r in first["resources"]}
    right = {_key(r): r for r in second["resources"]}
    problems = []
    for key in sorted(set(left) | set(right)):
        label = "%s %s lang 0x%04x" % key
        if key not in right:
            problems.append("%s only in %s" % (label, first["file"]))
        elif key not in left:
            problems.append("%s only in %s" % (label, second["file"]))
        elif left[key]["sha256"] != right[key]["sha256"]:
            problems.append("%s differs (%d bytes vs %d bytes)" % (label, left[key]["size"], right[key]["size"]))
    return problems


# ---------------------------------------------------------------------------
# Hardening

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


# ---------------------------------------------------------------------------

def print_checks(path, checks):
    for name, ok in checks:
        print(f"{'PASS' if ok else 'FAIL'} {path}: {name}")
    return all(ok for _, ok in checks)


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    try:
        if command == "imports" and args:
            machine = None
            if args[0] == "--machine" and len(args) > 2:
                machine, args = args[1], args[2:]
            return 0 if all([print_checks(path, import_checks(path, machine)) for path in args]) else 1
        if command == "same-resources" and len(args) == 2:
            first, second = read(args[0]), read(args[1])
            problems = compare(first, second) + ([f"{args[0]} carries no resources"] if not first["resources"] else [])
            print("\n".join(problems) or f"same {len(first['resources'])} resources")
            return 1 if problems else 0
        if command == "hardening" and args:
            release = args[0] == "--release"
            ok = True
            for path in args[1:] if release else args:
                try:
                    image = Image(path)
                except (OSError, ValueError, struct.error, pefile.PEFormatError) as error:
                    ok = print_checks(path, [(str(error), False)]) and ok
                    continue
                checks, notes = basic_checks(image), []
                if release:
                    more, notes = release_checks(path, image)
                    checks += more
                ok = print_checks(path, checks) and ok
                for note in notes:
                    print(f"     {path}: {note}")
            return 0 if ok else 1
    except PeError as error:
        print(f"pe_check: {error}", file=sys.stderr)
        return 2
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
