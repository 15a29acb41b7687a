#!/usr/bin/env bash
# Time and peak memory of writing a generated store with edbforge.
#   bench/edbforge_perftest.sh [BUILD_DIR]    (MESSAGES, LAYOUT, PAGE_SIZE override the defaults)
set -euo pipefail
build=${1:-build}
messages=${MESSAGES:-200000}
layout=${LAYOUT:-older}
page_size=${PAGE_SIZE:-32768}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/time -f '%e %M' -o "$work/time" \
  "$build/bin/edbforge" bench "$work/bench.edb" --messages "$messages" --layout "$layout" --page-size "$page_size" \
  2>/dev/null
read -r seconds kib < "$work/time"
size=$(stat -c %s "$work/bench.edb")
printf 'edbforge: %s messages, %s layout, %s-byte pages\n' "$messages" "$layout" "$page_size"
printf '  time        %8.1f s   (target < 60 s)\n' "$seconds"
printf '  peak memory %8.1f MiB (target < 500 MiB)\n' "$(echo "$kib / 1024" | bc -l)"
printf '  file size   %8.1f MiB\n' "$(echo "$size / 1048576" | bc -l)"
