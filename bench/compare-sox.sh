#!/usr/bin/env bash
# Times whole-process conversions by pelorin-cli against sox doing a comparable job (mix to
# mono, resample to 8000 Hz, 4-bit ADPCM), on inputs made here with sox:
#
#   a  60 s, 44100 Hz, 16-bit stereo
#   b  60 s, 22254 Hz, 16-bit mono (a rate pair without a coefficient table)
#   c  10 min, 44100 Hz, 16-bit stereo
#
# a once more with --quality high, and a batch of 100 files of 20 s (44100 Hz stereo),
# converted with -j 1 and -j 2.
# The programs run alternately, RUNS times each per input, after one warm-up run each.
# Printed: median wall and CPU (user + system) times, peak resident memory, the stage
# breakdown of a (bench/stage-benchmark), and the ratios to check:
#
#   pelorin / sox on a, CPU time       target at most 0.6
#   pelorin / sox on a, wall time      target at most 0.4
#   pelorin on b / pelorin on a        target at most 1.5
#   pelorin on c / pelorin on a        target at most 10 (per second of output no slower)
#   pelorin on a, high / standard      target at most 3
#   batch -j 2 / -j 1, wall time       target at most 0.6
#
# With -B OTHER_BUILD a second pelorin-cli (an earlier build, say) is timed in the same runs,
# so that before and after are measured side by side.
#
# Usage: bench/compare-sox.sh [-n RUNS] [-b BUILD_DIR] [-B OTHER_BUILD_DIR]
#   RUNS defaults to 11; BUILD_DIR to build (relative to the source root), where pelorin-cli
#   is expected. Needs sox and GNU time (/usr/bin/time).

set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=11
build="$root/build"
other=""
while getopts "n:b:B:" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    b) build=$(cd "$OPTARG" && pwd) ;;
    B) other=$(cd "$OPTARG" && pwd) ;;
    *) echo "usage: $0 [-n RUNS] [-b BUILD_DIR] [-B OTHER_BUILD_DIR]" >&2; exit 2 ;;
  esac
done
cli="$build/pelorin-cli"
[[ -x $cli ]] || { echo "error: $cli not found; build it first" >&2; exit 1; }
[[ -z $other || -x $other/pelorin-cli ]] || { echo "error: $other/pelorin-cli not found" >&2; exit 1; }
command -v sox >/dev/null || { echo "error: sox is not installed" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "error: GNU time (/usr/bin/time) is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "making inputs in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 60 sine 440 pinknoise vol 0.4
sox -n -r 22254 -c 1 -b 16 "$work/b.wav" synth 60 sine 440 pinknoise vol 0.4
sox -n -r 44100 -c 2 -b 16 "$work/c.wav" synth 600 sine 440 pinknoise vol 0.4
mkdir -p "$work/batch" "$work/out"
sox -n -r 44100 -c 2 -b 16 "$work/batch/000.wav" synth 20 sine 440 pinknoise vol 0.4
for ((i = 1; i < 100; i++)); do cp "$work/batch/000.wav" "$(printf '%s/batch/%03d.wav' "$work" "$i")"; done

tools=(pelorin sox)
[[ -n $other ]] && tools=(pelorin before sox)

# run NAME TOOL ARGS...: one timed run; appends wall and CPU microseconds to NAME.wall and
# NAME.cpu (bash's own timing, to the millisecond) and, with MEASURE_MEMORY set, peak
# kilobytes to NAME.kb (GNU time, which reads only to 10 ms, so it times nothing here).
run() {
  local name=$1 tool=$2
  shift 2
  local -a cmd
  case $tool in
    pelorin) cmd=("$cli" "$@") ;;
    before) cmd=("$other/pelorin-cli" "$@") ;;
    sox) cmd=(sox "$@") ;;
  esac
  if [[ -n ${MEASURE_MEMORY:-} ]]; then
    /usr/bin/time -f %M -o "$work/rss" "${cmd[@]}" >/dev/null 2>&1
    tail -n 1 "$work/rss" >>"$work/$name.kb"
    return
  fi
  local TIMEFORMAT='%3R %3U %3S'
  if ! { time "${cmd[@]}" >/dev/null 2>"$work/err"; } 2>"$work/time"; then
    echo "error: ${cmd[*]} failed:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  read -r wall user system <"$work/time"
  echo "$wall" | awk '{ print $1 * 1000000 }' >>"$work/$name.wall"
  echo "$user $system" | awk '{ print ($1 + $2) * 1000000 }' >>"$work/$name.cpu"
}

one() {
  local tool=$1 input=$2
  if [[ $tool == sox ]]; then
    run "$tool-$input" sox "$work/$input.wav" -c 1 -r 8000 -e oki-adpcm "$work/out.vox"
  elif [[ $input == a-high ]]; then
    run "$tool-$input" "$tool" convert --rate 8000 --quality high -o "$work/out.mmf" "$work/a.wav"
  else
    run "$tool-$input" "$tool" convert --rate 8000 -o "$work/out.mmf" "$work/$input.wav"
  fi
}

