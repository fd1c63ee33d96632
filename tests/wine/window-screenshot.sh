#!/usr/bin/env bash
# The window program under Wine on a virtual X display (Xvfb): it must start
# and show its main window at its designed width; the window is then saved
# as a PNG (the developer guide's picture comes from here). Its own Wine prefix, with
# Wine's X11 driver, so the other Wine tests keep theirs.
#   tests/wine/window-screenshot.sh WINDOW-PROGRAM.exe GRAB-TOOL OUT.png
set -euo pipefail
program="$1" grab="$2" out="$3"
folder="$(dirname "$out")/screenshot-run"
here="$(dirname "$0")"
"$here/make-prefix.sh" "$folder" >/dev/null
export HOME="$folder/home" WINEPREFIX="$folder/prefix"
WINEPATH="Z:${CALVENORI_WINE_DLLS//:/;Z:}"
export WINEPATH
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r -u 3 display
export DISPLAY=":$display"
trap 'kill "$xvfb" 2>/dev/null; "$here/make-prefix.sh" --remove "$folder"' EXIT
wine explorer /desktop=Calvenori,700x320 "$program" >/dev/null 2>&1 &

title="Quorvel Calvenori Uploader"
line=""
for _ in $(seq 1 600); do  # what the X server shows, for up to a minute
  line="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\": (\"calvenori-uploader.exe\"" || true)"
  [ -n "$line" ] && break
  sleep 0.1
done
[ -n "$line" ] || { echo "no window \"$title\" appeared within a minute" >&2; exit 1; }
echo "$line"
# The client is 9210 twips (614 pixels) wide; Wine's frame adds its borders.
width="$(sed -E 's/.* ([0-9]+)x[0-9]+\+.*/\1/' <<<"$line")"
[ "$width" -ge 614 ] && [ "$width" -le 640 ] || { echo "main window $width pixels wide, not 614 and a frame" >&2; exit 1; }
"$grab" "$(awk '{print $1}' <<<"$line")" "$out"
echo "saved $out"
