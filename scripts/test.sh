#!/usr/bin/env bash
# The whole test suite: native tests, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, short fuzzing runs, both Windows builds with
# their static checks and the shipped package, and the Windows-side tests
# under Wine, each for the 64-bit and the 32-bit build (the 32-bit ones in
# the same 64-bit prefix, as WOW64 runs them; where this machine cannot
# execute i386 code they say so in one line and do not run).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh native native-asan win32 win64

echo "== native tests"
ctest --test-dir build/native --output-on-failure -j 2

echo "== native tests under ASan/UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/native-asan --output-on-failure -j 2

echo "== fuzzing, a short run of each target"
scripts/fuzz.sh "${PORTOLAN_FUZZ_SECONDS:-45}"
echo "== fuzz coverage of the committed corpus"
scripts/fuzz.sh --coverage | tail -n 40

echo "== what loading a topology file costs, hostile shapes up to 16 MiB"
build/native/portolan-load-benchmark 16

echo "== sample topologies through the report tool"
for sample in samples/*.json; do
    build/native-asan/portolan-report --json --stats "$sample" >/dev/null
done

echo "== Windows executables, static checks"
# Machine (win32: PE32 i386, win64: PE32+ x86-64), GUI subsystem of the
# product exes (Portolan, PortolanBericht, PortolanDemo), system DLL imports
# only; both builds of Portolan.exe carry the same resources; ASLR (high
# entropy on x64), DEP, no writable code in the product exes, the shipped
# ones stripped and stack-protected. The checker itself on small programs
# built with and without the flags.
/usr/bin/python3 tools/pe_check.py imports build/win32/Portolan.exe build/win32/PortolanBericht.exe \
    build/win32/PortolanDemo.exe build/win64/Portolan.exe build/win64/PortolanBericht.exe \
    build/win64/PortolanDemo.exe build/win64/portolanusb.sys
/usr/bin/python3 tools/pe_check.py same-resources build/win32/Portolan.exe build/win64/Portolan.exe
/usr/bin/python3 tools/pe_check.py hardening --release build/win32/Portolan.exe build/win64/Portolan.exe \
    build/win32/PortolanBericht.exe build/win64/PortolanBericht.exe
/usr/bin/python3 tools/pe_check.py hardening build/win32/PortolanDemo.exe build/win64/PortolanDemo.exe
/usr/bin/python3 tests/tools/pe_check_test.py

echo "== set-up against stand-ins for apt-get and dpkg"
bash tests/scripts/setup_test.sh

echo "== the shipped folder and zip"
/usr/bin/python3 tests/tools/package_test.py

if reason=$(scripts/wine-x86.sh); then
    echo "== this machine runs 32-bit Windows programs under Wine"
else
    echo "== the 32-bit checks under Wine will not run: $reason"
fi
for build in build/win64 build/win32; do
    echo "== Windows-side tests under Wine, $build"
    for test in tests/windows/*_test.sh tests/windows/wine_usb/*_test.sh; do
        echo "-- $test $build"
        started=$(date +%s)
        bash "$test" "$build"
        echo "-- $test $build: $(($(date +%s) - started)) s"
    done
done

echo "== all tests passed"
