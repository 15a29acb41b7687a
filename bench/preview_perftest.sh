#!/usr/bin/env bash
# Time and peak memory of previewing one mail with a large attachment and a large body,
# in both layouts. The listing alone (analysis and folder listing of the same store) is
# measured too, so the preview's own share can be read off.
#   bench/preview_perftest.sh [BUILD_DIR]    (ATTACHMENT_MIB, BODY_MIB override the sizes; KEEP=1 keeps the files)
set -euo pipefail
build=${1:-build}
attachment_mib=${ATTACHMENT_MIB:-20}
body_mib=${BODY_MIB:-5}
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

head -c $((attachment_mib * 1048576)) /dev/urandom > "$work/attachment.bin"
python3 - "$work/store.json" "$body_mib" <<'PY'
import json, sys
path, mib = sys.argv[1], int(sys.argv[2])
line = "Line of a long mail body, with some words to read and a number: {:08d}\r\n"
body, n = [], 0
while sum(map(len, body)) < mib * 1048576 // 2:  # UTF-16: two bytes per character
    body.append(line.format(n)); n += 1
item = {"key": "1b1e", "subject": "Large mail", "from": "Bob Example <bob@example.com>",
        "to": ["Alice Example <alice@example.com>"], "sent": "2010-01-05T14:03:59Z", "body": "".join(body),
        "attachments": [{"name": "attachment.bin", "file": "attachment.bin", "id": "0100000000000c01"}]}
store = {"mailboxes": [{"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f",
                        "folders": [{"name": "Inbox", "class": "IPF.Note", "id": "0100000000000b01", "items": [item]}]}]}
json.dump(store, open(path, "w"))
PY

measure() {  # measure LABEL COMMAND...: prints seconds and peak MiB
  /usr/bin/time -f "%e %M" -o "$work/time" "${@:2}" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
  read -r seconds kib < "$work/time"
  printf '  %-34s %6.2f s %8.1f MiB\n' "$1" "$seconds" "$(echo "$kib / 1024" | bc -l)"
}

printf 'preview of a mail with a %s MiB attachment and a %s MiB text body\n' "$attachment_mib" "$body_mib"
for layout in older newer; do
  (cd "$work" && "$OLDPWD/$build/bin/edbforge" build store.json "$layout.edb" --layout "$layout" >/dev/null)
  measure "$layout: analyse + list" "$build/bin/edbexport" list "$work/$layout.edb" "Alice Example/Inbox" --work "$work/w-$layout" --quiet
  measure "$layout: analyse + list + preview" "$build/bin/edbexport" preview "$work/$layout.edb" "Alice Example/Inbox" 1b1e --work "$work/w-$layout" --quiet
  cmp -s "$work/attachment.bin" "$work/w-$layout/Vestra/attachment.bin" || { echo "  attachment bytes differ" >&2; exit 1; }
done
