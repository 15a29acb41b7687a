#!/bin/sh
# edbexport preview on the demo store in both layouts: one item of every kind, the
# printed page, the files behind it, and the exit statuses of bad requests.
# usage: preview_cli_test.sh EDBEXPORT EDBFORGE SOURCE_DIR
set -eu
edbexport=$1 edbforge=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for layout in older newer; do
  db=$work/$layout.edb
  "$edbforge" build "$source/samples/demo-private.json" "$db" --layout $layout >/dev/null
  for folder in Inbox Contacts Calendar Tasks Journal Notes; do
    dir=$work/w-$layout-$folder
    key=$("$edbexport" list "$db" "Alice Example/$folder" --work "$dir" --quiet | sed -n 2p | cut -d' ' -f1)
    [ -n "$key" ] || fail "$layout $folder: no item listed"
    page=$("$edbexport" preview "$db" "Alice Example/$folder" "$key" --work "$dir" --quiet) ||
      fail "$layout $folder $key: exit status $?"
    [ -s "$page" ] || fail "$layout $folder $key: page $page missing"
    case "$layout/$folder" in
      newer/Notes) [ "$page" = "$dir/Vestra/blank.txt" ] || fail "newer note shows $page" ;;
      *)
        [ "$page" = "$dir/Vestra/strEmlPath.html" ] || fail "$layout $folder shows $page"
        [ "$(head -c 2 "$dir/Vestra/header.html" | od -An -tx1 | tr -d ' ')" = fffe ] ||
          fail "$layout $folder: header page without its byte-order mark"
        ;;
    esac
  done
  # The first Inbox mail carries a generated PDF.
  dir=$work/w-$layout-Inbox
  key=$("$edbexport" list "$db" "Alice Example/Inbox" --work "$dir" --quiet | grep -m1 'Quarterly report' | cut -d' ' -f1)
  "$edbexport" preview "$db" "Alice Example/Inbox" "$key" --work "$dir" --quiet >/dev/null
  [ "$(head -c 5 "$dir/Vestra/Quarterly report Q4 2009.pdf")" = "%PDF-" ] || fail "$layout: attachment not written"

  status=0
  "$edbexport" preview "$db" "Alice Example/Inbox" nosuchkey --work "$dir" --quiet 2>/dev/null || status=$?
  [ $status -eq 2 ] || fail "unknown key gives exit status $status"
done

status=0
"$edbexport" preview "$work/missing.edb" "Alice Example/Inbox" 1 --work "$work/w" --quiet 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "missing database gives exit status $status"
echo "preview CLI: ok"
