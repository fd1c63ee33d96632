#!/usr/bin/env bash
# One QtTest program of the Windows build under Wine. A crashed Windows
# program can exit 0 under Wine, so the test's own totals decide: the log
# must end its run with no failure.
#   tests/wine/run-windows-test.sh PROGRAM.exe
set -uo pipefail
WINEPATH="Z:${CALVENORI_WINE_DLLS//:/;Z:}"
export WINEPATH
log="$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX")"
trap 'rm -f "$log"' EXIT
wine "$1" -o "Z:$log,txt"
status=$?
cat "$log"
grep -Eq '^Totals: [0-9]+ passed, 0 failed' "$log" && grep -q '^\*\*\*\*\*\*\*\*\* Finished testing' "$log" &&
  [ "$status" -eq 0 ]
