#!/usr/bin/env bash
# Times whole-process conversions by pelorin-cli against sox doing a comparable job (mix to
# mono, resample to 8000 Hz, 4-bit ADPCM), on inputs made here with sox:
#
#   a  60 s, 44100 Hz, 16-bit stereo
#   b  60 s, 22254 Hz, 16-bit mono (a rate pair without a coefficient table)
#   c  10 min, 44100 Hz, 16-bit stereo
#
# The two programs run alternately, RUNS times each per input, after one warm-up run each.
# Printed: median wall times, peak resident memory (/usr/bin/time), and the ratios to check:
#
#   pelorin / sox on a                 target at most 1.2 (goal: below 1)
#   pelorin on b / pelorin on a        target at most 2
#   pelorin on c / pelorin on a        target far below 10
#   pelorin peak memory on c / size of c    target at most 2.5
#
# Usage: bench/compare-sox.sh [-n RUNS] [-b BUILD_DIR]
#   RUNS defaults to 11; BUILD_DIR to build (relative to the source root), where pelorin-cli
#   is expected. Needs sox and GNU time (/usr/bin/time).

set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=11
build="$root/build"
while getopts "n:b:" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    b) build=$(cd "$OPTARG" && pwd) ;;
    *) echo "usage: $0 [-n RUNS] [-b BUILD_DIR]" >&2; exit 2 ;;
  esac
done
cli="$build/pelorin-cli"
[[ -x $cli ]] || { echo "error: $cli not found; build it first" >&2; exit 1; }
command -v sox >/dev/null || { echo "error: sox is not installed" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "error: GNU time (/usr/bin/time) is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "making inputs in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 60 sine 440 pinknoise vol 0.4
sox -n -r 22254 -c 1 -b 16 "$work/b.wav" synth 60 sine 440 pinknoise vol 0.4
sox -n -r 44100 -c 2 -b 16 "$work/c.wav" synth 600 sine 440 pinknoise vol 0.4

# run NAME INPUT TOOL: one timed run; appends microseconds of wall time to NAME.us and
# kilobytes of peak resident memory to NAME.kb.
run() {
  local name=$1 input=$2 tool=$3 start end
  local -a cmd
  if [[ $tool == pelorin ]]; then
    cmd=("$cli" convert --rate 8000 -o "$work/out.mmf" "$input")
  else
    cmd=(sox "$input" -c 1 -r 8000 -e oki-adpcm "$work/out.vox")
  fi
  start=$(date +%s%N)
  if ! /usr/bin/time -f %M -o "$work/rss" "${cmd[@]}" >/dev/null 2>"$work/err"; then
    echo "error: ${cmd[*]} failed:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  end=$(date +%s%N)
  echo $(((end - start) / 1000)) >>"$work/$name.us"
  tail -n 1 "$work/rss" >>"$work/$name.kb"
}

median() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for input in a b c; do
  run warm "$work/$input.wav" pelorin
  run warm "$work/$input.wav" sox
done
for ((i = 1; i <= runs; i++)); do
  printf '\rrun %d of %d' "$i" "$runs"
  for input in a b c; do
    run "pelorin-$input" "$work/$input.wav" pelorin
    run "sox-$input" "$work/$input.wav" sox
  done
done
echo

printf '\n%-6s %-34s %12s %12s %12s\n' input description pelorin_ms sox_ms pelorin/sox
declare -A ms kb
for input in a b c; do
  for tool in pelorin sox; do
    ms[$tool-$input]=$(median "$work/$tool-$input.us" | awk '{ printf "%.1f", $1 / 1000 }')
    kb[$tool-$input]=$(median "$work/$tool-$input.kb")
  done
done
declare -A describe=([a]="60 s 44100 Hz stereo" [b]="60 s 22254 Hz mono" [c]="10 min 44100 Hz stereo")
for input in a b c; do
  printf '%-6s %-34s %12s %12s %12.2f\n' "$input" "${describe[$input]}" "${ms[pelorin-$input]}" \
    "${ms[sox-$input]}" "$(echo "${ms[pelorin-$input]} ${ms[sox-$input]}" | awk '{ print $1 / $2 }')"
done

printf '\n%-6s %14s %14s %14s %18s\n' input file_MB pelorin_MB sox_MB pelorin/file_size
for input in a b c; do
  size=$(stat -c %s "$work/$input.wav")
  printf '%-6s %14.1f %14.1f %14.1f %18.2f\n' "$input" "$(echo "$size" | awk '{ print $1 / 1048576 }')" \
    "$(echo "${kb[pelorin-$input]}" | awk '{ print $1 / 1024 }')" \
    "$(echo "${kb[sox-$input]}" | awk '{ print $1 / 1024 }')" \
    "$(echo "${kb[pelorin-$input]} $size" | awk '{ print $1 * 1024 / $2 }')"
done

ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit) ? "met" : "MISSED" }'; }
r_sox=$(ratio "${ms[pelorin-a]}" "${ms[sox-a]}")
r_rate=$(ratio "${ms[pelorin-b]}" "${ms[pelorin-a]}")
r_long=$(ratio "${ms[pelorin-c]}" "${ms[pelorin-a]}")
r_mem=$(echo "${kb[pelorin-c]} $(stat -c %s "$work/c.wav")" | awk '{ printf "%.2f", $1 * 1024 / $2 }')
echo
echo "medians of $runs runs each:"
echo "  pelorin / sox, 60 s 44100 Hz stereo:          $r_sox  (target at most 1.2: $(verdict "$r_sox" 1.2))"
echo "  pelorin 22254 Hz mono / 44100 Hz stereo:      $r_rate  (target at most 2: $(verdict "$r_rate" 2))"
echo "  pelorin 10 min / 60 s, 44100 Hz stereo:       $r_long  (target far below 10)"
echo "  pelorin peak memory / file size, 10 min:      $r_mem  (target at most 2.5: $(verdict "$r_mem" 2.5))"
