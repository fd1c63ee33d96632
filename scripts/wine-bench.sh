#!/usr/bin/env bash
# Times a whole full upload of the examples by the Windows build's
# calvenori-upload.exe under Wine (in a private prefix made for the run) and
# by the native program, and prints wine_upload_wall_s, wine_overhead_ratio
# and the installer's size. Then the training kit: calvenori-sim.exe on one
# end of a null-modem pair (socat), its processor share while it waits for
# 5 s (wine_sim_idle_cpu_percent), and a whole full upload of the examples by
# calvenori-upload.exe on the other end (wine_kit_upload_wall_s).
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
export HOME="$folder/home" WINEPREFIX="$folder/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  WINEPATH="Z:$qt/bin;Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib" CALVENORI_WINDOWS_BUILD="$windows"
"build/$preset/bench/bench_upload" --wine

# The training kit: COM16 for the simulator, COM17 for the uploader.
lines="$folder/lines"
coproc PAIR { exec socat -d -d "pty,raw,echo=0,link=$lines/com16" "pty,raw,echo=0,link=$lines/com17" 2>&1; }
while read -r said <&"${PAIR[0]}"; do case "$said" in *"starting data transfer loop"*) break ;; esac; done
coproc KIT { exec wine "$windows/sim/calvenori-sim.exe" --device COM16 --control calvenori-bench; }
read -r served <&"${KIT[0]}"
[ "${served%$'\r'}" = COM16 ] || { echo "the simulator did not start: $served" >&2; exit 1; }
sim_pid="$(pgrep -f 'calvenori-sim.exe --device COM16' | head -1)"
ticks() { awk '{ print $14 + $15 }' "/proc/$sim_pid/stat"; }
before="$(ticks)"
sleep 5
awk -v t="$(( $(ticks) - before ))" -v hz="$(getconf CLK_TCK)" \
  'BEGIN { printf "wine_sim_idle_cpu_percent %.1f\n", t * 100 / hz / 5 }'
root="$PWD"
mkdir -p "$folder/kit"
started="$(date +%s.%N)"
(cd "$folder/kit" && wine "$windows/src/calvenori-upload.exe" --port COM17 --restore keep \
   --params "Z:$root/examples/pump-parameters.txt" --program "Z:$root/examples/pump-controller-v1.5.s19" \
   --actions "Z:${windows//\//\\}\\sim\\calvenori-sim.exe ctl calvenori-bench" </dev/null >/dev/null)
awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "wine_kit_upload_wall_s %.2f\n", b - a }'
kill "$KIT_PID" 2>/dev/null || true
# The pair goes after the Wine server: a pseudo-terminal that goes while the
# server holds its other end hangs the server up, and it then dumps its objects.
trap 'tests/wine/make-prefix.sh --remove "$folder"; kill "$PAIR_PID" 2>/dev/null || true' EXIT
installer="$(ls "$windows"/package/calvenori-uploader-*-win64.exe)"
echo "installer_bytes $(stat -c %s "$installer")"
