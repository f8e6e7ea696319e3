#!/bin/bash
# Whole-process timings of the program: the default run, -c to a file and
# -s -dm to a file, median of 5 runs each (hyperfine, after 2 warm-up runs),
# with the time per simulated cycle of the default run (85,107 cycles).
#   perf/run.sh [program]     (default: build/pcisim)
set -euo pipefail
program=$(realpath "${1:-build/pcisim}")
runs=5
cycles=85107
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Prints "<label>: <median> ms (<per-cycle> us/cycle)" for one command line.
measure() {
    local label=$1 command=$2
    hyperfine --style none --warmup 2 --runs "$runs" --export-json "$scratch/t.json" \
        "$command" >/dev/null
    /usr/bin/python3 - "$scratch/t.json" "$label" "$cycles" <<'PY'
import json, sys
result = json.load(open(sys.argv[1]))["results"][0]
median = result["median"]
print(f"{sys.argv[2]:<18} median {median * 1e3:7.1f} ms  (mean user {result['user'] * 1e3:6.1f} ms)"
      f"  {median * 1e6 / int(sys.argv[3]):6.3f} us/cycle")
PY
}

echo "program: $program"
echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p')"
measure "default run" "$program > $scratch/out"
measure "-c to a file" "$program -c > $scratch/out"
measure "-s -dm to a file" "$program -s -dm > $scratch/out"
