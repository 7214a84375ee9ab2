#!/usr/bin/env bash
# Builds both Windows builds and lays out what ships:
#   dist/Portolan/Portolan.exe              32-bit build
#   dist/Portolan/PortolanBericht.exe       32-bit build of the report program
#   dist/Portolan/x64/Portolan.exe          64-bit build
#   dist/Portolan/x64/PortolanBericht.exe   64-bit build of the report program
#   dist/Portolan/LIESMICH.txt
#   dist/Portolan-VERSION.zip         the folder above, zipped
#
#   scripts/package.sh                 builds everything of both presets
#   scripts/package.sh --shipped-only  builds only what ships
#
# The same commit gives the same bytes in any folder on any machine: the
# exes' PE time stamp is the commit's time and their checksum is computed
# again (tools/pe_stamp.py), the zip's file times are the commit's too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [[ "${1:-}" == --shipped-only ]]; then
    scripts/build.sh --target Portolan --target PortolanBericht win32 win64
else
    scripts/build.sh win32 win64
fi
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)

# The version shipped is the one the version resources take.
version=$(sed -n 's/^#define PORTOLAN_VERSION_TEXT "\([0-9.]*\)"$/\1/p' res/version.h)
[[ -n "$version" ]] || { echo "package: no PORTOLAN_VERSION_TEXT in res/version.h" >&2; exit 1; }

dist=dist
folder="$dist/Portolan"
zip_file="$dist/Portolan-$version.zip"
rm -rf "$folder" "$zip_file"
mkdir -p "$folder/x64"
for exe in Portolan PortolanBericht; do
    cp "build/win32/$exe.exe" "$folder/$exe.exe"
    cp "build/win64/$exe.exe" "$folder/x64/$exe.exe"
done
/usr/bin/python3 tools/pe_stamp.py "$stamp" "$folder"/*.exe "$folder"/x64/*.exe

# The support sentence from res/support_contact.txt.
support=$(/usr/bin/python3 tools/support_contact.py text)

# res/liesmich.txt with version and support sentence; Windows Notepad reads
# UTF-8 with a byte order mark; CRLF line ends.
liesmich=$(<res/liesmich.txt)
liesmich=${liesmich//@VERSION@/"$version"}
{
    printf '\xEF\xBB\xBF'
    printf '%s\n' "${liesmich//@SUPPORT@/"$support"}" | sed 's/$/\r/'
} >"$folder/LIESMICH.txt"

# Nothing that ships names an invented address.
/usr/bin/python3 tools/support_contact.py check "$folder/LIESMICH.txt" build/win32/Portolan.chm build/win64/Portolan.chm

/usr/bin/python3 tools/pe_check.py imports --machine i386 "$folder/Portolan.exe" "$folder/PortolanBericht.exe"
/usr/bin/python3 tools/pe_check.py imports --machine x86-64 "$folder/x64/Portolan.exe" "$folder/x64/PortolanBericht.exe"
for exe in Portolan PortolanBericht; do
    /usr/bin/python3 tools/pe_check.py same-resources "$folder/$exe.exe" "$folder/x64/$exe.exe"
done

# Same bytes in, same zip out: fixed file times, no extra attributes.
find "$folder" -exec touch -h -d "@$stamp" {} +
(cd "$dist" && TZ=UTC zip -X -q -r -D "Portolan-$version.zip" Portolan)
unzip -l "$zip_file"
echo "package: $folder and $zip_file"
