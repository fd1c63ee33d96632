#!/usr/bin/env bash
# Whole uploads with Check Errors on at 9600 baud through every line the
# simulator models, each many times; prints a table of passes. Not part of the
# default test run: it takes a quarter of an hour or more.
#   scripts/line-loop.sh [RUNS_USB16 [RUNS_OTHERS]]     (defaults 20 and 5)
# JOBS (default 2) rows run side by side; BUILD (default build/default) is
# the build whose test_upload_e2e is run. Exits non-zero unless all passed.
set -uo pipefail
cd "$(dirname "$0")/.."
many=${1:-20}
few=${2:-5}
jobs=${JOBS:-2}
build=$(realpath -m "${BUILD:-build/default}")
program="$build/tests/test_upload_e2e"
[ -x "$program" ] || { echo "no $program: build first (scripts/setup.sh default)" >&2; exit 2; }

rows=()
for line in usb:16 usb:32 fifo; do
  for upload in "full, (E) monitor" "full, Er monitor" "parameter list only"; do
    runs=$few
    [ "$line" = usb:16 ] && [ "$upload" != "full, Er monitor" ] && runs=$many
    rows+=("$runs|$line, $upload")
  done
done

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
mkdir -p "$build/tests/xdg-runtime"
chmod 700 "$build/tests/xdg-runtime"

run_row() {  # index, runs, tag: writes "passes runs" to $results/index
  local passes=0
  for ((i = 0; i < $2; i++)); do
    if QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$build/tests/xdg-runtime" \
        "$program" "completeUploadThroughEachLine:$3" >"$results/$1.log.$i" 2>&1; then
      passes=$((passes + 1))
      rm -f "$results/$1.log.$i"
    else
      mkdir -p "$build/line-loop-failures"
      cp "$results/$1.log.$i" "$build/line-loop-failures/row$1-run$i.log"
    fi
  done
  echo "$passes $2" >"$results/$1"
}

started=$(date +%s)
for index in "${!rows[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_row "$index" "${rows[$index]%%|*}" "${rows[$index]#*|}" &
done
wait

all=0
printf '%-40s %s\n' "line, upload" "passes"
for index in "${!rows[@]}"; do
  read -r passes runs <"$results/$index"
  printf '%-40s %d/%d\n' "${rows[$index]#*|}" "$passes" "$runs"
  [ "$passes" -eq "$runs" ] || all=1
done
echo "elapsed $(( $(date +%s) - started )) s; logs of failed runs in $build/line-loop-failures"
exit $all
