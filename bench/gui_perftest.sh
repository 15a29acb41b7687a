#!/bin/sh
# The desktop program with 500 folders and 50,000 rows: prints how long they take to
# show and the longest time the window went without handling events.
# Then the analysis of a generated store of MESSAGES messages (default 200,000; 0 skips it)
# in the window, with the same figure.
# Usage: bench/gui_perftest.sh BUILD_DIR [ROWS [FOLDERS]]
set -eu
build=${1:?usage: gui_perftest.sh BUILD_DIR [ROWS [FOLDERS]]}
messages=${MESSAGES:-200000}
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
"$build/bin/gui_bench" "${2:-50000}" "${3:-500}" 2>/dev/null
if [ "$messages" -gt 0 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  "$build/bin/edbforge" bench "$work/store.edb" --messages "$messages" --layout older --page-size 32768 >/dev/null
  echo "store: $messages messages"
  "$build/bin/gui_bench" --analyse "$work/store.edb" "$work/run" 2>/dev/null
fi
