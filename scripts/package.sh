#!/usr/bin/env bash
# Builds both Windows builds and lays out what ships:
#   dist/Portolan/Portolan.exe              32-bit build
#   dist/Portolan/PortolanBericht.exe       32-bit build of the report program
#   dist/Portolan/x64/Portolan.exe          64-bit build
#   dist/Portolan/x64/PortolanBericht.exe   64-bit build of the report program
#   dist/Portolan/LIESMICH.txt
#   dist/Portolan-VERSION.zip         the folder above, zipped
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh win32 win64

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
Portolan.exe             das Programm (32 Bit)
PortolanBericht.exe      der Bericht für den Support (32 Bit)
x64\\Portolan.exe         das Programm (64 Bit)
x64\\PortolanBericht.exe  der Bericht für den Support (64 Bit)
LIESMICH.txt             diese Datei

Auf 64-Bit-Windows starten Portolan.exe und PortolanBericht.exe von selbst
ihre 64-Bit-Fassung im Ordner x64. Lassen Sie deshalb den Ordner x64 neben
Portolan.exe liegen.

Bedienung
---------
F5 oder Datei > Aktualisieren liest die Geräte neu ein; unter Ansicht lassen
sich unbenutzte Anschlüsse und Controller einblenden, unter Optionen das
automatische Aktualisieren und das Info-Fenster ein- und ausschalten.

Bericht für den Support
-----------------------
Passt Ihr Gerät nicht oder sind Sie unsicher, starten Sie PortolanBericht.exe
mit einem Doppelklick. Es liest die USB-Geräte dieses PCs so ein, wie
Portolan sie zeigt, schreibt alle Angaben (auch unbenutzte Anschlüsse und
Controller) in die Datei Portolan-Bericht.txt in Ihrem Ordner Dokumente und
öffnet sie im Editor. Schicken Sie diese Datei an den Kestrel-Support. Der
Bericht enthält Gerätenamen, Kennungen und Seriennummern, sonst nichts; das
Programm verändert nichts am PC.

© 2026 Kestrel Systems GmbH
EOF
} >"$folder/LIESMICH.txt"

/usr/bin/python3 tools/pe_check.py imports --machine i386 "$folder/Portolan.exe" "$folder/PortolanBericht.exe"
/usr/bin/python3 tools/pe_check.py imports --machine x86-64 "$folder/x64/Portolan.exe" "$folder/x64/PortolanBericht.exe"
for exe in Portolan PortolanBericht; do
    /usr/bin/python3 tools/pe_check.py same-resources "$folder/$exe.exe" "$folder/x64/$exe.exe"
done

# Same bytes in, same zip out: fixed file times, no extra attributes.
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
find "$folder" -exec touch -h -d "@$stamp" {} +
(cd "$dist" && TZ=UTC zip -X -q -r -D "Portolan-$version.zip" Portolan)
unzip -l "$zip_file"
echo "package: $folder and $zip_file"
