#!/usr/bin/env bash
# Time of listing a folder of 50,000 items and one of 5,000, each timed alone after one
# analysis (listing_bench), on a generated store of each layout.
#   bench/listing_perftest.sh [BUILD_DIR]    (MESSAGES, BIG, SMALL, PAGE_SIZE, LAYOUTS, RUNS override the defaults)
# The two folders come first in the store, the rest of MESSAGES is spread over ordinary folders.
# listing_bench runs RUNS times; each time counts at its shortest, the peak memory at its largest.
set -euo pipefail
build=${1:-build}
big=${BIG:-50000}
small=${SMALL:-5000}
messages=${MESSAGES:-60000}
page_size=${PAGE_SIZE:-32768}
layouts=${LAYOUTS:-older newer}
runs=${RUNS:-3}
((runs >= 1)) || { echo "RUNS must be at least 1" >&2; exit 2; }
source "$(dirname "$0")/perftest_lib.sh"
require_programs edbforge listing_bench

for layout in $layouts; do
  db="$work/$layout.edb"
  quietly "$build/bin/edbforge" bench "$db" --messages "$messages" --layout "$layout" --page-size "$page_size" \
    --fixed-folder "Big=$big" --fixed-folder "Small=$small"
  sync  # the new store reaches the disk before timing starts, not during it
  analysis_s='' small_s='' big_s='' kib=0
  for ((run = 0; run < runs; run++)); do
    rm -rf "$work/run"
    /usr/bin/time -f '%e %M' -o "$work/time" \
      "$build/bin/listing_bench" "$db" "$work/run" "Alice Example/Small" "Alice Example/Big" >"$work/out" 2>"$work/err" || {
      echo "listing_bench failed on the $layout layout" >&2
      cat "$work/err" "$work/time" >&2
      exit 1
    }
    read -r _ run_kib < "$work/time"
    if ((run_kib > kib)); then kib=$run_kib; fi
    run_analysis=$(awk '$1 == "analysis" { print $2 }' "$work/out")
    read -r small_rows run_small < <(awk '$1 == "folder" && /\/Small / { for (i = 1; i < NF; ++i) { if ($i == "rows") r = $(i + 1); if ($i == "time") t = $(i + 1) } print r, t }' "$work/out")
    read -r big_rows run_big < <(awk '$1 == "folder" && /\/Big / { for (i = 1; i < NF; ++i) { if ($i == "rows") r = $(i + 1); if ($i == "time") t = $(i + 1) } print r, t }' "$work/out")
    analysis_s=$(shortest "$analysis_s" "$run_analysis")
    small_s=$(shortest "$small_s" "$run_small")
    big_s=$(shortest "$big_s" "$run_big")
  done
  rm -rf "$db" "$work/run"

  printf 'listing: %s layout, %s messages, folders of %s and %s items, %s-byte pages, best of %s runs\n' \
    "$layout" "$messages" "$big" "$small" "$page_size" "$runs"
  printf '  analysis       %10.4f s\n' "$analysis_s"
  printf '  list %6s    %10.4f s   (%s rows)\n' "$small" "$small_s" "$small_rows"
  printf '  list %6s    %10.4f s   (%s rows)\n' "$big" "$big_s" "$big_rows"
  if [[ $(echo "$small_s > 0" | bc -l) == 1 ]]; then
    printf '  ratio          %10.2f x   (target < 12 x for %s times the items)\n' \
      "$(echo "$big_s / $small_s" | bc -l)" "$(echo "$big / $small" | bc)"
  else
    printf '  ratio                 n/a   (small listing below the clock resolution)\n'
  fi
  printf '  peak memory    %10.1f MiB (analysis and both listings)\n' "$(echo "$kib / 1024" | bc -l)"
done
