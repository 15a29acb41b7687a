#!/usr/bin/env bash
# Time and peak memory of the analysis, against the floor libesedb sets for the same
# record reads (esedb_walk_floor), on a generated store of each layout.
#   bench/analysis_perftest.sh [BUILD_DIR]    (MESSAGES, PAGE_SIZE, RUNS, LAYOUTS override the defaults)
# Each program runs RUNS times; the shortest time and the largest peak memory count.
set -euo pipefail
build=${1:-build}
messages=${MESSAGES:-200000}
page_size=${PAGE_SIZE:-32768}
runs=${RUNS:-3}
layouts=${LAYOUTS:-older newer}
((runs >= 1)) || { echo "RUNS must be at least 1" >&2; exit 2; }
source "$(dirname "$0")/perftest_lib.sh"
require_programs edbforge edbexport esedb_walk_floor

# Runs a command RUNS times under /usr/bin/time; sets `seconds` (shortest) and `kib` (largest).
measure() {
  seconds='' kib=0
  local run s k
  for ((run = 0; run < runs; run++)); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
      echo "failed: $*" >&2
      cat "$work/err" "$work/time" >&2
      exit 1
    }
    read -r s k < "$work/time"
    seconds=$(shortest "$seconds" "$s")
    if ((k > kib)); then kib=$k; fi
  done
}

for layout in $layouts; do
  db="$work/$layout.edb"
  quietly "$build/bin/edbforge" bench "$db" --messages "$messages" --layout "$layout" --page-size "$page_size"
  sync  # the new store reaches the disk before timing starts, not during it

  # The store was just written, so both runs read it from the page cache.
  measure "$build/bin/edbexport" analyse "$db" --work "$work/run" --quiet
  analysis_s=$seconds analysis_kib=$kib
  measure "$build/bin/esedb_walk_floor" "$db"
  floor_s=$seconds floor_kib=$kib
  walked=$(head -n 1 "$work/out")
  rm -rf "$db" "$work/run"

  printf 'analysis: %s messages, %s layout, %s-byte pages, best of %s runs\n' "$messages" "$layout" "$page_size" "$runs"
  printf '  floor walk  %s\n' "$walked"
  printf '  analysis    %8.2f s\n' "$analysis_s"
  printf '  floor       %8.2f s   (libesedb alone, peak %.1f MiB)\n' "$floor_s" "$(echo "$floor_kib / 1024" | bc -l)"
  if [[ $(echo "$floor_s > 0" | bc -l) == 1 ]]; then
    printf '  ratio       %8.2f x   (target <= 1.5 x)\n' "$(echo "$analysis_s / $floor_s" | bc -l)"
  else
    printf '  ratio            n/a   (floor below the clock resolution; raise MESSAGES)\n'
  fi
  printf '  peak memory %8.1f MiB (target < 1024 MiB)\n' "$(echo "$analysis_kib / 1024" | bc -l)"
done
