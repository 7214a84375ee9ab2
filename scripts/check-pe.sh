#!/usr/bin/env bash
# Static checks of Windows executables: machine type, subsystem and
# imported DLLs; or whether two exes carry the same resources.
#
#   scripts/check-pe.sh [--machine i386|x86-64] EXE...
#   scripts/check-pe.sh --same-resources A.exe B.exe
#
# Without --machine the expected machine follows from the build directory:
# build/win32 -> i386, build/win64 -> x86-64. The product exes (Portolan.exe,
# PortolanDemo.exe) must be GUI programs. A kernel driver (.sys) must be a
# native program importing only ntoskrnl.exe and hal.dll. The machine and PE32/PE32+ are read
# twice, by objdump and by tools/pe_resources.py.
set -euo pipefail
pe_tool="$(cd "$(dirname "$0")/.." && pwd)/tools/pe_resources.py"

# Windows GUI programs among the exes this project builds.
GUI_EXES="portolan.exe portolandemo.exe"

# Windows system DLLs an exe may import; anything else (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ...) means the runtime is not static.
ALLOWED_DLLS="kernel32 user32 gdi32 comctl32 comdlg32 advapi32 setupapi shell32 ole32 oleaut32 shlwapi
msvcrt ntdll version bcrypt ws2_32 uxtheme cfgmgr32 imm32 winmm crypt32 rpcrt4 secur32 dwmapi psapi
winspool.drv"

usage() {
    echo "usage: $0 [--machine i386|x86-64] EXE..." >&2
    echo "       $0 --same-resources A.exe B.exe" >&2
    exit 2
}

if [[ "${1:-}" == "--same-resources" ]]; then
    [[ $# -eq 3 ]] || usage
    echo "== resources of $2 and $3"
    for exe in "$2" "$3"; do
        [[ -f "$exe" ]] || { echo "   FAIL: $exe: no such file"; echo "check-pe: 1 problem(s)"; exit 1; }
    done
    # Same type/id/language set, identical data for every resource.
    if report=$(/usr/bin/python3 "$pe_tool" --compare "$2" "$3" 2>&1); then
        sed 's/^/   /' <<<"$report"
        echo "check-pe: all checks passed"
        exit 0
    fi
    sed 's/^/   FAIL: /' <<<"$report"
    echo "check-pe: resources differ"
    exit 1
fi

machine=""
if [[ "${1:-}" == "--machine" ]]; then
    [[ $# -ge 2 ]] || usage
    machine="$2"
    shift 2
fi
[[ $# -ge 1 ]] || usage

objdump_tool=""
for candidate in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
    if command -v "$candidate" >/dev/null 2>&1; then
        objdump_tool="$candidate"
        break
    fi
done
if [[ -z "$objdump_tool" ]]; then
    echo "check-pe: no objdump found (install binutils-mingw-w64)" >&2
    exit 2
fi

# The DLLs a kernel driver may import.
DRIVER_DLLS="ntoskrnl.exe hal.dll"

is_allowed() {
    local name base
    name=$(echo "$1" | tr '[:upper:]' '[:lower:]')
    if [[ "$2" == *.sys ]]; then
        [[ " $DRIVER_DLLS " == *" $name "* ]]
        return
    fi
    base="${name%.dll}"
    for allowed in $ALLOWED_DLLS; do
        [[ "$base" == "$allowed" || "$name" == "$allowed" ]] && return 0
    done
    # API sets (api-ms-win-*.dll) are resolved by the loader to system DLLs.
    [[ "$name" == api-ms-win-* ]] && return 0
    return 1
}

failures=0
for exe in "$@"; do
    echo "== $exe"
    if [[ ! -f "$exe" ]]; then
        echo "   FAIL: no such file"
        failures=$((failures + 1))
        continue
    fi

    expected="$machine"
    if [[ -z "$expected" ]]; then
        case "$exe" in
        *win32/*) expected=i386 ;;
        *win64/*) expected=x86-64 ;;
        *)
            echo "   FAIL: cannot tell the expected machine from the path; pass --machine"
            failures=$((failures + 1))
            continue
            ;;
        esac
    fi
    case "$expected" in
    i386) want_format=pei-i386 want_magic=PE32 ;;
    x86-64) want_format=pei-x86-64 want_magic=PE32+ ;;
    *) usage ;;
    esac

    if ! headers=$("$objdump_tool" -p "$exe" 2>&1); then
        echo "   FAIL: $objdump_tool cannot read it: $headers"
        failures=$((failures + 1))
        continue
    fi

    format=$(sed -n 's/.*file format \([^ ]*\).*/\1/p' <<<"$headers" | head -n 1)
    magic=$(sed -n 's/^Magic[[:space:]].*(\(.*\)).*/\1/p' <<<"$headers" | head -n 1)
    if [[ "$format" == "$want_format" && "$magic" == "$want_magic" ]]; then
        echo "   machine: $expected ($format, $magic) ok"
    else
        echo "   FAIL: machine: expected $expected ($want_format, $want_magic), found ${format:-?} (${magic:-?})"
        failures=$((failures + 1))
    fi

    subsystem=$(sed -n 's/^Subsystem[[:space:]]*[0-9a-fA-F]*[[:space:]]*(\(.*\))/\1/p' <<<"$headers" | head -n 1)
    if ! pe_info=$(/usr/bin/python3 "$pe_tool" --json "$exe" 2>&1); then
        echo "   FAIL: pe_resources.py cannot read it: $pe_info"
        failures=$((failures + 1))
        continue
    fi
    read -r py_machine py_format py_subsystem < <(python3 -c \
        'import json, sys; i = json.load(sys.stdin); print(i["machine"], i["format"], i["subsystem"])' <<<"$pe_info")
    if [[ "$py_machine" == "$expected" && "$py_format" == "$want_magic" ]]; then
        echo "   headers: $py_machine $py_format ok"
    else
        echo "   FAIL: headers: expected $expected $want_magic, pe_resources.py reads $py_machine $py_format"
        failures=$((failures + 1))
    fi
    base=$(basename "$exe" | tr '[:upper:]' '[:lower:]')
    if [[ "$base" == *.sys ]]; then
        if [[ "$subsystem" == "NT native" ]]; then
            echo "   subsystem: ${subsystem} ok"
        else
            echo "   FAIL: subsystem: expected NT native, found ${subsystem:-?}"
            failures=$((failures + 1))
        fi
    elif [[ " $GUI_EXES " == *" $base "* ]]; then
        if [[ "$py_subsystem" == gui && "$subsystem" == "Windows GUI" ]]; then
            echo "   subsystem: ${subsystem} ok"
        else
            echo "   FAIL: subsystem: expected Windows GUI, found ${subsystem:-?} ($py_subsystem)"
            failures=$((failures + 1))
        fi
    else
        echo "   subsystem: ${subsystem:-?}"
    fi

    mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | sort -uf)
    if [[ ${#dlls[@]} -eq 0 ]]; then
        echo "   FAIL: no import table found"
        failures=$((failures + 1))
        continue
    fi
    for dll in "${dlls[@]}"; do
        if is_allowed "$dll" "$base"; then
            echo "   import: $dll ok"
        else
            echo "   FAIL: import: $dll is not a DLL it may import (Windows system DLLs; for a driver ntoskrnl.exe, hal.dll)"
            failures=$((failures + 1))
        fi
    done
done

if [[ $failures -ne 0 ]]; then
    echo "check-pe: $failures problem(s)"
    exit 1
fi
echo "check-pe: all checks passed"
