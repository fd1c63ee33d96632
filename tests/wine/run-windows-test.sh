#!/usr/bin/env bash
# One QtTest program of the Windows build under Wine. A crashed Windows
# program can exit 0 under Wine, so the test's own totals decide: the log
# must end its run with no failure. With --controller, a simulated controller
# (the Linux SIMULATOR) answers on COM<N> for the run, and the program finds N
# in CALVENORI_TEST_COM. With --pair, COM<A> and COM<B> are joined as by a
# null-modem cable (socat's linked pseudo-terminals) for the run. ARGUMENTS
# go to the program, before QtTest's own.
#   tests/wine/run-windows-test.sh [--controller N SIMULATOR | --pair A B] PROGRAM.exe [ARGUMENTS...]
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
if [ "$1" = --pair ]; then
  lines="$(dirname "$WINEPREFIX")/lines"  # COMn of the prefix (make-prefix.sh)
  rm -f "$lines/com$2" "$lines/com$3"
  # socat says so once both links are in place and it moves bytes.
  coproc PAIR { exec socat -d -d "pty,raw,echo=0,link=$lines/com$2" "pty,raw,echo=0,link=$lines/com$3" 2>&1; }
  while read -r said <&"${PAIR[0]}"; do
    case "$said" in *"starting data transfer loop"*) break ;; esac
  done
  [ -L "$lines/com$2" ] || { echo "socat made no pair" >&2; exit 1; }
  trap 'rm -f "$log"; kill "$PAIR_PID" 2>/dev/null' EXIT
  shift 3
fi
wine "$@" -o "Z:$log,txt"
status=$?
cat "$log"
grep -Eq '^Totals: [0-9]+ passed, 0 failed' "$log" && grep -q '^\*\*\*\*\*\*\*\*\* Finished testing' "$log" &&
  [ "$status" -eq 0 ]
