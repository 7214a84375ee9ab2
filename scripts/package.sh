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
- Windows 10 (32 oder 64 Bit) oder Windows 11.
- Nichts zu installieren: Ordner entpacken und Portolan.exe starten.
  Administratorrechte sind nicht nötig (Ausnahme: Strg+R, siehe unten).

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

Erster Start
------------
Die Programme sind nicht digital signiert. Windows SmartScreen meldet beim
ersten Start deshalb womöglich "Der Computer wurde durch Windows geschützt".
Klicken Sie dann auf "Weitere Informationen" und auf "Trotzdem ausführen".
Sie können die Sperre auch vor dem Entpacken aufheben: Rechtsklick auf die
ZIP-Datei > Eigenschaften > unten "Zulassen" ankreuzen > OK.

Bedienung
---------
F5 oder Datei > Aktualisieren liest die Geräte neu ein; unter Ansicht lassen
sich unbenutzte Anschlüsse und Controller einblenden, unter Optionen das
automatische Aktualisieren und das Info-Fenster ein- und ausschalten.

Die Datenrate zeigt Portolan als Low Speed, Full Speed oder High Speed.
Windows meldet höchstens High Speed: Auch ein USB-3-Gerät erscheint deshalb
mit "High Speed". "???" steht für eine Datenrate, die Windows meldet,
Portolan aber nicht kennt; ein solches Gerät bewertet Portolan wie eines ohne
High Speed.

Strg+R startet den Anschluss des ausgewählten Geräts neu, als würde es kurz
abgezogen und wieder angesteckt. Unter Windows 8 und neuer erlaubt Windows
das nur Programmen, die als Administrator laufen (Rechtsklick auf
Portolan.exe > Als Administrator ausführen); sonst geschieht nichts.

Portolan schreibt bei jedem Start seine Hilfe, die Datei Portolan.chm, in
Ihren temporären Ordner (%TEMP%) und lässt sie dort. Sonst schreibt es
nichts, auch nicht in die Registrierung.

Bericht für den Support
-----------------------
Passt Ihr Gerät nicht oder sind Sie unsicher, starten Sie PortolanBericht.exe
mit einem Doppelklick. Es liest die USB-Geräte dieses PCs so ein, wie
Portolan sie zeigt, schreibt alle Angaben (auch unbenutzte Anschlüsse und
Controller) in die Datei Portolan-Bericht.txt in Ihrem Ordner Dokumente und
öffnet sie im Editor. Der Bericht enthält Gerätenamen, Kennungen und
Seriennummern, sonst nichts; das Programm verändert nichts am PC.

Fragen? $support
Schicken Sie bitte die Datei Portolan-Bericht.txt mit.

© 2026 Kestrel Systems GmbH
EOF
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
