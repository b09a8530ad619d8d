#!/usr/bin/env bash
# The manual pages as man shows them: no troff warning at 80 columns, no blank that a source
# line break put between two Japanese characters, and kivlog(1) naming what a user meets.
#   check_man.sh MAN_FOLDER
set -euo pipefail
export LC_ALL=C.UTF-8
fail() { echo "FAIL: $*" >&2; exit 1; }

for page in "$1"/*.1; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

# Wide enough that no line wraps: every blank left is one of the source.
shown() { MANWIDTH=400 man -E UTF-8 -l "$1" 2>/dev/null; }
for page in "$1"/*.ja.1; do
  cjk='[\x{3000}-\x{9fff}\x{ff00}-\x{ffef}]'
  blanks=$(shown "$page" | grep -P "$cjk $cjk|[、。）」] " || true)
  [ -z "$blanks" ] || fail "$page: blanks between Japanese characters:"$'\n'"$blanks"
done

for page in kivlog.1 kivlog.ja.1; do
  text=$(shown "$1/$page")
  for part in backup/ .conflict- .kivlog.lock Ctrl+F Ctrl+← Ctrl+→ Ctrl+↑ Ctrl+↓ Ctrl+A Ctrl+T Ctrl+P \
      Ctrl+E Ctrl+I Ctrl+G F1 photos/ 日ごとに取り込む menu-entry; do
    grep -qF -- "$part" <<<"$text" || fail "$page does not mention $part"
  done
done
echo "ok: manual pages"
