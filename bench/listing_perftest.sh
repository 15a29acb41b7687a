#!/usr/bin/env bash
# Time of listing a folder of 50,000 items and one of 5,000, each timed alone after one
# analysis (listing_bench), on a generated store of each layout.
#   bench/listing_perftest.sh [BUILD_DIR]    (MESSAGES, BIG, SMALL, PAGE_SIZE, LAYOUTS override the defaults)
# The two folders come first in the store, the rest of MESSAGES is spread over ordinary folders.
set -euo pipefail
build=${1:-build}
big=${BIG:-50000}
small=${SMALL:-5000}
messages=${MESSAGES:-60000}
page_size=${PAGE_SIZE:-32768}
layouts=${LAYOUTS:-older newer}
for program in edbforge listing_bench; do
  [[ -x "$build/bin/$program" ]] || { echo "missing $build/bin/$program (build it first)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command with its output kept aside; shows its errors and stops when it fails.
quietly() {
  "$@" >"$work/out" 2>"$work/err" || {
    echo "failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  }
}

for layout in $layouts; do
  db="$work/$layout.edb"
  quietly "$build/bin/edbforge" bench "$db" --messages "$messages" --layout "$layout" --page-size "$page_size" \
    --fixed-folder "Big=$big" --fixed-folder "Small=$small"
  /usr/bin/time -f '%e %M' -o "$work/time" \
    "$build/bin/listing_bench" "$db" "$work/run" "Alice Example/Small" "Alice Example/Big" >"$work/out" 2>"$work/err" || {
    echo "listing_bench failed on the $layout layout" >&2
    cat "$work/err" "$work/time" >&2
    exit 1
  }
  read -r _ kib < "$work/time"
  rm -rf "$db" "$work/run"
  analysis_s=$(awk '$1 == "analysis" { print $2 }' "$work/out")
  read -r small_rows small_s < <(awk '$1 == "folder" && /\/Small / { print $(NF-3), $(NF-1) }' "$work/out")
  read -r big_rows big_s < <(awk '$1 == "folder" && /\/Big / { print $(NF-3), $(NF-1) }' "$work/out")

  printf 'listing: %s layout, %s messages, folders of %s and %s items, %s-byte pages\n' \
    "$layout" "$messages" "$big" "$small" "$page_size"
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
