#!/usr/bin/env bash
# How often one full upload opens each input file: the example list and
# program against the simulated controller, the opens counted by strace
# (apt-get install strace). Prints "parameter list opens: N" and
# "program file opens: N"; both are 1 when the files are read once.
#   scripts/input-opens.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/default}")
command -v strace >/dev/null || { echo "strace is not installed (apt-get install strace)" >&2; exit 2; }
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$root/examples/pump-parameters.txt" "$work/list.txt"
cp "$root/examples/pump-controller-v1.5.s19" "$work/fw.s19"
cd "$work"
"$build/sim/calvenori-sim" --control "$work/ctl" --link "$work/pump" < /dev/zero > sim.out 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$work/pump" ] && break; sleep 0.1; done
strace -f -qq -e trace=open,openat -o trace.txt "$build/src/calvenori-upload" --port "$work/pump" \
  --params "$work/list.txt" --program "$work/fw.s19" --restore keep \
  --actions "$build/sim/calvenori-sim ctl $work/ctl" > out.txt 2>&1 || true
echo "upload: $(tail -1 out.txt)"
echo "parameter list opens: $(grep -c 'list.txt"' trace.txt)"
echo "program file opens: $(grep -c 'fw.s19"' trace.txt)"
