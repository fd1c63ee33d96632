#!/usr/bin/env bash
# Builds the "fuzz" preset and runs every libFuzzer target for the given number
# of seconds (default 180), two at a time. The growing corpus is kept in
# build/fuzz/corpus/<target> (seeded from fuzz/corpus/<target>), logs in
# build/fuzz/logs, crash inputs in build/fuzz/artifacts. Fails when any target
# found a crash, leak or sanitizer report.
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-180}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzz_reply fuzz_parameter_list fuzz_program_file fuzz_journal)

scripts/setup.sh fuzz

out=build/fuzz
# ASan's default 256 MB quarantine of freed blocks grows a long run past
# libFuzzer's 2 GB memory limit; a smaller one still catches use after free.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"
# The file targets write every input to a file: keep those in memory, and
# remove what a crashed target left behind.
scratch="$(mktemp -d "$([ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/calvenori-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
mkdir -p "$out/logs" "$out/artifacts"
run_one() {
  local target="$1" seconds="$2" out="$3"
  mkdir -p "$out/corpus/$target"
  "$out/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "fuzz/corpus/$target" >"$out/logs/$target.log" 2>&1
}
export -f run_one

status=0
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$out" || status=1

for target in "${targets[@]}"; do
  log="$out/logs/$target.log"
  stats=$(grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" | sed 's/^stat:://' | tr '\n' ' ')
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9a-zA-Z]+' || true)
  echo "$target: $last $stats"
  if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant broken' "$log"; then
    echo "$target: FAILED, see $log and $out/artifacts/" >&2
    status=1
  fi
done
exit "$status"
