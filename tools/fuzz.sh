#!/usr/bin/env bash
# Fuzzes one harness of tests/fuzz with libFuzzer: tools/fuzz.sh HARNESS SECONDS [JOBS]
# Starts from a copy of the committed corpus and regression inputs; new inputs and crash
# files go to build-fuzz/out/HARNESS, never into tests/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/ensure-packages.sh

[ $# -ge 2 ] || pelorin_fail "usage: tools/fuzz.sh HARNESS SECONDS [JOBS]"
harness=$1
seconds=$2
jobs=${3:-1}
[ -f "tests/fuzz/$harness.cpp" ] || pelorin_fail "no harness tests/fuzz/$harness.cpp"

pelorin_ensure_packages clang
mkdir -p build-fuzz
# Runs side by side share the build folder: one configures and builds at a time.
(
  flock 9
  pelorin_build fuzz --target "$harness" >/dev/null
) 9>build-fuzz/.lock

out=build-fuzz/out/$harness
mkdir -p "$out/corpus" "$out/crashes"
for dir in "tests/fuzz/corpus/$harness" "tests/fuzz/regressions/$harness"; do
  [ -d "$dir" ] && cp -n "$dir"/* "$out/corpus/"
done

echo "== Fuzzing $harness for $seconds s ($jobs jobs), log in $out"
args=(-max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10
  -artifact_prefix=crashes/ -print_final_stats=1)
[ "$jobs" -gt 1 ] && args+=(-jobs="$jobs" -workers="$jobs")
status=0
(cd "$out" && rm -f fuzz-*.log && "../../fuzz/$harness" "${args[@]}" corpus >log.txt 2>&1) ||
  status=$?

echo "== $harness: exit status $status"
# With several jobs the main log repeats each job's log.
logs=("$out"/log.txt)
[ "$jobs" -gt 1 ] && logs=("$out"/fuzz-*.log)
cat "${logs[@]}" | grep -h 'stat::number_of_executed_units' |
  awk '{ n += $2 } END { print "executions: " n + 0 }' || true
echo "corpus: $(find "$out/corpus" -type f | wc -l) inputs"
findings=$(find "$out/crashes" -type f | wc -l)
echo "findings: $findings (in $out/crashes)"
[ "$status" -eq 0 ] && [ "$findings" -eq 0 ]
