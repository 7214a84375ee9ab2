#!/usr/bin/env python3
"""Which functions of usb/, tree/ and assess/ the fuzz corpus reached.

    fuzz_coverage.py COVERAGE.json REQUIRED.txt

COVERAGE.json is `llvm-cov export -format=text` of the fuzz targets built
with source-based coverage and run over the corpus. Prints one line per
function of those folders, "reached N" (N: times entered) or "NOT reached",
and exits 1 when a function named in REQUIRED.txt (one name per line, as
demangled up to its parameter list: "ScanHub", "Cp1252CodePage::FromWide";
# starts a comment) was not reached or does not exist.
"""
import json
import os
import subprocess
import sys

FOLDERS = ("usb", "tree", "assess")
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def demangle(names):
    if not names:
        return []
    result = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True, check=True)
    return result.stdout.splitlines()


def short_name(demangled):
    """"(anonymous namespace)::Foo(int)" -> "Foo"; "A::B(int) const" -> "A::B"."""
    name = demangled.split("(anonymous namespace)::")[-1]
    depth = 0
    for i, c in enumerate(name):
        if c == "<":
            depth += 1
        elif c == ">":
            depth -= 1
        elif c == "(" and depth == 0:
            return name[:i]
    return name


def project_functions(export):
    """(folder-relative file, short name) -> times entered, over every target."""
    mangled, files, counts = [], [], []
    for data in export["data"]:
        for function in data["functions"]:
            path = os.path.relpath(os.path.realpath(function["filenames"][0]), REPO)
            if path.split(os.sep)[0] not in FOLDERS:
                continue
            name = function["name"]
            # Static functions carry their file: "topology_scan.cpp:_ZN...".
            if ":" in name:
                name = name.split(":", 1)[1]
            mangled.append(name)
            files.append(path)
            counts.append(function["count"])
    reached = {}
    for path, name, count in zip(files, demangle(mangled), counts):
        key = (path, short_name(name))
        reached[key] = reached.get(key, 0) + count
    return reached


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(argv[1]) as f:
        reached = project_functions(json.load(f))
    with open(argv[2]) as f:
        required = [line.split("#", 1)[0].strip() for line in f]
    required = [name for name in required if name]

    for (path, name), count in sorted(reached.items()):
        print(f"{'reached ' + str(count) if count else 'NOT reached':>16}  {path}: {name}")
    counts_by_name = {}
    for (_, name), count in reached.items():
        counts_by_name[name] = counts_by_name.get(name, 0) + count
    missing = [name for name in required if counts_by_name.get(name, 0) == 0]
    print(f"fuzz coverage: {sum(1 for c in reached.values() if c)} of {len(reached)} functions reached; "
          f"{len(required) - len(missing)} of {len(required)} reply-handling functions reached")
    for name in missing:
        state = "not reached" if name in counts_by_name else "not found"
        print(f"FAIL reply-handling function {name}: {state}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
