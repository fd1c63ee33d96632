#!/usr/bin/env bash
# A fresh private Wine prefix for one test run: FOLDER/prefix, with FOLDER/home
# as the Unix home it sees (Wine links Documents and Desktop there). With
# --remove it stops that prefix's server and removes the folder.
#   tests/wine/make-prefix.sh [--remove] FOLDER
set -euo pipefail
remove=0
if [ "$1" = --remove ]; then remove=1; shift; fi
folder="$1"
if [ -d "$folder/prefix" ]; then WINEPREFIX="$folder/prefix" wineserver -k >/dev/null 2>&1 || true; fi
rm -rf "$folder"
[ "$remove" -eq 0 ] || exit 0
mkdir -p "$folder/home"
export HOME="$folder/home" WINEPREFIX="$folder/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
# Wine's own fonts (Tahoma for "MS Shell Dlg", Marlett for the styles'
# symbols) in the prefix's font folder: this Wine does not find them where
# they are installed, and Qt's windows fell back to whatever host face came
# first (DejaVu Math TeX Gyre).
fonts="$(dirname "$(readlink -f "$(command -v wine)")")/../share/wine/fonts"
if [ -d "$fonts" ]; then
  ln -sf "$fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
else
  echo "no Wine fonts in $fonts: the windows get whatever face the host has" >&2
fi
# Windows need no display: Wine's null driver draws them nowhere.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# COM1 to COM20 are the links FOLDER/lines/comN, which the tests point at a
# simulated controller as they need them; Windows lists them all. Wine maps
# the machine's own UARTs (/dev/ttyS0, whose open hangs in a container) to
# the numbers left over, above them.
mkdir -p "$folder/lines"
for n in $(seq 1 20); do
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$folder/lines/com$n" /f >/dev/null 2>&1
done
wineserver --wait
[ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot made no prefix in $WINEPREFIX" >&2; exit 1; }
# The tests start side by side: a Wine server that is already up, with its
# services, spares them racing to start one (seen: the first few tests,
# started together on a fresh prefix, hung together now and then).
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
echo "Wine prefix: $WINEPREFIX ($(wine --version))"
