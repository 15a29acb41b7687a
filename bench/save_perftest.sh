#!/usr/bin/env bash
# Save rate and memory of `edbexport save` with the real saver, one mailsaving process per item.
#   bench/save_perftest.sh [BUILD_DIR]    (SMALL, BIG, LAYOUTS override the defaults)
# Prints, per layout: items per second on a folder of SMALL small mails (the analysis timed
# apart and taken off), the share of that time spent starting and ending saver processes
# (SMALL runs of `mailsaving --help`), and the peak memory of saving SMALL and BIG items:
# memory that stays flat does not grow with the number of items.
set -euo pipefail
build=${1:-build}
small=${SMALL:-2000}
big=${BIG:-50000}
layouts=${LAYOUTS:-older newer}
source "$(dirname "$0")/perftest_lib.sh"
require_programs edbforge edbexport mailsaving

# Wall seconds, CPU seconds (user and system, saver processes included) and peak KiB of a
# command. The CPU figure does not depend on what else runs on the machine.
timed() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
    echo "failed: $*" >&2
    cat "$work/err" "$work/time" >&2
    exit 1
  }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

read -r start_s start_cpu _ < <(timed bash -c "for ((i = 0; i < $small; i++)); do '$build/bin/mailsaving' --help; done")

printf '%-7s %7s %9s %13s %12s %15s %15s\n' layout items items/s "items/CPU-s" "starts(CPU)" "peak KiB $small" "peak KiB $big"
for layout in $layouts; do
  db="$work/$layout.edb"
  quietly "$build/bin/edbforge" bench "$db" --messages $((small + big)) --layout "$layout" \
    --fixed-folder "Small=$small" --fixed-folder "Big=$big"
  sync
  read -r analysis_s analysis_cpu _ < <(timed "$build/bin/edbexport" analyse "$db" --work "$work/w" --quiet)
  rm -rf "$work/out-small"
  read -r small_s small_cpu small_kib < <(timed "$build/bin/edbexport" save "$db" --out "$work/out-small" --kinds mail \
    --folder "Alice Example/Small" --work "$work/w" --quiet)
  saved=$(awk '$1 == "total" { print $2 }' "$work/out")
  rm -rf "$work/out-small" "$work/out-big"
  read -r _ _ big_kib < <(timed "$build/bin/edbexport" save "$db" --out "$work/out-big" --kinds mail \
    --folder "Alice Example/Big" --work "$work/w" --quiet)
  rm -rf "$work/out-big"
  save_s=$(echo "$small_s - $analysis_s" | bc -l)
  save_cpu=$(echo "$small_cpu - $analysis_cpu" | bc -l)
  rate=$(echo "$saved / $save_s" | bc -l)
  cpu_rate=$(echo "$saved / $save_cpu" | bc -l)
  share=$(echo "100 * $start_cpu / $save_cpu" | bc -l)
  printf '%-7s %7d %9.0f %13.0f %11.0f%% %15d %15d\n' "$layout" "$saved" "$rate" "$cpu_rate" "$share" "$small_kib" "$big_kib"
done
echo "saver processes started and ended alone: $start_s s wall, $start_cpu s CPU for $small"
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg)"
