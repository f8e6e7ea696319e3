#!/usr/bin/env bash
# tools/pcisim-sweep against a shell loop (xargs -P$(nproc)) over the same
# pcisim command lines, in the same session. Not a test: it prints figures.
#
#   perf/sweep_bench.sh [short|long|all] [SCALE]     (default: all 1)
#
# short: 10,000 short runs, -m1c5 -m2c5 -m3c5, MTT 1..100 x seeds 1..100
# long:  2,000 default-length runs, MTT 1..100 x seeds 1..20
# SCALE multiplies the seeds (at least one): 0.05 gives 500 and 100 runs,
# a few minutes on a busy 2-core machine, about one on an idle one.
# Each grid runs xargs, then the sweep in each of its modes (one pcisim
# --batch process a task, and --process-per-run), then xargs again; a
# mode's ratio is its wall time over the mean of the two xargs times. Every
# side writes one statistics document per run; xargs sends stdout to
# /dev/null, the sweep builds results.csv. CPU time (user + system, children
# included) is given beside the wall time, and the load average before and
# after, since other work on the machine moves wall times.
#
# Environment: PCISIM (default build/release/pcisim, from
# `cmake --preset release && cmake --build --preset release`), WORKERS
# (default: every core), MODES (default "batch per-run"; "batch" alone
# halves the sweep's share of the time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pcisim=${PCISIM:-$root/build/release/pcisim}
jobs=$(nproc)
workers=${WORKERS:-$jobs}
which=${1:-all}
scale=${2:-1}
modes=${MODES:-batch per-run}
seeds_of() { echo "$1 * $scale" | bc -l | awk '{ n = int($1 + 0.5); print n < 1 ? 1 : n }'; }
[ -x "$pcisim" ] || { echo "sweep_bench: $pcisim is not built (cmake --preset release && cmake --build --preset release)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sweep-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
exec 3>&1  # the figures, whatever the timed commands' output goes to

load() { cut -d' ' -f1-3 /proc/loadavg; }

# timed NAME COMMAND...: runs the command, prints "NAME wall cpu", sets $wall
timed() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"
  read -r wall user sys < "$work/time"
  printf '  %-8s %8.2f s wall %8.2f s cpu\n' "$name" "$wall" "$(echo "$user + $sys" | bc)" >&3
}

# bench NAME SEEDS OPTIONS...
bench() {
  local name=$1 seeds=$2
  shift 2
  local runs=$((100 * seeds)) options="$*" quoted="" o
  for o in "$@"; do quoted+="\"$o\", "; done
  cat > "$work/$name.toml" <<EOF
binary = "$pcisim"
seeds = $seeds
timeout = 600
[fixed]
options = [${quoted%, }]
[vary]
mtt = {from = 1, to = 100}
EOF
  for mtt in $(seq 1 100); do
    for seed in $(seq 1 "$seeds"); do
      echo "$options -a$mtt --seed $seed --stats-json $work/xargs/a${mtt}_s$seed.json"
    done
  done > "$work/$name.lines"
  echo "$name: $runs runs of pcisim ${options:-(default length)} -a1..100 --seed 1..$seeds; $jobs cores, $workers workers"
  echo "  load average before: $(load)"
  rm -rf "$work/xargs" && mkdir "$work/xargs"
  timed xargs xargs -P"$jobs" -L1 "$pcisim" < "$work/$name.lines" > /dev/null
  local first=$wall mode tools=()
  for mode in $modes; do
    local flag=()
    [ "$mode" = per-run ] && flag=(--process-per-run)
    rm -rf "$work/$name-out"
    timed "$mode" /usr/bin/python3 "$root/tools/pcisim-sweep" "$work/$name.toml" -o "$work/$name-out" \
      --workers "$workers" "${flag[@]}" 2> "$work/$name.log"
    tools+=("$mode:$wall")
    echo "  $mode, the sweep's last line: $(tail -n1 "$work/$name.log")"
    local rows
    rows=$(($(wc -l < "$work/$name-out/results.csv") - 1))
    [ "$rows" -eq "$runs" ] || echo "  WARNING: results.csv has $rows rows, not $runs"
  done
  rm -rf "$work/xargs" && mkdir "$work/xargs"
  timed xargs xargs -P"$jobs" -L1 "$pcisim" < "$work/$name.lines" > /dev/null
  echo "  load average after:  $(load)"
  local entry
  for entry in "${tools[@]}"; do
    echo "  ratio sweep (${entry%%:*}) / xargs: $(echo "scale=3; 2 * ${entry#*:} / ($first + $wall)" | bc)"
  done
  rm -rf "$work/$name-out" "$work/xargs"
}

case $which in
  short|all) bench short "$(seeds_of 100)" -m1c5 -m2c5 -m3c5 ;;&
  long|all) bench long "$(seeds_of 20)" ;;
  short) ;;
  *) echo "usage: perf/sweep_bench.sh [short|long|all] [SCALE]" >&2; exit 1 ;;
esac