median() {
  sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ms() { median "$work/$1" | awk '{ printf "%.1f", $1 / 1000 }'; }

# The warm-up runs measure peak memory.
for input in a b c; do
  for tool in "${tools[@]}"; do MEASURE_MEMORY=1 one "$tool" "$input"; done
done
for ((i = 1; i <= runs; i++)); do
  printf '\rrun %d of %d' "$i" "$runs"
  for input in a b c; do
    for tool in "${tools[@]}"; do one "$tool" "$input"; done
  done
  for tool in "${tools[@]}"; do [[ $tool == sox ]] || one "$tool" a-high; done
done
echo
batch_runs=$(((runs + 1) / 2))
for ((i = 1; i <= batch_runs; i++)); do
  printf '\rbatch run %d of %d' "$i" "$batch_runs"
  run pelorin-batch-j1 pelorin convert -j 1 -d "$work/out" "$work"/batch/*.wav
  run pelorin-batch-j2 pelorin convert -j 2 -d "$work/out" "$work"/batch/*.wav
  # An earlier build may not know -j: it runs as it does by default.
  [[ -n $other ]] && run before-batch-default before convert -d "$work/out" "$work"/batch/*.wav
done
echo

declare -A describe=([a]="60 s 44100 Hz stereo" [b]="60 s 22254 Hz mono" [c]="10 min 44100 Hz stereo"
  [a-high]="a, --quality high")
printf '\n%-5s %-24s' input description
for tool in "${tools[@]}"; do printf ' %11s %11s' "${tool}_wall" "${tool}_cpu"; done
printf ' %9s\n' "peak_MB"
for input in a b c a-high; do
  printf '%-5s %-24s' "${input%-high}" "${describe[$input]}"
  for tool in "${tools[@]}"; do
    if [[ -f $work/$tool-$input.wall ]]; then
      printf ' %11s %11s' "$(ms "$tool-$input.wall")" "$(ms "$tool-$input.cpu")"
    else
      printf ' %11s %11s' - -
    fi
  done
  if [[ -f $work/pelorin-$input.kb ]]; then
    printf ' %9s\n' "$(median "$work/pelorin-$input.kb" | awk '{ printf "%.1f", $1 / 1024 }')"
  else
    printf ' %9s\n' -
  fi
done
for batch in pelorin-batch-j1 pelorin-batch-j2 before-batch-default; do
  [[ -f $work/$batch.wall ]] || continue
  label=${batch/-batch-default/, default -j}
  printf '%-5s %-24s %11s %11s\n' batch "100 x 20 s, ${label/-batch-/ -}" \
    "$(ms "$batch.wall")" "$(ms "$batch.cpu")"
done

if [[ -x $build/bench/stage-benchmark ]]; then
  echo
  echo "stages of a (pelorin, one thread of work per stage unless the stage splits itself):"
  "$build/bench/stage-benchmark" "$work/a.wav" "$runs"
fi

ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit) ? "met" : "MISSED" }'; }
report() {
  local tool=$1
  local cpu wall rate long high batch="-"
  cpu=$(ratio "$(ms "$tool-a.cpu")" "$(ms sox-a.cpu)")
  wall=$(ratio "$(ms "$tool-a.wall")" "$(ms sox-a.wall)")
  rate=$(ratio "$(ms "$tool-b.wall")" "$(ms "$tool-a.wall")")
  long=$(ratio "$(ms "$tool-c.wall")" "$(ms "$tool-a.wall")")
  high=$(ratio "$(ms "$tool-a-high.wall")" "$(ms "$tool-a.wall")")
  [[ -f $work/$tool-batch-j2.wall ]] &&
    batch=$(ratio "$(ms "$tool-batch-j2.wall")" "$(ms "$tool-batch-j1.wall")")
  echo
  echo "$tool, medians of $runs runs each:"
  echo "  CPU time / sox, 60 s 44100 Hz stereo:    $cpu  (target at most 0.6: $(verdict "$cpu" 0.6))"
  echo "  wall time / sox, 60 s 44100 Hz stereo:   $wall  (target at most 0.4: $(verdict "$wall" 0.4))"
  echo "  22254 Hz mono / 44100 Hz stereo:         $rate  (target at most 1.5: $(verdict "$rate" 1.5))"
  echo "  10 min / 60 s, 44100 Hz stereo:          $long  (target at most 10: $(verdict "$long" 10))"
  echo "  --quality high / standard, 60 s stereo:  $high  (target at most 3: $(verdict "$high" 3))"
  [[ $batch != - ]] &&
    echo "  batch -j 2 / -j 1, wall time:            $batch  (target at most 0.6: $(verdict "$batch" 0.6))"
  return 0
}
report pelorin
[[ -n $other ]] && report before
exit 0
