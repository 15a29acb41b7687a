# Shared by the benchmark scripts: sourced after `build` is set and `set -euo pipefail`.
# Gives a work folder removed on exit and the helpers below.

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Stops unless every named program is built in $build/bin.
require_programs() {
  local program
  for program in "$@"; do
    [[ -x "$build/bin/$program" ]] || { echo "missing $build/bin/$program (build it first)" >&2; exit 2; }
  done
}

# Runs a command with its output kept aside; shows its errors and stops when it fails.
quietly() {
  "$@" >"$work/out" 2>"$work/err" || {
    echo "failed: $*" >&2
    cat "$work/err" >&2
    exit 1
  }
}

# The shorter of two times; the first may be empty.
shortest() {
  if [[ -z $1 ]] || [[ $(echo "$2 < $1" | bc -l) == 1 ]]; then echo "$2"; else echo "$1"; fi
}
