#!/bin/sh
# edbexport save on a demo store as users run it: the summary, the files, the exit
# statuses of bad requests and of a run whose saver fails, and --help of every command.
# usage: save_cli_test.sh EDBEXPORT EDBFORGE SOURCE_DIR
set -u
edbexport=$1 edbforge=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$edbforge" build "$source/samples/demo-private.json" "$work/demo.edb" >/dev/null || fail "edbforge"

out=$("$edbexport" save "$work/demo.edb" --out "$work/out" --kinds mail,contact --folder "Alice Example/Inbox" \
  --folder "Alice Example/Contacts" --work "$work/w" --quiet) || fail "save: exit status $?"
# Every saved item is one file: the summary's counts are the files written.
mails=$(find "$work/out" -name '*.eml' | wc -l) cards=$(find "$work/out" -name '*.vcf' | wc -l)
echo "$out" | grep -q "^mail  *$mails  *0  *0$" || fail "summary: $out ($mails mail files)"
echo "$out" | grep -q "^contact  *$cards  *0  *0$" || fail "summary: $out ($cards cards)"
[ "$mails" -gt 10 ] && [ "$cards" -gt 5 ] || fail "too few files: $mails mails, $cards cards"
echo "$out" | grep -q 'appointment' && fail "calendar items saved though not chosen"
[ -d "$work/out/Alice Example/Calendar" ] && fail "a folder not chosen was saved"

for bad in "--kinds mails" "--folder Nowhere" "" "--nosuch"; do
  status=0
  # shellcheck disable=SC2086
  "$edbexport" save "$work/demo.edb" --work "$work/w" --quiet $bad ${bad:+--out "$work/out2"} 2>/dev/null || status=$?
  [ $status -eq 2 ] || fail "save $bad: exit status $status"
done

# A saver that cannot write its file: the item fails, the run goes on, the exit status is 1.
mkdir -p "$work/out3" && : > "$work/out3/Alice Example"
status=0
out=$("$edbexport" save "$work/demo.edb" --out "$work/out3" --kinds contact --work "$work/w" --quiet 2>"$work/err") ||
  status=$?
[ $status -eq 1 ] || fail "failing saver: exit status $status"
grep -q 'saver ended with exit status 1' "$work/err" || fail "failing saver not reported: $(cat "$work/err")"
echo "$out" | grep -q '^contact  *[0-9]*  *0  *[1-9]' || fail "failures not counted: $out"

for command in analyse list preview save; do
  "$edbexport" $command --help | grep -q -- '--work' || fail "$command --help"
done
status=0
"$edbexport" 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "no command: exit status $status"
echo ok
