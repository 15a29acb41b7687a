#!/bin/sh
# The scripted mode as the documentation uses it: open the demo store, list a folder,
# preview a mail, save a screenshot and quit; then the usage errors.
set -eu
gui=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$gui" "$build/samples/demo-older.edb" --work "$work" --folder "Alice Example/Inbox" --item 100000000100005 \
  --screenshot "$work/shot.png" --quit 2>"$work/err" || { cat "$work/err"; exit 1; }
# A PNG of a window, and the preview files of the clicked mail.
head -c 8 "$work/shot.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a"
test "$(wc -c <"$work/shot.png")" -gt 10000
test -f "$work/Vestra/strEmlPath.html"
test -f "$work/Vestra/htmlbody.html"

status=0
"$gui" "$build/samples/demo-older.edb" --work "$work" --folder "Nobody/Inbox" --quit 2>"$work/err" || status=$?
test "$status" = 2
grep -q "no folder 'Nobody/Inbox'" "$work/err"
status=0
"$gui" --bogus 2>"$work/err" || status=$?
test "$status" = 2
grep -q "unknown option --bogus" "$work/err"
echo "scripted runs behave"
