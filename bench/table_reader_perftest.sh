#!/usr/bin/env bash
# The figures of stores of real size, as ratios measured in one run:
#   - analysis of a 32 KiB-page store against libesedb's walk of the same records
#     (esedb_walk_floor), in both layouts (target <= 1.0 x);
#   - analysis, listing of a BIG-item folder and preview of its last item on a 4 KiB-page
#     store against the same content written with 32 KiB pages (target <= 1.2 x each),
#     with the preview files compared byte for byte;
#   - the listing against a bare walk of the folder's content table and its "Msg" rows
#     (listing_bare_walk; target <= 2 x);
#   - peak memory of analysis and listing at PEAK_MESSAGES messages (target < 1 GiB) and
#     the row index of the "Msg" table in bytes a row (target < 16).
#
#   bench/table_reader_perftest.sh [BUILD_DIR]
#     MESSAGES (200000), BIG (50000), PEAK_MESSAGES (500000), RUNS (1) override the defaults;
#     EDBX_BENCH_STORES names a folder where the generated stores are kept between runs
#     (they take minutes to write); without it they are written into a temporary folder.
#
# Times are wall clock and CPU (user + system) seconds, the shortest of RUNS runs; ratios
# are given for both. On a machine shared with other work the CPU ratio is the one to read:
# waiting for a core inflates wall-clock times unevenly.
set -euo pipefail
build=${1:-build}
messages=${MESSAGES:-200000}
big=${BIG:-50000}
peak_messages=${PEAK_MESSAGES:-500000}
runs=${RUNS:-1}
((runs >= 1)) || { echo "RUNS must be at least 1" >&2; exit 2; }
source "$(dirname "$0")/perftest_lib.sh"
require_programs edbforge edbexport esedb_walk_floor listing_bench listing_bare_walk row_index_bytes
stores=${EDBX_BENCH_STORES:-$work/stores}
mkdir -p "$stores"

# The store NAME written with the edbforge bench options that follow, unless kept.
store() {
  local name=$1
  shift
  local path="$stores/$name.edb"
  if [[ ! -s $path ]]; then
    quietly "$build/bin/edbforge" bench "$path.part" "$@"
    mv "$path.part" "$path"
    sync  # the new store reaches the disk before timing starts, not during it
  fi
  echo "$path"
}

# Runs a command RUNS times; sets `wall`, `cpu` (shortest) and `kib` (largest peak memory).
measure() {
  wall='' cpu='' kib=0
  local run w u s k
  for ((run = 0; run < runs; run++)); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
      echo "failed: $*" >&2
      cat "$work/err" "$work/time" >&2
      exit 1
    }
    read -r w u s k < "$work/time"
    wall=$(shortest "$wall" "$w")
    cpu=$(shortest "$cpu" "$(echo "$u + $s" | bc -l)")
    if ((k > kib)); then kib=$k; fi
  done
}

# The value after the word $1 on the first output line starting with $2 (listing_bench).
field() { awk -v word="$1" -v kind="$2" '$1 == kind { for (i = 1; i < NF; ++i) if ($i == word) { print $(i + 1); exit } }' "$work/out"; }

# Times of listing_bench on store $1: the analysis, the listing of Big and the preview of
# its last row, the shortest of RUNS runs; the preview files are left in $work/preview-$2.
# Sets the *_wall and *_cpu variables below.
list_and_preview() {
  local db=$1 label=$2 run
  analysis_wall='' listing_wall='' listing_cpu='' preview_wall='' preview_cpu=''
  for ((run = 0; run < runs; run++)); do
    rm -rf "$work/run"
    # The same working folder for every store: the frameset page names it.
    "$build/bin/listing_bench" "$db" "$work/run" --preview-last "Alice Example/Big" >"$work/out" 2>"$work/err" || {
      echo "listing_bench failed on $db" >&2
      cat "$work/err" >&2
      exit 1
    }
    analysis_wall=$(shortest "$analysis_wall" "$(awk '$1 == "analysis" { print $2 }' "$work/out")")
    listing_wall=$(shortest "$listing_wall" "$(field time folder)")
    listing_cpu=$(shortest "$listing_cpu" "$(field cpu folder)")
    preview_wall=$(shortest "$preview_wall" "$(field time preview)")
    preview_cpu=$(shortest "$preview_cpu" "$(field cpu preview)")
    listed_rows=$(field rows folder)
  done
  rm -rf "$work/preview-$label"
  mv "$work/run/Vestra" "$work/preview-$label"
}

ratio() { if [[ $(echo "$2 > 0" | bc -l) == 1 ]]; then printf '%.2f' "$(echo "$1 / $2" | bc -l)"; else printf 'n/a'; fi; }

common=(--messages "$messages" --folders 20 --body-size 300 --fixed-folder "Big=$big")
echo "table reader: $messages messages, a folder of $big items, best of $runs runs (wall s / cpu s)"

