#!/usr/bin/env bash
# One QtTest program of the Windows build under Wine. A crashed Windows
# program can exit 0 under Wine, so the test's own totals decide: the log
# must end its run with no failure. With --controller, a simulated controller
# (the Linux SIMULATOR) answers on COM<N> for the run, and the program finds N
# in CALVENORI_TEST_COM. ARGUMENTS go to the program, before QtTest's own.
#   tests/wine/run-windows-test.sh [--controller N SIMULATOR] PROGRAM.exe [ARGUMENTS...]
set -uo pipefail
WINEPATH="Z:${CALVENORI_WINE_DLLS//:/;Z:}"
export WINEPATH
log="$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX")"
trap 'rm -f "$log"' EXIT
if [ "$1" = --controller ]; then
  export CALVENORI_TEST_COM="$2"
  # The simulator runs until its standard input, this script's pipe, ends.
  coproc SIM { exec "$3"; }
  read -r device <&"${SIM[0]}" || { echo "the simulator did not start" >&2; exit 1; }
  link="$(dirname "$WINEPREFIX")/lines/com$2"  # COMn of the prefix (make-prefix.sh)
  ln -sfn "$device" "$link"
  trap 'rm -f "$log" "$link"' EXIT
  shift 3
fi
wine "$@" -o "Z:$log,txt"
status=$?
cat "$log"
grep -Eq '^Totals: [0-9]+ passed, 0 failed' "$log" && grep -q '^\*\*\*\*\*\*\*\*\* Finished testing' "$log" &&
  [ "$status" -eq 0 ]
