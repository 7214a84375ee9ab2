#!/usr/bin/env bash
# Builds both Windows builds and lays out what ships:
#   dist/Portolan/Portolan.exe        32-bit build
#   dist/Portolan/x64/Portolan.exe    64-bit build
#   dist/Portolan/LIESMICH.txt
#   dist/Portolan-VERSION.zip         the folder above, zipped
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh win32 win64

# The version shipped is the one in the exe's version resource (1.0.0.0 -> 1.0.0).
version=$(sed -n 's/^[[:space:]]*VALUE "ProductVersion",[[:space:]]*"\([0-9]*\.[0-9]*\.[0-9]*\)\(\.[0-9]*\)\?".*/\1/p' res/portolan.rc | head -n 1)
[[ -n "$version" ]] || { echo "package: no ProductVersion in res/portolan.rc" >&2; exit 1; }

dist=dist
folder="$dist/Portolan"
zip_file="$dist/Portolan-$version.zip"
rm -rf "$folder" "$zip_file"
mkdir -p "$folder/x64"
cp build/win32/Portolan.exe "$folder/Portolan.exe"
cp build/win64/Portolan.exe "$folder/x64/Portolan.exe"

# Windows Notepad reads UTF-8 with a byte order mark; CRLF line ends.
{
    printf '\xEF\xBB\xBF'
    sed 's/$/\r/' <<EOF
Portolan $version - USB-Kompatibilitätscheck
=========================================

Portolan zeigt, welche USB-Geräte an diesem PC hängen: Host-Controller,
Root-Hubs, externe Hubs und das Gerät an jedem Anschluss, als Baum. Für das
ausgewählte Gerät zeigt es Hersteller- und Produktkennung, Seriennummer,
PnP-Instanz, Datenrate und Transfertypen und sagt im Info-Fenster, ob es zu
den USB-Produkten von Kestrel passt.

Voraussetzungen
---------------
- Windows 10 oder Windows 11 (32 oder 64 Bit).
- Nichts zu installieren: Ordner entpacken und Portolan.exe starten.
  Administratorrechte sind nicht nötig.

Inhalt
------
Portolan.exe        das Programm (32 Bit)
x64\\Portolan.exe    das Programm (64 Bit)
LIESMICH.txt        diese Datei

Auf 64-Bit-Windows startet Portolan.exe von selbst x64\\Portolan.exe.
Lassen Sie deshalb den Ordner x64 neben Portolan.exe liegen.

Bedienung
---------
F5 oder Datei > Aktualisieren liest die Geräte neu ein; unter Ansicht lassen
sich unbenutzte Anschlüsse und Controller einblenden, unter Optionen das
automatische Aktualisieren und das Info-Fenster ein- und ausschalten.

© 2026 Kestrel Systems GmbH
EOF
} >"$folder/LIESMICH.txt"

/usr/bin/python3 tools/pe_check.py imports --machine i386 "$folder/Portolan.exe"
/usr/bin/python3 tools/pe_check.py imports --machine x86-64 "$folder/x64/Portolan.exe"
/usr/bin/python3 tools/pe_check.py same-resources "$folder/Portolan.exe" "$folder/x64/Portolan.exe"

# Same bytes in, same zip out: fixed file times, no extra attributes.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
find "$folder" -exec touch -h -d "@$stamp" {} +
(cd "$dist" && TZ=UTC zip -X -q -r -D "Portolan-$version.zip" Portolan)
unzip -l "$zip_file"
echo "package: $folder and $zip_file"