# Analysis against libesedb's walk, 32 KiB pages, both layouts.
for layout in older newer; do
  db=$(store "$layout-32k-$messages-$big" "${common[@]}" --layout "$layout" --page-size 32768)
  measure "$build/bin/edbexport" analyse "$db" --work "$work/run" --quiet
  a_wall=$wall a_cpu=$cpu
  measure "$build/bin/esedb_walk_floor" "$db"
  printf '  analysis %s layout, 32 KiB     %8.2f / %8.2f   floor %8.2f / %8.2f   ratio %s x / %s x   (target <= 1.0 x)\n' \
    "$layout" "$a_wall" "$a_cpu" "$wall" "$cpu" "$(ratio "$a_wall" "$wall")" "$(ratio "$a_cpu" "$cpu")"
  rm -rf "$work/run"
done

# 4 KiB pages against 32 KiB pages, older layout, the same content.
small=$(store "older-4k-$messages-$big" "${common[@]}" --layout older --page-size 4096)
large=$stores/older-32k-$messages-$big.edb
measure "$build/bin/edbexport" analyse "$small" --work "$work/run" --quiet
s_wall=$wall s_cpu=$cpu
measure "$build/bin/edbexport" analyse "$large" --work "$work/run" --quiet
printf '  analysis 4 KiB against 32 KiB   %8.2f / %8.2f   32 KiB %8.2f / %8.2f   ratio %s x / %s x   (target <= 1.2 x)\n' \
  "$s_wall" "$s_cpu" "$wall" "$cpu" "$(ratio "$s_wall" "$wall")" "$(ratio "$s_cpu" "$cpu")"
rm -rf "$work/run"
list_and_preview "$small" 4k
s_list_wall=$listing_wall s_list_cpu=$listing_cpu s_prev_wall=$preview_wall s_prev_cpu=$preview_cpu s_rows=$listed_rows
list_and_preview "$large" 32k
l_list_wall=$listing_wall l_list_cpu=$listing_cpu l_prev_wall=$preview_wall l_prev_cpu=$preview_cpu
printf '  listing 4 KiB against 32 KiB    %8.2f / %8.2f   32 KiB %8.2f / %8.2f   ratio %s x / %s x   (target <= 1.2 x; %s rows)\n' \
  "$s_list_wall" "$s_list_cpu" "$l_list_wall" "$l_list_cpu" "$(ratio "$s_list_wall" "$l_list_wall")" \
  "$(ratio "$s_list_cpu" "$l_list_cpu")" "$s_rows"
printf '  preview 4 KiB against 32 KiB    %8.4f / %8.4f   32 KiB %8.4f / %8.4f   ratio %s x / %s x   (target <= 1.2 x)\n' \
  "$s_prev_wall" "$s_prev_cpu" "$l_prev_wall" "$l_prev_cpu" "$(ratio "$s_prev_wall" "$l_prev_wall")" \
  "$(ratio "$s_prev_cpu" "$l_prev_cpu")"
if diff -r "$work/preview-4k" "$work/preview-32k" >/dev/null; then
  echo "  preview files of 4 KiB and 32 KiB pages: identical"
else
  echo "  preview files of 4 KiB and 32 KiB pages: DIFFERENT"
fi

# The listing against its bare walk: the content table of Big, from the analysis's tables.
for page in 32k 4k; do
  db=$stores/older-$page-$messages-$big.edb
  table=$("$build/bin/edbexport" analyse "$db" --work "$work/run" --json --quiet 2>/dev/null | python3 -c '
import json, sys
d = json.load(sys.stdin)
def find(node):
    for child in node.get("children", []):
        if child.get("name") == "Big": return child["folder_id"]
        found = find(child)
        if found: return found
key = find(d["tree"]).upper()
print(next(t["name"] for t in d["tables"] if t["key"] == key))')
  rm -rf "$work/run"
  measure "$build/bin/listing_bare_walk" "$db" "$table"
  bare_wall=$(field time time) bare_cpu=$(field cpu time)
  if [[ $page == 32k ]]; then lw=$l_list_wall lc=$l_list_cpu; else lw=$s_list_wall lc=$s_list_cpu; fi
  printf '  listing against bare walk, %-4s %8.2f / %8.2f   bare %8.2f / %8.2f   ratio %s x / %s x   (target <= 2 x)\n' \
    "$page" "$lw" "$lc" "$bare_wall" "$bare_cpu" "$(ratio "$lw" "$bare_wall")" "$(ratio "$lc" "$bare_cpu")"
done

# Memory at PEAK_MESSAGES messages: the analysis and the listing of Big in one process.
db=$(store "older-32k-$peak_messages-$big" --messages "$peak_messages" --folders 20 --body-size 300 \
  --fixed-folder "Big=$big" --layout older --page-size 32768)
measure "$build/bin/listing_bench" "$db" "$work/run" "Alice Example/Big"
printf '  peak memory, %s messages     %8.1f MiB (analysis and listing; target < 1024 MiB)\n' \
  "$peak_messages" "$(echo "$kib / 1024" | bc -l)"
rm -rf "$work/run"
for page in 32k 4k; do
  "$build/bin/row_index_bytes" "$stores/older-$page-$messages-$big.edb" Msg >"$work/out"
  printf '  row index of Msg, %-4s           %s (target < 16 bytes a row)\n' "$page" "$(cat "$work/out")"
done
