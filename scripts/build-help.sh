#!/usr/bin/env bash
# Compiles the help project res/help/ into OUT.chm with chmcmd (Debian
# fp-utils), then finishes the file with tools/chm_fixup.py: the context map
# of the project's [ALIAS] and [MAP] and time stamps from the content.
#
#   scripts/build-help.sh OUT.chm
#   scripts/build-help.sh --sources DIR   only the sources as compiled
#
# A page's line @PART:NAME@ becomes res/help/parts/NAME.html, the blocks
# several pages share; then @SUPPORT@ the sentence that sends customers to
# support, from res/support_contact.txt (tools/support_contact.py).
#
# chmcmd would write the context map's pages as absolute paths of the
# folder it compiles in, so it compiles the project without those two
# sections and chm_fixup.py adds them. Nothing of the folder stays in the
# file: equal sources give equal bytes wherever they are compiled, as the
# win32 and win64 builds must carry.
set -euo pipefail

fail() {
    echo "build-help: $*" >&2
    exit 1
}

sources_only=""
if [[ $# -eq 2 && "$1" == --sources ]]; then
    sources_only=$2
elif [[ $# -ne 1 || -z "$1" ]]; then
    echo "usage: $0 OUT.chm | --sources DIR" >&2
    exit 2
fi
out=${1:-}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sources="$repo/res/help"
command -v chmcmd >/dev/null 2>&1 || fail "chmcmd not found (Debian package fp-utils; see scripts/setup.sh)"
[[ -x /usr/bin/python3 ]] || fail "/usr/bin/python3 not found (see scripts/setup.sh)"

work=$(mktemp -d "${TMPDIR:-/tmp}/portolan-help.XXXXXX") || fail "cannot make a build folder"
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
files=("$sources"/*.hhp "$sources"/*.hhc "$sources"/*.html "$sources"/*.css)
((${#files[@]} > 0)) || fail "no help sources in $sources"
cp "${files[@]}" "$work/"
/usr/bin/python3 - "$sources/parts" "$work"/*.html <<'EOF' || fail "cannot fill in the pages' shared parts"
import os, re, sys
def part(match):
    with open(os.path.join(sys.argv[1], match.group(1) + ".html"), encoding="latin-1") as f:
        return f.read()
for page in sys.argv[2:]:
    with open(page, encoding="latin-1") as f:
        text = re.sub(r"^@PART:([a-z0-9]+)@\n", part, f.read(), flags=re.M)
    with open(page, "w", encoding="latin-1") as f:
        f.write(text)
EOF
/usr/bin/python3 "$repo/tools/support_contact.py" fill "$work"/*.html || fail "no support contact"
if [[ -n "$sources_only" ]]; then
    mkdir -p "$sources_only"
    cp "$work"/*.html "$work"/*.css "$work"/*.hhc "$sources_only/"
    exit 0
fi
# The project without its context map, which chm_fixup.py adds.
awk '/^\[/ { skip = ($0 == "[ALIAS]" || $0 == "[MAP]") } !skip' "$sources/portolan.hhp" >"$work/portolan.hhp" ||
    fail "cannot write the project file"

# chmcmd reports some problems only as lines on stdout and exits 0, so its
# log must hold nothing but its banner and the progress line.
if ! (cd "$work" && chmcmd --no-html-scan portolan.hhp) >"$work/chmcmd.log" 2>&1; then
    cat "$work/chmcmd.log" >&2
    fail "chmcmd failed"
fi
if grep -v -e '^Writing CHM Portolan\.chm$' -e '^chmcmd, a CHM compiler\.' -e '^$' "$work/chmcmd.log" >/dev/null; then
    cat "$work/chmcmd.log" >&2
    fail "chmcmd reported problems"
fi
[[ -s "$work/Portolan.chm" ]] || fail "chmcmd wrote no Portolan.chm"

/usr/bin/python3 "$repo/tools/chm_fixup.py" "$work/Portolan.chm" "$sources/portolan.hhp" "$work" "$work/fixed.chm" ||
    fail "cannot finish Portolan.chm"

mkdir -p "$(dirname "$out")"
cp "$work/fixed.chm" "$out.tmp.$$"
mv -f "$out.tmp.$$" "$out"
