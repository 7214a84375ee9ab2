#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for dpkg, apt-get and sudo: a mirror
# whose index fails every time still lets the packages install; when
# wine32:i386 can be installed only from the release alone it is; when not
# at all the rest is, and for the next hour wine32 is not tried again; a
# failing install of anything else fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# Nothing is installed; each call goes to calls.log.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "apt-get $*" >>"$STUB_LOG"
case "$1" in update) exit 100 ;; esac
case " $* " in *" -t "*) [ -n "$STUB_RELEASE_HAS_ALL" ] && exit 0 ;; esac
case " $* " in *" $STUB_REFUSE "*) exit 100 ;; esac
exit 0
STUB
printf '#!/bin/sh\n"$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/sleep"
printf '#!/bin/sh\necho 1000\n' >"$work/bin/id"
chmod +x "$work/bin"/*
export STUB_LOG="$work/calls.log" TMPDIR="$work" PATH="$work/bin:$PATH"
failures=0
expect() {  # NAME COMMAND...
    local name=$1
    shift
    if "$@"; then echo "PASS $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
calls() { grep -c "^apt-get $1" "$STUB_LOG" || true; }
last_install() { grep "^apt-get install" "$STUB_LOG" | tail -n 1; }
installs_without_wine32() { last_install | grep -v -q wine32; }
from_the_release() { last_install | grep -q -- "--no-remove -t $(. /etc/os-release && echo "$VERSION_CODENAME") .*wine32" &&
    test "$(calls install)" -eq 2 -a ! -f "$work/portolan-setup-no-wine32"; }

STUB_RELEASE_HAS_ALL=1 STUB_REFUSE=wine32:i386 bash scripts/setup.sh >"$work/out.txt" 2>&1
expect "wine32 refused, but not from the release alone: all installed from it" from_the_release
: >"$STUB_LOG"

STUB_REFUSE=wine32:i386 bash scripts/setup.sh >"$work/out.txt" 2>&1
expect "three tries of a failing apt-get update, then the install" test "$(calls update)" -eq 3
expect "wine32 refused: the rest installed without it" installs_without_wine32
expect "wine32 refused: noted" test -f "$work/portolan-setup-no-wine32"
: >"$STUB_LOG"
STUB_REFUSE=none bash scripts/setup.sh >"$work/out.txt" 2>&1
expect "within the hour wine32 is not asked for" test "$(calls install)" -eq 1 -a "$(grep -c wine32 "$STUB_LOG")" -eq 0
rm "$work/portolan-setup-no-wine32"
refused_cmake() { ! STUB_REFUSE=cmake bash scripts/setup.sh >"$work/out.txt" 2>&1; }
expect "another package refused: setup fails" refused_cmake
((failures == 0)) || { echo "setup: $failures failed" >&2; exit 1; }
echo "setup: all passed"
