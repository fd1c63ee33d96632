#!/usr/bin/env bash
# Times a whole full upload of the examples by the Windows build's
# calvenori-upload.exe under Wine (in a private prefix made for the run) and
# by the native program, and prints wine_upload_wall_s, wine_overhead_ratio
# and the installer's size.
#   scripts/wine-bench.sh [preset]      (the Linux build; default: werror)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-werror}"
windows="$PWD/build/windows"
folder="$PWD/build/$preset/wine-bench"
qt="$(sed -n 's/^CALVENORI_QT_MINGW:PATH=//p' "$windows/CMakeCache.txt")"
runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
tests/wine/make-prefix.sh "$folder" >/dev/null
trap 'tests/wine/make-prefix.sh --remove "$folder"' EXIT
HOME="$folder/home" WINEPREFIX="$folder/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  WINEPATH="Z:$qt/bin;Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib" CALVENORI_WINDOWS_BUILD="$windows" \
  "build/$preset/bench/bench_upload" --wine
installer="$(ls "$windows"/package/calvenori-uploader-*-win64.exe)"
echo "installer_bytes $(stat -c %s "$installer")"
