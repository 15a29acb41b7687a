#!/bin/sh
# The desktop program with 500 folders and 50,000 rows: prints how long they take to
# show and the longest time the window went without handling events.
# Usage: bench/gui_perftest.sh BUILD_DIR [ROWS [FOLDERS]]
set -eu
build=${1:?usage: gui_perftest.sh BUILD_DIR [ROWS [FOLDERS]]}
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" \
  "$build/bin/gui_bench" "${2:-50000}" "${3:-500}" 2>/dev/null
